// korvex-cli convert: one price file into a new security of a MetaStock-format directory.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <tuple>

#include <CLI/CLI.hpp>

#include "cli/Commands.h"
#include "cli/Help.h"
#include "engine/ConversionJob.h"
#include "engine/DatabaseRun.h"
#include "engine/FileSymbol.h"
#include "msdb/Reader.h"

#ifdef _WIN32
#include <io.h>
#define KORVEX_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define KORVEX_ISATTY(fd) isatty(fd)
#endif

namespace cli {

namespace {

using engine::ConversionSettings;
using engine::PriceField;

// `path` made absolute against the current directory; as given when that fails.
std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
#ifdef _WIN32
    // Paths are UTF-8 here; a std::filesystem::path made from char would read them in the ANSI
    // code page.
    try {
        const std::filesystem::path absolute = std::filesystem::absolute(
            std::filesystem::path(std::u8string(path.begin(), path.end())), ec);
        const std::u8string text = absolute.u8string();
        return ec ? path : std::string(text.begin(), text.end());
    } catch (const std::exception&) {
        return path;  // not UTF-8
    }
#else
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
#endif
}

// A layout that --detect cannot propose, with the message that says why.
struct DetectionFailure {
    std::string message;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    });
    return text;
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

const std::map<std::string, PriceField>& FieldNames() {
    static const std::map<std::string, PriceField> names = {
        {"date", PriceField::kDate},           {"open", PriceField::kOpen},
        {"high", PriceField::kHigh},           {"low", PriceField::kLow},
        {"close", PriceField::kClose},         {"volume", PriceField::kVolume},
        {"vol", PriceField::kVolume},          {"oi", PriceField::kOpenInterest},
        {"openint", PriceField::kOpenInterest}};
    return names;
}

// The columns that are not prices, by the names --columns gives them.
int* OtherColumn(const std::string& name, engine::OtherColumns* columns) {
    if (name == "symbol" || name == "ticker") {
        return &columns->symbol;
    }
    if (name == "name") {
        return &columns->name;
    }
    if (name == "period" || name == "per") {
        return &columns->period;
    }
    if (name == "time") {
        return &columns->time;
    }
    if (name == "series") {
        return &columns->series;
    }
    return nullptr;
}

void ParseColumns(const std::string& list, ConversionSettings* settings) {
    msdb::PerField<bool> listed;
    engine::OtherColumns others;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = std::min(list.find(',', start), list.size());
        std::string pair = list.substr(start, end - start);
        std::size_t equals = pair.find('=');
        if (equals == std::string::npos) {
            throw UsageError{"--columns: '" + pair + "' is not of the form name=column"};
        }
        std::string name = Lower(pair.substr(0, equals));
        if (int* other = OtherColumn(name, &others)) {
            std::optional<int> column = ParseInt(pair.substr(equals + 1));
            if (*other != 0) {
                throw UsageError{"--columns: the field '" + name + "' is listed twice"};
            }
            if (!column || engine::CheckColumn(PriceField::kDate, *column)) {
                throw UsageError{"--columns: the column of '" + name + "' must be a number from " +
                                 std::to_string(engine::limits::kFirstColumn) + " to " +
                                 std::to_string(engine::limits::kLastColumn)};
            }
            *other = *column;
            start = end + 1;
            continue;
        }
        auto field = FieldNames().find(name);
        if (field == FieldNames().end()) {
            throw UsageError{"--columns: unknown field '" + name +
                             "' (known: date, open, high, low, close, volume, vol, oi, openint, "
                             "symbol, ticker, name, period, per, time, series)"};
        }
        if (listed[field->second]) {
            throw UsageError{"--columns: the field '" + name + "' is listed twice"};
        }
        listed[field->second] = true;
        std::optional<int> column = ParseInt(pair.substr(equals + 1));
        if (!column || engine::CheckColumn(field->second, *column)) {
            throw UsageError{"--columns: the column of '" + name + "' must be a number from " +
                             std::to_string(engine::limits::kFirstColumn) + " to " +
                             std::to_string(engine::limits::kLastColumn)};
        }
        settings->fields[field->second].column = *column;
        start = end + 1;
    }
    if (!listed[PriceField::kDate] || !listed[PriceField::kClose]) {
        throw UsageError{"--columns: the date and the close must be listed"};
    }
    for (PriceField field : msdb::kPriceFields) {
        settings->fields[field].on = listed[field];
        if (!listed[field]) {
            settings->fields[field].column = engine::limits::kFirstColumn;  // takes no column
        }
    }
    settings->columns = others;
}

