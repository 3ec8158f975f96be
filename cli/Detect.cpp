// korvex-cli detect: the convert options that read a price file, proposed from its first lines;
// and the same proposal for convert --detect.
#include <filesystem>
#include <ostream>

#include "cli/Commands.h"
#include "cli/Inspection.h"
#include "engine/Detect.h"
#include "engine/InputParser.h"
#include "engine/InputScan.h"

namespace cli {

const std::string_view kDetectUsage =
    "Usage: korvex-cli detect FILE [--json]\n"
    "\n"
    "Looks at the first 1,000 lines of the price file FILE and proposes how to read it: the\n"
    "delimiter, a decimal comma, the heading lines to skip, the date format and the column\n"
    "of each field. Headings such as Date, Open, High, Low, Close (or Last, Price), Volume\n"
    "(Vol) and OpenInt (OI) are recognised in any case, also as <DATE> or [Date]; without\n"
    "a heading the columns are taken in the usual order (open, high, low, close, volume,\n"
    "open interest), checked against the values.\n"
    "\n"
    "Prints the proposal as the options of 'korvex-cli convert', on one line to paste, then\n"
    "the reasons for it, what could not be decided (such as day and month when no day is\n"
    "above 12), and the first rows as they would be stored. 'korvex-cli convert --detect'\n"
    "takes the same proposal for every setting not given on its command line.\n"
    "\n"
    "  --json   print the same as JSON, for scripts\n"
    "\n"
    "Exit status: 0 a layout is proposed, 1 none can be (the message says why) or FILE cannot\n"
    "be read, 2 bad command line.\n";

namespace {

// The rows shown as they would be stored.
constexpr int kPreviewRows = 5;

constexpr msdb::PerField<const char*> kOptionNames = {
    {"date", "open", "high", "low", "close", "volume", "oi"}};

// The first rows of the file read with `settings` by the input parser, each field as stored.
std::vector<engine::PriceRecord> Preview(const engine::ConversionSettings& settings) {
    std::vector<engine::PreviewRow> read;
    (void)engine::ReadPreviewRows(Fs(), settings, kPreviewRows, &read);
    std::vector<engine::PriceRecord> rows;
    for (const engine::PreviewRow& row : read) {
        rows.push_back(row.record);
    }
    return rows;
}

std::string Value(const engine::PriceRecord& row, engine::PriceField field) {
    return field == engine::PriceField::kDate ? IsoDate(row.values[field])
                                              : FullNumber(msdb::FromMbf(row.values[field]));
}

void PrintText(const engine::DetectionResult& result, const std::vector<engine::PriceRecord>& rows,
               std::ostream& out) {
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
    for (engine::PriceField field : msdb::kPriceFields) {
        if (result.layout.fields[field].on) {
            out << ' ' << kOptionNames[field];
        }
    }
    out << '\n';
    for (const engine::PriceRecord& row : rows) {
        out << ' ';
        for (engine::PriceField field : msdb::kPriceFields) {
            if (result.layout.fields[field].on) {
                out << ' ' << Value(row, field);
            }
        }
        out << '\n';
    }
}

void PrintJson(const std::string& file, const engine::DetectionResult& result,
               const std::vector<engine::PriceRecord>& rows, std::ostream& out) {
    auto list = [&](const std::vector<std::string>& texts) {
        out << '[';
        for (std::size_t i = 0; i < texts.size(); ++i) {
            out << (i == 0 ? "" : ", ") << JsonText(texts[i]);
        }
        out << ']';
    };
    out << "{\n  \"file\": " << JsonText(file)
        << ",\n  \"found\": " << (result.found ? "true" : "false");
    if (!result.found) {
        out << ",\n  \"failure\": " << JsonText(result.failure) << "\n}\n";
        return;
    }
    const engine::DetectedLayout& layout = result.layout;
    out << ",\n  \"confidence\": "
        << (result.confidence == engine::Confidence::kHigh ? "\"high\"" : "\"low\"")
        << ",\n  \"options\": " << JsonText(ConvertOptions(layout))
        << ",\n  \"delimiter\": " << JsonText(engine::DelimiterName(layout.delimiter))
        << ",\n  \"decimalComma\": " << (layout.decimalComma ? "true" : "false")
        << ",\n  \"skip\": " << layout.skipRows
        << ",\n  \"dateFormat\": " << JsonText(std::string(msdb::DateFormatName(layout.dateFormat)))
        << ",\n  \"columns\": {";
    bool first = true;
    for (engine::PriceField field : msdb::kPriceFields) {
        if (layout.fields[field].on) {
            out << (first ? "" : ", ") << '"' << kOptionNames[field]
                << "\": " << layout.fields[field].column;
            first = false;
        }
    }
    out << "},\n  \"reasons\": ";
    list(result.reasons);
    out << ",\n  \"undecided\": ";
    list(result.undecided);
    out << ",\n  \"rows\": [";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        out << (i == 0 ? "\n    {" : ",\n    {");
        first = true;
        for (engine::PriceField field : msdb::kPriceFields) {
            if (layout.fields[field].on) {
                const std::string value = Value(rows[i], field);
                out << (first ? "" : ", ") << '"' << kOptionNames[field]
                    << "\": " << (field == engine::PriceField::kDate ? JsonText(value) : value);
                first = false;
            }
        }
        out << '}';
    }
    out << (rows.empty() ? "]\n}\n" : "\n  ]\n}\n");
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
    for (engine::PriceField field : msdb::kPriceFields) {
        if (layout.fields[field].on) {
            text += (first ? "" : ",") + std::string(kOptionNames[field]) + "=" +
                    std::to_string(layout.fields[field].column);
            first = false;
        }
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
    }
    err << "korvex: --detect: " << ConvertOptions(layout) << '\n';
    for (const std::string& what : result.undecided) {
        err << "korvex: --detect: not decided: " << what << '\n';
    }
    return std::nullopt;
}

int RunDetect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::optional<std::string> file;
    bool json = false;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            err << "korvex: unknown option '" << arg << "'\nTry 'korvex-cli detect --help'.\n";
            return kBadCommandLine;
        } else if (file) {
            err << "korvex: only one file can be looked at at a time\n"
                   "Try 'korvex-cli detect --help'.\n";
            return kBadCommandLine;
        } else {
            file = arg;
        }
    }
    if (!file) {
        err << "korvex: no file given\nTry 'korvex-cli detect --help'.\n";
        return kBadCommandLine;
    }
    engine::DetectionResult result;
    std::optional<std::string> failure = Detect(*file, std::nullopt, &result);
    if (failure) {
        err << "korvex: " << *failure << '\n';
        if (json && !result.failure.empty()) {
            PrintJson(*file, result, {}, out);
        }
        return 1;
    }
    engine::ConversionSettings settings;
    engine::ApplyLayout(result.layout, &settings);
    settings.inputPath = *file;
    const std::vector<engine::PriceRecord> rows = Preview(settings);
    if (json) {
        PrintJson(*file, result, rows, out);
    } else {
        PrintText(result, rows, out);
    }
    return 0;
}

}  // namespace cli
