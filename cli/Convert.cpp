// korvex-cli convert: one price file into a new security of a MetaStock-format directory.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>

#include "cli/Commands.h"
#include "engine/ConversionJob.h"
#include "msdb/Reader.h"

namespace cli {

const std::string_view kConvertUsage =
    "Usage: korvex-cli convert INPUT --dir DIR --symbol SYMBOL [--name NAME]\n"
    "           [--new-master [--emaster] | --replace] [--accept-problems] [--dry-run]\n"
    "           [--delimiter comma|tab|space|semicolon] [--decimal-comma] [--detect]\n"
    "           [--date-format NAME] [--skip N]\n"
    "           [--columns date=1,open=2,high=3,low=4,close=5,volume=6,oi=7]\n"
    "\n"
    "Converts INPUT, one period per line, into a new security of the MetaStock-format\n"
    "directory DIR. Each line that holds a field becomes one price record.\n"
    "\n"
    "How lines are read: a line ends at LF, CR LF or a lone CR and may be 65,536 bytes\n"
    "long. With comma, tab or semicolon every delimiter separates two fields (\"1,,2\" is\n"
    "three fields, the second empty); blanks around a field and the double quotes around a\n"
    "quoted field (\"12.50\") are not part of it. With space, a run of spaces separates two\n"
    "fields.\n"
    "Every field that is switched on must be there and hold a number, or a date that exists\n"
    "in the date format; the dates must go forward, or all backward (a file that lists the\n"
    "newest day first is written oldest first). Anything else is a problem: the first ten\n"
    "are shown with their line numbers and nothing is converted, unless --accept-problems\n"
    "is given. A file in UTF-16, or that holds NUL bytes, is not a text file: save it as\n"
    "plain text first.\n"
    "\n"
    "  --dir DIR            the target directory (at most 200 bytes)\n"
    "  --symbol SYMBOL      the ticker symbol, at most 16 bytes; upper-cased, trailing\n"
    "                       blanks removed; refused when DIR already holds it\n"
    "  --name NAME          the security's name, at most 16 bytes (default: none)\n"
    "  --new-master         make a new, empty MASTER in DIR, which must not hold one yet;\n"
    "                       without it the MASTER of DIR is used and backed up to MASTER.BAK\n"
    "  --emaster            with --new-master, make an EMASTER beside MASTER too, as many\n"
    "                       programs keep one; an EMASTER that DIR already holds is always\n"
    "                       kept in step with MASTER\n"
    "  --replace            convert over the security SYMBOL that the MASTER of DIR lists:\n"
    "                       same file number, same place in MASTER, new prices\n"
    "  --accept-problems    convert a file with problems all the same: values that cannot\n"
    "                       be read are stored as 0 (dates as no date), and a file of more\n"
    "                       than 65,534 records is cut to its first 65,534\n"
    "  --dry-run            read everything and say what would be written, or the problems,\n"
    "                       but write nothing (DIR is only read); exit 0 when the conversion\n"
    "                       would succeed\n"
    "  --detect             take the proposal of 'korvex-cli detect INPUT' for each of\n"
    "                       --delimiter, --decimal-comma, --skip, --date-format and\n"
    "                       --columns not given; the proposal is told on standard error\n"
    "  --delimiter D        what separates the columns: comma (default), tab, space or\n"
    "                       semicolon\n"
    "  --decimal-comma      numbers are written with a decimal comma (10,5 is 10.5), as in\n"
    "                       files from European sources; not with --delimiter comma, and a\n"
    "                       point in a number is then a problem (1.234,5)\n"
    "  --date-format NAME   how the dates are written (any case; default MMDDYY):\n"
    "                         YY_MM_DD    99/08/30      YYMMDD      990830\n"
    "                         CCYY_MM_DD  1999/08/30    CCYYMMDD    19990830\n"
    "                         MM_DD_YY    08/30/99      MMDDYY      083099\n"
    "                         MM_DD_CCYY  08/30/1999    MMDDCCYY    08301999\n"
    "                         DD_MM_YY    30/08/99      DDMMYY      300899\n"
    "                         DD_MM_CCYY  30/08/1999    DDMMCCYY    30081999\n"
    "                       '_' stands for any one separator character; every part is two\n"
    "                       digits wide; two-digit years 00 to 59 are 2000 to 2059.\n"
    "                       Written as people and many sources write dates:\n"
    "                         M_D_CCYY    8/30/1999     D_M_CCYY    30/8/1999\n"
    "                         CCYY_M_D    1999-8-30     DD_MON_CCYY 30-Aug-1999\n"
    "                         DD_MON_YY   30-AUG-99     MON_DD_CCYY Aug 30 1999\n"
    "                       where the day and month have one or two digits, and MON is\n"
    "                       an English month name, in any case, short or in full\n"
    "  --skip N             skip the first N lines, such as headings (0 to 200)\n"
    "  --columns LIST       which column (counted from 1, up to 20) holds which field, as\n"
    "                       name=column pairs separated by commas; names: date, open, high,\n"
    "                       low, close, volume (or vol), oi (or openint). Date and close are\n"
    "                       required; a field not listed is not stored. Default:\n"
    "                       date=1,open=2,high=3,low=4,close=5,volume=6,oi=7\n"
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

namespace {

using engine::ConversionSettings;
using engine::PriceField;

// A mistake on the command line, with the message that explains it.
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

struct UsageError {
    std::string message;
};

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

void ParseColumns(const std::string& list, ConversionSettings* settings) {
    msdb::PerField<bool> listed;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = std::min(list.find(',', start), list.size());
        std::string pair = list.substr(start, end - start);
        std::size_t equals = pair.find('=');
        if (equals == std::string::npos) {
            throw UsageError{"--columns: '" + pair + "' is not of the form name=column"};
        }
        std::string name = Lower(pair.substr(0, equals));
        auto field = FieldNames().find(name);
        if (field == FieldNames().end()) {
            throw UsageError{"--columns: unknown field '" + name +
                             "' (known: date, open, high, low, close, volume, vol, oi, openint)"};
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
}

engine::DateFormat ParseDateFormat(const std::string& name) {
    if (std::optional<engine::DateFormat> format = msdb::ParseDateFormatName(name)) {
        return *format;
    }
    throw UsageError{"--date-format: unknown date format '" + name +
                     "'; see 'korvex-cli convert --help' for the names"};
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
    return std::string(option) + " must be at most " + std::to_string(problem.maximum) +
           " bytes long";
}

ConversionSettings ParseConvert(const std::vector<std::string>& args, std::ostream& err) {
    ConversionSettings settings;
    GivenSettings given;
    bool detect = false;
    std::optional<std::string> input;
    std::optional<std::string> dir;
    std::optional<std::string> symbol;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> attached;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            attached = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        auto value = [&]() -> std::string {
            if (attached) {
                return *attached;
            }
            if (i + 1 >= args.size()) {
                throw UsageError{arg + " needs a value"};
            }
            return args[++i];
        };
        if (arg == "--dir") {
            dir = value();
        } else if (arg == "--symbol") {
            symbol = value();
        } else if (arg == "--name") {
            settings.name = value();
        } else if (arg == "--new-master" && !attached) {
            settings.master = engine::MasterChoice::kMakeNew;
        } else if (arg == "--replace" && !attached) {
            settings.replaceExisting = true;
        } else if (arg == "--emaster" && !attached) {
            settings.makeEMaster = true;
        } else if (arg == "--accept-problems" && !attached) {
            settings.acceptProblems = true;
        } else if (arg == "--dry-run" && !attached) {
            settings.dryRun = true;
        } else if (arg == "--decimal-comma" && !attached) {
            settings.decimalComma = true;
            given.decimalComma = true;
        } else if (arg == "--detect" && !attached) {
            detect = true;
        } else if (arg == "--delimiter") {
            settings.delimiter = ParseDelimiter(value());
            given.delimiter = true;
        } else if (arg == "--date-format") {
            settings.dateFormat = ParseDateFormat(value());
            given.dateFormat = true;
        } else if (arg == "--skip") {
            std::string text = value();
            std::optional<int> rows = ParseInt(text);
            if (!rows || engine::CheckSkipRows(*rows)) {
                throw UsageError{"--skip: the number of rows must be from 0 to " +
                                 std::to_string(engine::limits::kMaxSkipRows) + ", not '" + text +
                                 "'"};
            }
            settings.skipOn = true;
            settings.skipRows = *rows;
            given.skip = true;
        } else if (arg == "--columns") {
            ParseColumns(value(), &settings);
            given.columns = true;
        } else if (arg.size() > 1 && arg[0] == '-' && !(arg == "-")) {
            throw UsageError{"unknown option '" + args[i] + "'"};
        } else if (input) {
            throw UsageError{"only one input file can be converted at a time"};
        } else {
            input = args[i];
        }
    }
    if (!input) {
        throw UsageError{"no input file given"};
    }
    if (settings.makeEMaster && settings.master != engine::MasterChoice::kMakeNew) {
        throw UsageError{"--emaster goes with --new-master: an existing EMASTER is kept in step"};
    }
    if (!dir) {
        throw UsageError{"no target directory given (--dir)"};
    }
    if (!symbol) {
        throw UsageError{"no symbol given (--symbol)"};
    }
    settings.inputPath = AbsolutePath(*input);
    settings.directory = *dir;
    settings.symbol = *symbol;
    if (detect) {
        if (std::optional<std::string> failure = ApplyDetection(given, &settings, err)) {
            throw DetectionFailure{*failure};
        }
    }
    // The settings' own checks; the first problem found is the one reported.
    for (const engine::SettingsProblem& problem : settings.Validate()) {
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

int Convert(const ConversionSettings& settings, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    engine::NullSettingsStore store;
    engine::JobServices services;
    services.notifier = &notifier;
    services.store = &store;
    engine::CConversionJob job(settings, services);
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

}  // namespace

void StreamNotifier::ShowMessage(const std::string& text) {
    err_ << "korvex: " << text << '\n';
}

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ConversionSettings settings;
    try {
        settings = ParseConvert(args, err);
    } catch (const UsageError& error) {
        err << "korvex: " << error.message << "\nTry 'korvex-cli convert --help'.\n";
        return kBadCommandLine;
    } catch (const DetectionFailure& failure) {
        err << "korvex: --detect: " << failure.message << "\nNothing was converted.\n";
        return 1;
    }
    return Convert(settings, out, err);
}

}  // namespace cli