char ParseDelimiter(const std::string& name) {
    std::string lower = Lower(name);
    if (lower == "comma") {
        return ',';
    }
    if (lower == "tab") {
        return '\t';
    }
    if (lower == "space") {
        return ' ';
    }
    if (lower == "semicolon") {
        return ';';
    }
    throw UsageError{"--delimiter: must be comma, tab, space or semicolon, not '" + name + "'"};
}

// The option's own wording of a text that is too long.
std::string TooLong(const engine::SettingsProblem& problem) {
    const char* option = problem.field == engine::SettingsField::kName ? "--name: the name"
                         : problem.field == engine::SettingsField::kDirectory
                             ? "--dir: the directory"
                             : "--symbol: the symbol";
    // A symbol and a name are characters of MASTER's code page, one byte each.
    const char* unit =
        problem.field == engine::SettingsField::kDirectory ? " bytes" : " characters";
    return std::string(option) + " must be at most " + std::to_string(problem.maximum) + unit +
           " long";
}

int Convert(const ConversionSettings& settings, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    engine::JobServices services;
    services.notifier = &notifier;
    engine::ConversionJob job(settings, services);
    const int result = job.Run();
    if (!job.Changed() && !job.WouldSucceed()) {
        out << "Nothing was converted.\n";
        TellNotChanged(job.Effect(), err);
        return 1;
    }
    out << engine::ConversionSummary(job) << '\n';
    if (job.WouldSucceed()) {
        return result == 0 ? 0 : 1;
    }
    return MadeStatus(job.Effect().finished, out, err);
}

// True for the files of a folder that a run takes: *.csv, *.txt and *.prn, in any letter case.
bool IsPriceFileName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return false;
    }
    const std::string extension = Lower(name.substr(dot + 1));
    return extension == "csv" || extension == "txt" || extension == "prn";
}

// The text of a --names file's field: blanks and the quotes around it removed.
std::string Unquote(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return std::string(text);
}

// The names of a --names file: a line "SYMBOL,NAME" each (a comma, semicolon or tab between),
// a heading "symbol,name" allowed.
std::map<std::string, std::string> ReadNames(const std::string& path) {
    std::string text;
    if (msdb::Status s = msdb::ReadWholeFile(msdb::FileSystem::Default(), path, &text); !s.ok()) {
        throw UsageError{"--names: " + s.message()};
    }
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    std::map<std::string, std::string> names;
    std::size_t start = 0;
    for (int line = 1; start < text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view row = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (Unquote(row).empty()) {
            continue;
        }
        const std::size_t split = row.find_first_of(",;\t");
        if (split == std::string_view::npos) {
            throw UsageError{"--names: line " + std::to_string(line) + " of " + path +
                             " is not SYMBOL,NAME"};
        }
        const std::string symbol = engine::NormalizeSymbol(Unquote(row.substr(0, split)));
        const std::string name = Unquote(row.substr(split + 1));
        if (line == 1 && Lower(symbol) == "symbol" && Lower(name) == "name") {
            continue;
        }
        if (!symbol.empty()) {
            names[symbol] = name;
        }
    }
    return names;
}

