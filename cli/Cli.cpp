#include "cli/Cli.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>

#include "cli/Inspect.h"
#include "engine/ConversionJob.h"
#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"

namespace cli {
namespace {

using msdb::PriceField;

constexpr int kBadCommandLine = 2;

const char* kUsage =
    "Usage: korvex-cli convert INPUT --dir DIR --symbol SYMBOL [options]\n"
    "       korvex-cli list DIR [--csv | --json]\n"
    "       korvex-cli export DIR SYMBOL [-o FILE] [--date-format NAME]\n"
    "       korvex-cli check DIR\n"
    "       korvex-cli --help | --version\n"
    "\n"
    "Converts a text file of end-of-day prices into a new security of a MetaStock-format\n"
    "directory: the security is added to MASTER and gets its own F<n>.DAT and F<n>.DOP.\n"
    "\n"
    "Commands:\n"
    "  convert    convert one price file (see 'korvex-cli convert --help')\n"
    "  list       list the securities of a directory\n"
    "  export     write a security's price records as CSV\n"
    "  check      check that a directory is sound\n"
    "\n"
    "'korvex-cli COMMAND --help' explains each command.\n"
    "\n"
    "Options:\n"
    "  --help     show this help\n"
    "  --version  show the version\n";

const char* kConvertUsage =
    "Usage: korvex-cli convert INPUT --dir DIR --symbol SYMBOL [--name NAME] [--new-master]\n"
    "           [--delimiter comma|tab|space] [--date-format NAME] [--skip N]\n"
    "           [--columns date=1,open=2,high=3,low=4,close=5,volume=6,oi=7]\n"
    "\n"
    "Converts INPUT, one period per line, into a new security of the MetaStock-format\n"
    "directory DIR. Each line that holds a field becomes one price record.\n"
    "\n"
    "  --dir DIR            the target directory (at most 200 characters)\n"
    "  --symbol SYMBOL      the ticker symbol, at most 16 characters; upper-cased, trailing\n"
    "                       blanks removed; refused when DIR already holds it\n"
    "  --name NAME          the security's name, at most 16 characters (default: none)\n"
    "  --new-master         make a new, empty MASTER in DIR, which must not hold one yet;\n"
    "                       without it the MASTER of DIR is used and backed up to MASTER.BAK\n"
    "  --delimiter D        what separates the columns: comma (default), tab or space;\n"
    "                       several delimiters in a row count as one\n"
    "  --date-format NAME   how the dates are written (any case; default MMDDYY):\n"
    "                         YY_MM_DD    99/08/30      YYMMDD      990830\n"
    "                         CCYY_MM_DD  1999/08/30    CCYYMMDD    19990830\n"
    "                         MM_DD_YY    08/30/99      MMDDYY      083099\n"
    "                         MM_DD_CCYY  08/30/1999    MMDDCCYY    08301999\n"
    "                         DD_MM_YY    30/08/99      DDMMYY      300899\n"
    "                         DD_MM_CCYY  30/08/1999    DDMMCCYY    30081999\n"
    "                       '_' stands for any one separator character; every part is two\n"
    "                       digits wide; two-digit years 00 to 59 are 2000 to 2059\n"
    "  --skip N             skip the first N lines, such as headings (0 to 200)\n"
    "  --columns LIST       which column (counted from 1, up to 20) holds which field, as\n"
    "                       name=column pairs separated by commas; names: date, open, high,\n"
    "                       low, close, volume (or vol), oi (or openint). Date and close are\n"
    "                       required; a field not listed is not stored. Default:\n"
    "                       date=1,open=2,high=3,low=4,close=5,volume=6,oi=7\n"
    "\n"
    "Messages go to standard error, a summary of what was written to standard output.\n"
    "Exit status: 0 converted, 1 the conversion failed (the message says why),\n"
    "2 bad command line.\n";

class StreamNotifier final : public engine::Notifier {
public:
    explicit StreamNotifier(std::ostream& err) : m_err(err) {}
    void ShowMessage(const std::string& text) override { m_err << "korvex: " << text << '\n'; }

private:
    std::ostream& m_err;
};

// A mistake on the command line, with the message that explains it.
struct UsageError {
    std::string message;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string TrimTrailingBlanks(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
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

struct ConvertOptions {
    std::string input;
    std::optional<std::string> dir;
    std::optional<std::string> symbol;
    std::string name;
    bool newMaster = false;
    char delimiter = ',';
    int dateFormat = 9;  // MMDDYY
    bool skipOn = false;
    int skipRows = 0;
    std::array<int, msdb::kPriceFieldCount> fieldOn{1, 1, 1, 1, 1, 1, 1};
    std::array<int, msdb::kPriceFieldCount> column{1, 2, 3, 4, 5, 6, 7};  // counted from 1
};

const std::map<std::string, PriceField>& FieldNames() {
    static const std::map<std::string, PriceField> names = {
        {"date", msdb::DATE}, {"open", msdb::OPEN},   {"high", msdb::HIGH},
        {"low", msdb::LOW},   {"close", msdb::CLOSE}, {"volume", msdb::VOL},
        {"vol", msdb::VOL},   {"oi", msdb::OI},       {"openint", msdb::OI}};
    return names;
}

void ParseColumns(const std::string& list, ConvertOptions* options) {
    std::array<bool, msdb::kPriceFieldCount> listed{};
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
        if (!column || *column < 1 || *column > engine::kMaxColumns) {
            throw UsageError{"--columns: the column of '" + name +
                             "' must be a number from 1 to 20"};
        }
        options->column[field->second] = *column;
        start = end + 1;
    }
    if (!listed[msdb::DATE] || !listed[msdb::CLOSE]) {
        throw UsageError{"--columns: the date and the close must be listed"};
    }
    for (int i = 0; i < msdb::kPriceFieldCount; ++i) {
        options->fieldOn[i] = listed[i] ? 1 : 0;
        if (!listed[i]) {
            options->column[i] = 1;  // a switched-off field takes no column
        }
    }
}

int ParseDateFormat(const std::string& name) {
    for (std::size_t i = 0; i < msdb::kDateFormatNames.size(); ++i) {
        if (msdb::EqualsNoCase(name, msdb::kDateFormatNames[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    throw UsageError{"--date-format: unknown date format '" + name +
                     "'; see 'korvex-cli convert --help' for the twelve names"};
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
    throw UsageError{"--delimiter: must be comma, tab or space, not '" + name + "'"};
}

ConvertOptions ParseConvert(const std::vector<std::string>& args) {
    ConvertOptions options;
    std::optional<std::string> input;
    for (std::size_t i = 1; i < args.size(); ++i) {
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
            options.dir = value();
        } else if (arg == "--symbol") {
            options.symbol = value();
        } else if (arg == "--name") {
            options.name = value();
        } else if (arg == "--new-master" && !attached) {
            options.newMaster = true;
        } else if (arg == "--delimiter") {
            options.delimiter = ParseDelimiter(value());
        } else if (arg == "--date-format") {
            options.dateFormat = ParseDateFormat(value());
        } else if (arg == "--skip") {
            std::string text = value();
            std::optional<int> rows = ParseInt(text);
            if (!rows || *rows < 0 || *rows > engine::kMaxSkipRows) {
                throw UsageError{"--skip: the number of rows must be from 0 to 200, not '" + text +
                                 "'"};
            }
            options.skipOn = true;
            options.skipRows = *rows;
        } else if (arg == "--columns") {
            ParseColumns(value(), &options);
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
    options.input = *input;
    if (!options.dir) {
        throw UsageError{"no target directory given (--dir)"};
    }
    if (!options.symbol) {
        throw UsageError{"no symbol given (--symbol)"};
    }
    if (options.name.size() > engine::kMaxNameLength) {
        throw UsageError{"--name: the name must be at most 16 characters long"};
    }
    if (options.dir->size() > engine::kMaxDirectoryLength) {
        throw UsageError{"--dir: the directory must be at most 200 characters long"};
    }
    if (options.symbol->size() > engine::kMaxSymbolLength) {
        throw UsageError{"--symbol: the symbol must be at most 16 characters long"};
    }
    // The checks of the settings dialog, in its order.
    std::array<bool, engine::kMaxColumns + 1> taken{};
    bool duplicate = false;
    for (PriceField field :
         {msdb::DATE, msdb::CLOSE, msdb::OPEN, msdb::HIGH, msdb::LOW, msdb::VOL, msdb::OI}) {
        if (options.fieldOn[field] != 0) {
            duplicate = duplicate || taken[static_cast<std::size_t>(options.column[field])];
            taken[static_cast<std::size_t>(options.column[field])] = true;
        }
    }
    if (duplicate) {
        throw UsageError{"Duplicate columns specified\nCorrect or disable"};
    }
    options.symbol = TrimTrailingBlanks(*options.symbol);
    if (options.symbol->empty()) {
        throw UsageError{"You did not enter a valid symbol"};
    }
    options.symbol = Upper(*options.symbol);
    if (TrimTrailingBlanks(*options.dir).empty()) {
        throw UsageError{"Please enter path"};
    }
    return options;
}

std::string DateText(const msdb::MbfBytes& date) {
    auto yymmdd = static_cast<long>(msdb::FromMbf(date));
    if (yymmdd <= 0) {
        return "no date";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%04ld-%02ld-%02ld", 1900 + yymmdd / 10000, yymmdd / 100 % 100,
                  yymmdd % 100);
    return text;
}

int Convert(const ConvertOptions& options, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    engine::NullSettingsStore store;
    engine::JobServices services;
    services.notifier = &notifier;
    services.store = &store;
    engine::CConversionJob job(services);

    std::error_code ec;
    std::filesystem::path input = std::filesystem::absolute(options.input, ec);
    job.m_strInputPath = ec ? options.input : input.string();
    job.m_bUseExistingMaster = options.newMaster ? 0 : 1;
    for (int i = 0; i < msdb::kPriceFieldCount; ++i) {
        job.m_bFieldOn[i] = options.fieldOn[i];
        job.m_nFieldCol[i] = options.column[i] - 1;
    }
    job.m_szDirectory = *options.dir;
    job.m_szSymbol = *options.symbol;
    job.m_szName = options.name;
    job.m_szDelimiter = std::string(1, options.delimiter);
    job.m_nDateFormat = options.dateFormat;
    job.m_bSkipOn = options.skipOn ? 1 : 0;
    job.m_nSkipRows = options.skipRows;

    int result = job.Run();
    if (job.FileNumber() == 0) {
        out << "Nothing was converted.\n";
    } else {
        std::string dat = msdb::JoinPath(job.m_szDirectory, msdb::DatFileName(job.FileNumber()));
        out << (result == 0 ? "Converted " : "Conversion failed; wrote ") << job.RecordCount()
            << " price records of " << job.m_szSymbol << " into " << dat << " ("
            << DateText(job.FirstDate()) << " to " << DateText(job.LastDate()) << ").\n";
    }
    return result == 0 ? 0 : 1;
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? kBadCommandLine : 0;
    }
    if (args[0] == "--version") {
        out << "korvex-cli " << KORVEX_VERSION << '\n';
        return 0;
    }
    struct Command {
        const char* name;
        const char* usage;
        int (*run)(const std::vector<std::string>&, std::ostream&, std::ostream&);
    };
    const Command commands[] = {{"convert", kConvertUsage, nullptr},
                                {"list", kListUsage, RunList},
                                {"export", kExportUsage, RunExport},
                                {"check", kCheckUsage, RunCheck}};
    const Command* command = nullptr;
    for (const Command& c : commands) {
        if (args[0] == c.name) {
            command = &c;
        }
    }
    if (command == nullptr) {
        err << "korvex: unknown command '" << args[0] << "'\nTry 'korvex-cli --help'.\n";
        return kBadCommandLine;
    }
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        out << command->usage;
        return 0;
    }
    if (command->run != nullptr) {
        return command->run(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
    }
    ConvertOptions options;
    try {
        options = ParseConvert(args);
    } catch (const UsageError& error) {
        err << "korvex: " << error.message << "\nTry 'korvex-cli convert --help'.\n";
        return kBadCommandLine;
    }
    return Convert(options, out, err);
}

}  // namespace cli
