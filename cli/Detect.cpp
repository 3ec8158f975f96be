// korvex-cli detect: the convert options that read a price file, proposed from its first lines;
// and the same proposal for convert --detect.
#include <array>
#include <filesystem>
#include <ostream>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/Help.h"
#include "cli/Inspection.h"
#include "engine/Detect.h"
#include "engine/InputParser.h"
#include "engine/InputScan.h"

namespace cli {

namespace {

// The rows shown as they would be stored.
constexpr int kPreviewRows = 5;

constexpr msdb::PerField<const char*> kOptionNames = {
    {"date", "open", "high", "low", "close", "volume", "oi"}};

// Every column of the layout as --columns names it, in the order it lists them: the symbol, the
// series and the period before the date, the time after it, the prices, then the name.
std::vector<std::pair<const char*, int>> NamedColumns(const engine::DetectedLayout& layout) {
    std::vector<std::pair<const char*, int>> named;
    const engine::OtherColumns& other = layout.columns;
    const std::array<std::pair<const char*, int>, 5> first = {
        {{"symbol", other.symbol},
         {"series", other.series},
         {"period", other.period},
         {"date", layout.fields[engine::PriceField::kDate].column},
         {"time", other.time}}};
    for (const auto& [name, column] : first) {
        if (column != 0) {
            named.emplace_back(name, column);
        }
    }
    for (engine::PriceField field : msdb::kPriceFields) {
        if (field != engine::PriceField::kDate && layout.fields[field].on) {
            named.emplace_back(kOptionNames[field], layout.fields[field].column);
        }
    }
    if (other.name != 0) {
        named.emplace_back("name", other.name);
    }
    return named;
}

// The first rows of the file read with `settings` by the input parser, each field as stored and
// in the order stored (each symbol's together, oldest first).
std::vector<engine::PreviewRow> Preview(const engine::ConversionSettings& settings) {
    std::vector<engine::PreviewRow> rows;
    (void)engine::ReadPreviewRows(Fs(), settings, kPreviewRows, &rows);
    (void)engine::OrderAsStored(&rows);
    return rows;
}

std::string Value(const engine::PriceRecord& row, engine::PriceField field) {
    return field == engine::PriceField::kDate ? IsoDate(row.values[field])
                                              : FullNumber(msdb::FromMbf(row.values[field]));
}

void PrintText(const engine::DetectionResult& result, const std::vector<engine::PreviewRow>& rows,
               std::ostream& out) {
    const bool symbol = result.layout.columns.symbol != 0;
    out << "Proposed (" << (result.confidence == engine::Confidence::kHigh ? "high" : "low")
        << " confidence):\n  " << ConvertOptions(result.layout) << "\n\nWhy:\n";
    for (const std::string& reason : result.reasons) {
        out << "  - " << reason << '\n';
    }
    if (!result.undecided.empty()) {
        out << "\nNot decided:\n";
        for (const std::string& what : result.undecided) {
            out << "  - " << what << '\n';
        }
    }
    out << "\nThe first rows as they would be stored:\n ";
    if (symbol) {
        out << " symbol";
    }
    for (engine::PriceField field : msdb::kPriceFields) {
        if (result.layout.fields[field].on) {
            out << ' ' << kOptionNames[field];
        }
    }
    out << '\n';
    for (const engine::PreviewRow& row : rows) {
        out << ' ';
        if (symbol) {
            out << ' ' << row.symbol;
        }
        for (engine::PriceField field : msdb::kPriceFields) {
            if (result.layout.fields[field].on) {
                out << ' ' << (row.unread[field] ? "?" : Value(row.record, field));
            }
        }
        // A line with a problem stops the conversion, or with --accept-problems is stored
        // otherwise than it reads: it is shown for what it is, not as a row of zeros.
        if (!row.problems.empty()) {
            out << "  <- " << engine::ProblemText(row.problems.front());
            if (row.problems.size() > 1) {
                out << " (and " << row.problems.size() - 1 << " more)";
            }
        }
        out << '\n';
    }
}

void PrintJson(const std::string& file, const engine::DetectionResult& result,
               const std::vector<engine::PreviewRow>& rows, std::ostream& out) {
    nlohmann::ordered_json json = {{"file", file}, {"found", result.found}};
    if (!result.found) {
        json["failure"] = result.failure;
        out << Json(json) << '\n';
        return;
    }
    const engine::DetectedLayout& layout = result.layout;
    nlohmann::ordered_json columns = nlohmann::ordered_json::object();
    for (const auto& [name, column] : NamedColumns(layout)) {
        columns[name] = column;
    }
    nlohmann::ordered_json stored = nlohmann::ordered_json::array();
    for (const engine::PreviewRow& row : rows) {
        nlohmann::ordered_json values = nlohmann::ordered_json::object();
        if (layout.columns.symbol != 0) {
            values["symbol"] = row.symbol;
        }
        for (engine::PriceField field : msdb::kPriceFields) {
            if (layout.fields[field].on) {
                // A number as the shortest text that reads back as it: read as a double, that
                // text is what JSON writes again.
                const std::string value = Value(row.record, field);
                values[kOptionNames[field]] = row.unread[field] ? nlohmann::ordered_json()
                                              : field == engine::PriceField::kDate
                                                  ? nlohmann::ordered_json(value)
                                                  : nlohmann::ordered_json(std::stod(value));
            }
        }
        if (!row.problems.empty()) {
            std::vector<std::string> problems;
            for (const engine::InputProblem& problem : row.problems) {
                problems.push_back(engine::ProblemText(problem));
            }
            values["problems"] = problems;
        }
        stored.push_back(values);
    }
    json["confidence"] = result.confidence == engine::Confidence::kHigh ? "high" : "low";
    json["options"] = ConvertOptions(layout);
    json["delimiter"] = engine::DelimiterName(layout.delimiter);
    json["decimalComma"] = layout.decimalComma;
    json["skip"] = layout.skipRows;
    json["dateFormat"] = std::string(msdb::DateFormatName(layout.dateFormat));
    json["columns"] = columns;
    json["series"] = layout.series;
    json["reasons"] = result.reasons;
    json["undecided"] = result.undecided;
    json["rows"] = stored;
    out << Json(json) << '\n';
}

// The proposal for the file at `path`, or the message that says why there is none.
std::optional<std::string> Detect(const std::string& path, std::optional<char> delimiter,
                                  engine::DetectionResult* result) {
    std::vector<std::string> lines;
    std::string notText;
    if (msdb::Status s = engine::ReadSampleLines(Fs(), path, &lines, &notText); !s.ok()) {
        return path + " cannot be read: " + s.message();
    }
    if (!notText.empty()) {
        return path + " is not a text file: " + notText;
    }
    *result = engine::DetectLayout(lines, delimiter);
    if (!result->found) {
        return "no layout can be proposed for " + path + ": " + result->failure;
    }
    return std::nullopt;
}

}  // namespace

std::string ConvertOptions(const engine::DetectedLayout& layout) {
    std::string text = "--delimiter " + engine::DelimiterName(layout.delimiter);
    if (layout.decimalComma) {
        text += " --decimal-comma";
    }
    if (layout.skipRows > 0) {
        text += " --skip " + std::to_string(layout.skipRows);
    }
    text +=
        " --date-format " + std::string(msdb::DateFormatName(layout.dateFormat)) + " --columns ";
    bool first = true;
    for (const auto& [name, column] : NamedColumns(layout)) {
        text += (first ? "" : ",") + std::string(name) + "=" + std::to_string(column);
        first = false;
    }
    if (!layout.series.empty()) {
        text += " --series " + engine::SeriesListText(layout.series);
    }
    return text;
}

std::optional<std::string> ApplyDetection(const GivenSettings& given,
                                          engine::ConversionSettings* settings, std::ostream& err) {
    engine::DetectionResult result;
    std::optional<char> delimiter;
    if (given.delimiter) {
        delimiter = settings->delimiter;
    }
    if (std::optional<std::string> failure = Detect(settings->inputPath, delimiter, &result)) {
        return failure;
    }
    const engine::DetectedLayout& layout = result.layout;
    if (!given.delimiter) {
        settings->delimiter = layout.delimiter;
    }
    if (!given.decimalComma) {
        settings->decimalComma = layout.decimalComma && settings->delimiter != ',';
    }
    if (!given.skip) {
        settings->skipOn = layout.skipRows > 0;
        settings->skipRows = layout.skipRows;
    }
    if (!given.dateFormat) {
        settings->dateFormat = layout.dateFormat;
    }
    if (!given.columns) {
        settings->fields = layout.fields;
        settings->columns = layout.columns;
        if (!given.series) {
            settings->series = layout.series;
        }
    }
    // What the run reads with: the proposal, and the settings given where they win over it.
    engine::DetectedLayout used;
    used.delimiter = settings->delimiter;
    used.decimalComma = settings->decimalComma;
    used.skipRows = settings->skipOn ? settings->skipRows : 0;
    used.dateFormat = settings->dateFormat;
    used.fields = settings->fields;
    used.columns = settings->columns;
    used.series = settings->series;
    err << "korvex: --detect: " << ConvertOptions(used) << '\n';
    // What a setting given decides is not left undecided.
    for (std::size_t i = 0; i < result.undecided.size(); ++i) {
        using About = engine::DetectionResult::About;
        const About about = result.undecidedAbout[i];
        if ((about == About::kDateFormat && given.dateFormat) ||
            (about == About::kColumns && given.columns) ||
            (about == About::kSeries && (given.series || given.columns))) {
            continue;
        }
        err << "korvex: --detect: not decided: " << result.undecided[i] << '\n';
    }
    // Another reading of the dates, which nothing in the sample sets apart, would store other
    // days: a guess is not converted.
    if (result.dateFormatGuessed && !given.dateFormat) {
        return "the dates read in more than one date format (above), and nothing in the first "
               "lines tells which the file means: give it with --date-format";
    }
    return std::nullopt;
}

class DetectCommand final : public Command {
public:
    void Define(CLI::App& program) override {
        CLI::App* app = Add(
            program, "detect", "propose the convert options that read a price file",
            "Looks at the first 1,000 lines of the price file FILE and proposes how to read it: "
            "the\n"
            "delimiter, a decimal comma, the heading lines to skip, the date format and the "
            "column\n"
            "of each field. Headings such as Date, Open, High, Low, Close (or Last, Price), "
            "Volume\n"
            "(Vol) and OpenInt (OI) are recognised in any case, also as <DATE> or [Date], and so\n"
            "are the columns of a file of many securities: Ticker, Symbol or Code, Name, Per,\n"
            "Period or Interval, and Time. Without a heading the columns are taken in the usual\n"
            "order (open, high, low, close, volume, open interest), checked against the values;\n"
            "a column of short upper-case codes is the symbol when the same days come again on\n"
            "other lines and no code has a day twice.\n"
            "\n"
            "Prints the proposal as the options of 'korvex-cli convert', on one line to paste, "
            "then\n"
            "the reasons for it, what could not be decided (such as day and month when no day is\n"
            "above 12), and the first rows as they would be stored; a value that cannot be read\n"
            "shows as ?, its line's problem beside it. 'korvex-cli convert --detect' takes the\n"
            "same proposal for every setting not given on its command line.\n",
            "The date formats it chooses from, with 30 August 1999 as the example:\n" +
                DateFormatTable() +
                "\n"
                "Exit status: 0 a layout is proposed, 1 none can be (the message says why) or FILE "
                "cannot\nbe read, 2 bad command line.\n");
        SetTooMany("only one file can be looked at at a time");
        Needed(app->add_option("FILE", file_, "the price file")->type_name("FILE"),
               "no file given");
        app->add_flag("--json", json_, "print the same as JSON, for scripts");
    }

    int Run(std::ostream& out, std::ostream& err) override;

private:
    std::string file_;
    bool json_ = false;
};

int DetectCommand::Run(std::ostream& out, std::ostream& err) {
    engine::DetectionResult result;
    std::optional<std::string> failure = Detect(file_, std::nullopt, &result);
    if (failure) {
        err << "korvex: " << *failure << '\n';
        if (json_ && !result.failure.empty()) {
            PrintJson(file_, result, {}, out);
        }
        return 1;
    }
    engine::ConversionSettings settings;
    engine::ApplyLayout(result.layout, &settings);
    settings.inputPath = file_;
    const std::vector<engine::PreviewRow> rows = Preview(settings);
    if (json_) {
        PrintJson(file_, result, rows, out);
    } else {
        PrintText(result, rows, out);
    }
    return 0;
}

std::unique_ptr<Command> MakeDetectCommand() {
    return std::make_unique<DetectCommand>();
}

}  // namespace cli