int ConvertMany(const ConversionSettings& settings, std::vector<engine::InputFile> inputs,
                std::map<std::string, std::string> names, bool verbose, std::ostream& out,
                std::ostream& err) {
    StreamNotifier notifier(err);
    engine::JobServices services;
    services.notifier = &notifier;
    // On a terminal, a line that says how far the run is, written over in place.
    const bool terminal = &err == &std::cerr && KORVEX_ISATTY(2) != 0;
    bool shown = false;
    if (terminal) {
        services.progress = [&err, &shown](int permille) {
            err << "\rkorvex: converting... " << permille / 10 << "%" << std::flush;
            shown = true;
        };
    }
    engine::DatabaseRun run(settings, std::move(inputs), std::move(names), services);
    const int result = run.Run();
    if (shown) {
        err << "\r" << std::string(48, ' ') << "\r" << std::flush;
    }
    if (result != 0) {
        out << "Nothing was converted.\n";
        TellNotChanged(run.Effect(), err);
        return 1;
    }
    out << run.Report().Text(verbose, settings.dryRun) << '\n';
    if (run.WouldSucceed() || !run.Changed()) {
        return MadeStatus(true, out, err);
    }
    return MadeStatus(run.Effect().finished, out, err);
}

constexpr std::string_view kDescription =
    "Converts INPUT, one period per line, into a new security of the MetaStock-format\n"
    "directory DIR. Each line that holds a field becomes one price record.\n"
    "\n"
    "Many securities in one run: give several files, or a folder (its *.csv, *.txt and\n"
    "*.prn files), and each file becomes the security its name gives (aapl.csv: AAPL);\n"
    "or read a file whose symbol column (--columns symbol=N) names each line's security.\n"
    "--update adds the new days to the securities DIR holds already. The whole run is one\n"
    "change to DIR: all of it is made, or none.\n"
    "\n"
    "How lines are read: a line ends at LF, CR LF or a lone CR and may be 65,536 bytes\n"
    "long. With comma, tab or semicolon every delimiter separates two fields (\"1,,2\" is\n"
    "three fields, the second empty); blanks around a field and the double quotes around a\n"
    "quoted field (\"12.50\") are not part of it. With space, a run of spaces separates two\n"
    "fields. A file in UTF-16 (\"Unicode Text\") is read as the same text in UTF-8; one in\n"
    "UTF-32, or that holds a NUL byte, is not a text file: save it as plain text first.\n"
    "\n"
    "How numbers are read: a field is one number, whole, or it is a problem (\"12.5abc\" is).\n"
    "Groups of three digits may be separated by \",\" or \"'\" (1,234.50), or with the decimal\n"
    "comma by \".\", a space or \"'\" (1.234,50); a volume or open interest may end in K, M\n"
    "or B for thousand, million, billion (2.52B). A number too large or too small to be\n"
    "stored (2^127 and more, or below 2^-128 but not 0) is a problem. A price file holds\n"
    "about seven significant digits: a number with more is stored as the nearest it holds\n"
    "(a volume of 82,488,674 as 82,488,672).\n"
    "\n"
    "Every field that is switched on must be there and hold a number, or a date that exists\n"
    "in the date format, from 1961 to 2099; the dates must go forward, or backward (a file\n"
    "whose dates mostly go backward lists the newest day first and is written oldest first).\n"
    "Anything else is a problem: the first ten are shown with their line numbers and nothing\n"
    "is converted, unless --accept-problems is given.\n";

std::string Footer() {
    return "The date formats (--date-format), with 30 August 1999 as the example; '_' stands for\n"
           "any one separator character:\n" +
           DateFormatTable() +
           "In the first twelve every group is two digits wide; two-digit years 00 to 59 are\n"
           "2000 to 2059. In the last six the day and month have one or two digits, and MON is\n"
           "an English month name, in any case, short or in full.\n"
           "\n"
           "A conversion changes DIR all at once, at its end. One that fails leaves DIR as it\n"
           "was; one that is stopped (killed, a power cut) is finished or undone by the next run\n"
           "into DIR, or by 'korvex-cli recover DIR'.\n"
           "\n"
           "Messages go to standard error, a summary of what was written to standard output.\n"
           "Exit status: 0 converted, 1 the conversion failed (the message says why; DIR was not\n"
           "changed, or the last message says what is left), 2 bad command line, 3 converted, but\n"
           "not all of it is in place yet (the next run into DIR puts the rest in place) or the\n"
           "summary could not be written.\n"
           "\n"
           "Example: a new directory from a file with a heading line and dates like 08/30/1999:\n"
#ifdef _WIN32
           "  korvex-cli convert C:\\Data\\prices.csv --dir C:\\Data\\Stocks --new-master\n"
#else
           "  korvex-cli convert ~/data/prices.csv --dir ~/data/stocks --new-master\n"
#endif
           "      --symbol ACME --name \"Acme Corp\" --skip 1 --date-format MM_DD_CCYY\n";
}

