#include "Options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string_view>
#include <utility>

namespace gen {

const char* const kUsage =
    "Usage: korvex-gen [options] > FILE\n"
    "Writes an end-of-day price file: a seeded random walk over business days.\n"
    "\n"
    "  --days N              trading days to write (default 300)\n"
    "  --start YYYY-MM-DD    first day; a weekend moves on to Monday (default 2025-01-02)\n"
    "  --every-day           trade on weekends too, as crypto currencies do: every day of\n"
    "                        the calendar from --start on\n"
    "  --seed N              seed of the random walk (default 1)\n"
    "  --delimiter D         comma, tab or space (default comma)\n"
    "  --date-format NAME    YY_MM_DD, CCYY_MM_DD, MM_DD_YY, MM_DD_CCYY, DD_MM_YY, DD_MM_CCYY,\n"
    "                        YYMMDD, CCYYMMDD, MMDDYY, MMDDCCYY, DDMMYY or DDMMCCYY;\n"
    "                        '_' is written as '/' (default MM_DD_CCYY)\n"
    "  --heading             write the heading line Date,Open,High,Low,Close,Volume,OpenInt\n"
    "  --fields LIST         the columns, in order (default date,open,high,low,close,volume,oi;\n"
    "                        vol and openint are accepted too)\n"
    "  --help                show this text\n"
    "\n"
    "Many securities, S0001 to S<N>, whose prices depend on the symbol and the day alone:\n"
    "  --symbols N           write N securities instead of one random walk\n"
    "  --layout NAME         folder: a file per security (S0001.csv ...) in --out, written as\n"
    "                        the options above say; bulk (default): one file with a symbol\n"
    "                        column, <TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,\n"
    "                        <VOL>,<OPENINT>, CCYYMMDD dates, grouped by symbol; daily:\n"
    "                        Symbol,Date,Open,High,Low,Close,Volume, grouped by day; exchange:\n"
    "                        SYMBOL,SERIES,OPEN,HIGH,LOW,CLOSE,LAST,PREVCLOSE,TOTTRDQTY,\n"
    "                        TOTTRDVAL,TIMESTAMP with dates as 02-JAN-2024, grouped by day;\n"
    "                        bulk, daily and exchange start with their heading line\n"
    "  --out DIR             the folder of the folder layout (made when missing)\n"
    "  --skip-days K         begin K trading days after --start (default 0), so that a file of\n"
    "                        the days after a history holds the days the history lacks\n";

namespace {

namespace chr = std::chrono;

constexpr std::pair<std::string_view, Field> kFieldNames[] = {
    {"date", kDate},  {"open", kOpen},   {"high", kHigh},
    {"low", kLow},    {"close", kClose}, {"volume", kVolume},
    {"vol", kVolume}, {"oi", kOpenInt},  {"openint", kOpenInt}};
constexpr std::string_view kDateFormats[] = {"YY_MM_DD", "CCYY_MM_DD", "MM_DD_YY", "MM_DD_CCYY",
                                             "DD_MM_YY", "DD_MM_CCYY", "YYMMDD",   "CCYYMMDD",
                                             "MMDDYY",   "MMDDCCYY",   "DDMMYY",   "DDMMCCYY"};

constexpr std::pair<std::string_view, Layout> kLayoutNames[] = {{"folder", Layout::kFolder},
                                                                {"bulk", Layout::kBulk},
                                                                {"daily", Layout::kDaily},
                                                                {"exchange", Layout::kExchange}};

template <typename T>
T ParseNumber(std::string_view text, std::string_view option) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
        throw BadCommandLine{std::string(option) + " needs a whole number, not '" +
                             std::string(text) + "'"};
    }
    return value;
}

chr::year_month_day ParseIsoDate(std::string_view text) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (text.size() == 10 && text[4] == '-' && text[7] == '-' &&
        std::count_if(text.begin(), text.end(), digit) == 8) {
        chr::year_month_day ymd{
            chr::year{static_cast<int>(ParseNumber<unsigned>(text.substr(0, 4), "--start"))},
            chr::month{ParseNumber<unsigned>(text.substr(5, 2), "--start")},
            chr::day{ParseNumber<unsigned>(text.substr(8, 2), "--start")}};
        if (ymd.ok()) {
            return ymd;
        }
    }
    throw BadCommandLine{"--start needs a date YYYY-MM-DD, not '" + std::string(text) + "'"};
}