class ConvertCommand final : public Command {
public:
    void Define(CLI::App& program) override {
        CLI::App* app =
            Add(program, "convert", "add price files to a directory, or new days to its securities",
                std::string(kDescription), Footer());
        Needed(app->add_option("INPUT", inputs_,
                               "the price files, or folders whose *.csv, *.txt and *.prn files "
                               "are converted")
                   ->type_name("FILE|FOLDER"),
               "no input file given");
        Needed(app->add_option("--dir", dir_, "the target directory (at most 200 bytes)")
                   ->type_name("DIR"),
               "no target directory given (--dir)");
        symbolOption_ = app->add_option("--symbol", symbol_,
                                        "the ticker symbol of a single INPUT, at most 16 "
                                        "characters of the code page; upper-cased, trailing "
                                        "blanks removed; refused when DIR already holds it "
                                        "(unless --update or --replace). A file with a symbol "
                                        "column is then this one security, refused when the "
                                        "column names more. Several files, or a folder, take "
                                        "each file's name as its symbol")
                            ->type_name("SYMBOL");
        nameOption_ = app->add_option("--name", settings_.name,
                                      "the security's name, at most 16 characters of the code "
                                      "page (default: none)")
                          ->type_name("NAME");
        app->add_option("--names", namesPath_,
                        "a file of SYMBOL,NAME lines that names the securities whose files give "
                        "no name. MASTER holds a name's first 16 characters, EMASTER and XMASTER "
                        "all of a longer one (up to 52 and 45)")
            ->type_name("MAP.csv");
        update_ =
            app->add_flag("--update", settings_.update,
                          "add the new days to the securities DIR holds already: the records dated "
                          "after a security's last stored day are appended; a day it holds is "
                          "passed over when the file gives the same values, and is a problem when "
                          "they differ. Securities DIR does not hold are added");
        app->add_flag("--verbose", verbose_, "say what was done to each security, a line each");
        period_ = app->add_option("--period", periodText_,
                                  "the time frame charting programs show the security in, which "
                                  "INPUT gives one line of prices for: D daily (default), W "
                                  "weekly or M monthly (or Daily, Weekly, Monthly, in any case); "
                                  "intraday prices are not written")
                      ->type_name("D|W|M");
        CLI::Option* newMaster = app->add_flag(
            "--new-master", newMaster_,
            "make a new, empty MASTER in DIR, which must not hold one yet; without it the MASTER "
            "of DIR is used and backed up to MASTER.BAK");
        app->add_flag("--emaster", settings_.makeEMaster,
                      "with --new-master, make an EMASTER beside MASTER too, as many programs "
                      "keep one; an EMASTER that DIR already holds is always kept in step with "
                      "MASTER");
        app->add_flag("--replace", settings_.replaceExisting,
                      "convert over the security SYMBOL that the MASTER of DIR lists: same file "
                      "number, same place in MASTER, new prices")
            ->excludes(newMaster)
            ->excludes(update_);
        app->add_flag("--xmaster", settings_.xmaster,
                      "when the MASTER of DIR lists 255 securities, list SYMBOL in DIR's XMASTER "
                      "(made when DIR has none) with its prices in F<n>.MWD, n from 256; a DIR "
                      "that has an XMASTER is added to without it. Programs that read only "
                      "MASTER see only its 255 securities");
        app->add_flag("--accept-problems", settings_.acceptProblems,
                      "convert a file with problems all the same, storing only what check "
                      "accepts: a line whose date cannot be read, does not exist or does not go "
                      "forward (backward), or whose open, high, low or close cannot be read, is "
                      "left out; a volume or open interest that cannot be read is stored as 0");
        app->add_flag("--dry-run", settings_.dryRun,
                      "read everything and say what would be written, or the problems, but "
                      "write nothing (DIR is only read); exit 0 when the conversion would "
                      "succeed");
        app->add_flag("--detect", detect_,
                      "take the proposal of 'korvex-cli detect INPUT' for each of --delimiter, "
                      "--decimal-comma, --skip, --date-format and --columns not given; the "
                      "options the run reads with are told on standard error. Dates that read "
                      "either way (03/04/2024 alone) are not guessed: nothing is converted until "
                      "--date-format is given");
        delimiter_ = app->add_option("--delimiter", delimiterText_,
                                     "what separates the columns: comma (default), tab, space or "
                                     "semicolon")
                         ->type_name("comma|tab|space|semicolon");
        decimalComma_ = app->add_flag(
            "--decimal-comma", settings_.decimalComma,
            "numbers are written with a decimal comma (10,5 is 10.5), as in files from European "
            "sources; not with --delimiter comma, and a point in a number is then a problem "
            "(1.234,5)");
        dateFormat_ = app->add_option("--date-format", dateFormatText_,
                                      "how the dates are written, one of the names below, in any "
                                      "case; default MMDDYY")
                          ->type_name("NAME");
        skip_ = app->add_option("--skip", skipText_,
                                "skip the first N lines, such as headings (0 to 200)")
                    ->type_name("N");
        from_ = app->add_option("--from", fromText_,
                                "convert only the lines dated on or after DATE (YYYY-MM-DD): "
                                "a file of more records than one security holds (65,534) is "
                                "converted a range at a time")
                    ->type_name("DATE");
        to_ = app->add_option("--to", toText_,
                              "convert only the lines dated on or before DATE (YYYY-MM-DD)")
                  ->type_name("DATE");
        codePage_ = AddCodePageOption(app, &codePageText_);
        columns_ = app->add_option("--columns", columnsText_,
                                   "which column (counted from 1, up to 20) holds which field, as "
                                   "name=column pairs separated by commas; names: date, open, "
                                   "high, low, close, volume (or vol), oi (or openint). Date and "
                                   "close are required; a field not listed is not stored. "
                                   "Default: date=1,open=2,high=3,low=4,close=5,volume=6,oi=7. "
                                   "Also: symbol (or ticker), the security of each line; name, "
                                   "its name; period (or per), D, W or M; time, which must be "
                                   "000000 (end of day); series, the series of each line, as "
                                   "exchanges list a symbol in several (EQ, BE, BL, ...)")
                       ->type_name("LIST");
        series_ = app->add_option("--series", seriesText_,
                                  "with a series column, read only the lines of these series, "
                                  "separated by commas (EQ,BE); the lines of others are passed "
                                  "over. Without it every line is read")
                      ->type_name("LIST");
    }

    int Run(std::ostream& out, std::ostream& err) override {
        ConversionSettings settings;
        try {
            settings = Settings(err);
        } catch (const DetectionFailure& failure) {
            err << "korvex: --detect: " << failure.message << "\nNothing was converted.\n";
            return 1;
        }
        std::vector<engine::InputFile> inputs = Inputs(settings);
        if (!database_) {
            return Convert(settings, out, err);
        }
        std::map<std::string, std::string> names;
        if (!namesPath_.empty()) {
            names = ReadNames(namesPath_);
        }
        return ConvertMany(settings, std::move(inputs), std::move(names), verbose_, out, err);
    }

private:
    // The price files of the folder `input`, in name order; refused when it holds none.
    static std::vector<std::string> PriceFilesOf(const std::string& input) {
        msdb::FileSystem& fs = msdb::FileSystem::Default();
        const std::string path = AbsolutePath(input);
        std::vector<std::string> names;
        if (msdb::Status s = fs.ListDirectory(path, &names); !s.ok()) {
            throw UsageError{s.message()};
        }
        std::sort(names.begin(), names.end());
        std::vector<std::string> files;
        for (const std::string& name : names) {
            std::string file = msdb::JoinPath(path, name);
            if (IsPriceFileName(name) && !fs.IsDirectory(file)) {
                files.push_back(std::move(file));
            }
        }
        if (files.empty()) {
            throw UsageError{"the folder " + input + " holds no *.csv, *.txt or *.prn file"};
        }
        return files;
    }