std::string ToCase(std::string_view text, bool upper) {
    std::string result(text);
    for (char& c : result) {
        auto u = static_cast<unsigned char>(c);
        c = static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
    }
    return result;
}

std::vector<Field> ParseFields(std::string_view list) {
    std::vector<Field> fields;
    for (std::size_t comma = 0; comma != std::string_view::npos; list.remove_prefix(comma + 1)) {
        comma = list.find(',');
        std::string name = ToCase(list.substr(0, comma), false);
        auto it = std::find_if(std::begin(kFieldNames), std::end(kFieldNames),
                               [&](const auto& entry) { return name == entry.first; });
        if (it == std::end(kFieldNames)) {
            throw BadCommandLine{"--fields: unknown field '" + name + "'"};
        }
        fields.push_back(it->second);
        if (comma == std::string_view::npos) {
            break;
        }
    }
    return fields;
}

}  // namespace

Options ParseCommandLine(int argc, char** argv, bool* help) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto next = [&]() -> std::string_view {
            if (i + 1 >= argc) {
                throw BadCommandLine{std::string(arg) + " needs a value"};
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "--heading" || arg == "--every-day") {
            (arg == "--help"      ? *help
             : arg == "--heading" ? options.heading
                                  : options.everyDay) = true;
        } else if (arg == "--days") {
            options.days = ParseNumber<long long>(next(), arg);
            if (options.days < 0 || options.days > 10'000'000) {
                throw BadCommandLine{"--days must be 0 to 10000000"};
            }
        } else if (arg == "--start") {
            options.start = ParseIsoDate(next());
        } else if (arg == "--seed") {
            options.seed = ParseNumber<std::uint64_t>(next(), arg);
        } else if (arg == "--delimiter") {
            std::string_view value = next();
            if (value != "comma" && value != "tab" && value != "space") {
                throw BadCommandLine{"--delimiter must be comma, tab or space"};
            }
            options.delimiter = value == "comma" ? ',' : value == "tab" ? '\t' : ' ';
        } else if (arg == "--date-format") {
            std::string_view value = next();
            options.dateFormat = ToCase(value, true);
            if (std::find(std::begin(kDateFormats), std::end(kDateFormats), options.dateFormat) ==
                std::end(kDateFormats)) {
                throw BadCommandLine{"unknown date format '" + std::string(value) + "'"};
            }
        } else if (arg == "--fields") {
            options.fields = ParseFields(next());
        } else if (arg == "--symbols") {
            options.symbols = ParseNumber<long long>(next(), arg);
            if (options.symbols < 1 || options.symbols > 1'000'000) {
                throw BadCommandLine{"--symbols must be 1 to 1000000"};
            }
        } else if (arg == "--layout") {
            std::string name = ToCase(next(), false);
            auto it = std::find_if(std::begin(kLayoutNames), std::end(kLayoutNames),
                                   [&](const auto& entry) { return name == entry.first; });
            if (it == std::end(kLayoutNames)) {
                throw BadCommandLine{"--layout must be folder, bulk, daily or exchange"};
            }
            options.layout = it->second;
        } else if (arg == "--out") {
            options.out = next();
        } else if (arg == "--skip-days") {
            options.skipDays = ParseNumber<long long>(next(), arg);
            if (options.skipDays < 0 || options.skipDays > 10'000'000) {
                throw BadCommandLine{"--skip-days must be 0 to 10000000"};
            }
        } else {
            throw BadCommandLine{"unknown option '" + std::string(arg) + "'"};
        }
    }
    bool folder = options.symbols > 0 && options.layout == Layout::kFolder;
    if (folder != !options.out.empty()) {
        throw BadCommandLine{folder ? "the folder layout needs --out DIR"
                                    : "--out is for --symbols N --layout folder"};
    }
    if (options.skipDays > 0 && options.symbols == 0) {
        throw BadCommandLine{"--skip-days is for --symbols N"};
    }
    return options;
}

}  // namespace gen