    // The files of the run, each folder standing for its price files in name order. Decides
    // whether the run is one of many securities.
    std::vector<engine::InputFile> Inputs(const ConversionSettings& settings) {
        std::vector<engine::InputFile> inputs;
        msdb::FileSystem& fs = msdb::FileSystem::Default();
        bool folder = false;
        for (const std::string& input : inputs_) {
            const std::string path = AbsolutePath(input);
            if (!fs.IsDirectory(path)) {
                inputs.push_back({path, {}, {}});
                continue;
            }
            folder = true;
            for (std::string& file : PriceFilesOf(input)) {
                inputs.push_back({std::move(file), {}, {}});
            }
        }
        const bool symbolColumn = settings.columns.symbol != 0;
        // The columns that are not prices are read by the run of many securities only.
        database_ = inputs.size() > 1 || folder || settings.columns != engine::OtherColumns{} ||
                    settings.update;
        const bool given = symbolOption_->count() != 0;
        // One file given a symbol is that one security, even with a symbol column, which must
        // then name one security throughout.
        if (!database_ || (inputs.size() == 1 && !folder && (!symbolColumn || given))) {
            if (!given) {
                throw UsageError{"no symbol given (--symbol)"};
            }
            inputs.front().symbol = settings.symbol;
            inputs.front().name = settings.name;
            return inputs;
        }
        if (given) {
            throw UsageError{symbolColumn
                                 ? "--symbol: only with one input file; with several, the "
                                   "symbol column (--columns symbol=N) gives each line's security"
                                 : "--symbol: only with one input file; each of several files "
                                   "takes its name as its symbol (aapl.csv: AAPL)"};
        }
        if (nameOption_->count() != 0) {
            throw UsageError{"--name: only with one input file; --names MAP.csv names many"};
        }
        if (!symbolColumn) {
            for (engine::InputFile& input : inputs) {
                input.symbol = engine::SymbolOfFile(input.path, settings.codePage);
            }
        }
        return inputs;
    }

    ConversionSettings Settings(std::ostream& err) {
        ConversionSettings settings = settings_;
        GivenSettings given;
        if (newMaster_) {
            settings.master = engine::MasterChoice::kMakeNew;
        }
        if (period_->count() != 0) {
            std::string refusal;
            std::optional<engine::Period> period = engine::ReadPeriod(periodText_, &refusal);
            if (!period) {
                throw UsageError{"--period: " + refusal};
            }
            settings.period = *period;
        }
        given.decimalComma = decimalComma_->count() != 0;
        if (delimiter_->count() != 0) {
            settings.delimiter = ParseDelimiter(delimiterText_);
            given.delimiter = true;
        }
        if (dateFormat_->count() != 0) {
            settings.dateFormat = DateFormatOption("--date-format", dateFormatText_);
            given.dateFormat = true;
        }
        if (skip_->count() != 0) {
            std::optional<int> rows = ParseInt(skipText_);
            if (!rows || engine::CheckSkipRows(*rows)) {
                throw UsageError{"--skip: the number of rows must be from 0 to " +
                                 std::to_string(engine::limits::kMaxSkipRows) + ", not '" +
                                 skipText_ + "'"};
            }
            settings.skipOn = true;
            settings.skipRows = *rows;
            given.skip = true;
        }
        for (auto [option, text, bound] : {std::tuple{from_, &fromText_, &settings.from},
                                           std::tuple{to_, &toText_, &settings.to}}) {
            if (option->count() != 0) {
                *bound = engine::ParseIsoDate(*text);
                if (!*bound) {
                    throw UsageError{option->get_name() + ": '" + *text +
                                     "' is not a date written as YYYY-MM-DD from 1961 to 2099"};
                }
            }
        }
        if (columns_->count() != 0) {
            ParseColumns(columnsText_, &settings);
            given.columns = true;
        }
        if (series_->count() != 0) {
            settings.series = engine::ParseSeriesList(seriesText_);
            if (settings.series.empty()) {
                throw UsageError{"--series: name the series to read, as EQ,BE"};
            }
            given.series = true;
        }
        if (settings.makeEMaster && settings.master != engine::MasterChoice::kMakeNew) {
            throw UsageError{
                "--emaster goes with --new-master: an existing EMASTER is kept in step"};
        }
        settings.codePage = CodePageOption(codePage_, codePageText_);
        // A folder given first is read, and detected, through its first price file.
        settings.inputPath = msdb::FileSystem::Default().IsDirectory(AbsolutePath(inputs_.front()))
                                 ? PriceFilesOf(inputs_.front()).front()
                                 : AbsolutePath(inputs_.front());
        settings.directory = dir_;
        settings.symbol = symbol_;
        if (detect_) {
            if (std::optional<std::string> failure = ApplyDetection(given, &settings, err)) {
                throw DetectionFailure{*failure};
            }
        }
        if (given.series && settings.columns.series == 0) {
            throw UsageError{
                "--series: the file has no series column; name it with --columns series=N"};
        }
        // The settings' own checks; the first problem found is the one reported. A run of many
        // files checks each file's symbol as it reads it.
        for (const engine::SettingsProblem& problem : settings.Validate()) {
            if (problem.field == engine::SettingsField::kSymbol && symbol_.empty()) {
                continue;
            }
            if (problem.kind == engine::ProblemKind::kNotInCodePage) {
                throw UsageError{
                    (problem.field == engine::SettingsField::kName ? "--name: " : "--symbol: ") +
                    problem.message};
            }
            if (problem.field == engine::SettingsField::kRange) {
                throw UsageError{"--from: the date is after the date of --to"};
            }
            if (problem.kind == engine::ProblemKind::kConflict) {
                throw UsageError{
                    "--decimal-comma: the columns must then be separated by a "
                    "semicolon, a tab or a space (--delimiter)"};
            }
            throw UsageError{problem.kind == engine::ProblemKind::kTooLong ? TooLong(problem)
                                                                           : problem.message};
        }
        settings.symbol = engine::NormalizeSymbol(settings.symbol);
        return settings;
    }

    ConversionSettings settings_;
    std::vector<std::string> inputs_;
    std::string namesPath_;
    bool verbose_ = false;
    bool database_ = false;
    CLI::Option* symbolOption_ = nullptr;
    CLI::Option* update_ = nullptr;
    CLI::Option* nameOption_ = nullptr;
    std::string dir_;
    std::string symbol_;
    bool newMaster_ = false;
    bool detect_ = false;
    std::string delimiterText_;
    std::string dateFormatText_;
    std::string skipText_;
    std::string columnsText_;
    std::string fromText_;
    std::string codePageText_;
    CLI::Option* codePage_ = nullptr;
    std::string toText_;
    std::string periodText_;
    CLI::Option* period_ = nullptr;
    std::string seriesText_;
    CLI::Option* series_ = nullptr;
    CLI::Option* delimiter_ = nullptr;
    CLI::Option* decimalComma_ = nullptr;
    CLI::Option* dateFormat_ = nullptr;
    CLI::Option* skip_ = nullptr;
    CLI::Option* columns_ = nullptr;
    CLI::Option* from_ = nullptr;
    CLI::Option* to_ = nullptr;
};

}  // namespace

std::unique_ptr<Command> MakeConvertCommand() {
    return std::make_unique<ConvertCommand>();
}

}  // namespace cli
