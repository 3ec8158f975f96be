// korvex-gen: writes a made-up end-of-day price file to standard output, for the examples and the
// benchmarks. The prices follow a geometric random walk driven by the seed; the same options give
// the same bytes with every compiler and standard library.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

namespace chr = std::chrono;

constexpr const char* kUsage =
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
    "  --help                show this text\n";

enum Field { kDate, kOpen, kHigh, kLow, kClose, kVolume, kOpenInt };
constexpr const char* kHeadings[] = {"Date", "Open", "High", "Low", "Close", "Volume", "OpenInt"};
constexpr std::pair<std::string_view, Field> kFieldNames[] = {
    {"date", kDate},  {"open", kOpen},   {"high", kHigh},
    {"low", kLow},    {"close", kClose}, {"volume", kVolume},
    {"vol", kVolume}, {"oi", kOpenInt},  {"openint", kOpenInt}};
constexpr std::string_view kDateFormats[] = {"YY_MM_DD", "CCYY_MM_DD", "MM_DD_YY", "MM_DD_CCYY",
                                             "DD_MM_YY", "DD_MM_CCYY", "YYMMDD",   "CCYYMMDD",
                                             "MMDDYY",   "MMDDCCYY",   "DDMMYY",   "DDMMCCYY"};

struct Options {
    long long days = 300;
    chr::year_month_day start{chr::year{2025}, chr::January, chr::day{2}};
    std::uint64_t seed = 1;
    char delimiter = ',';
    std::string dateFormat = "MM_DD_CCYY";
    bool heading = false;
    bool everyDay = false;  // weekends are trading days too
    std::vector<Field> fields{kDate, kOpen, kHigh, kLow, kClose, kVolume, kOpenInt};
};

struct BadCommandLine {
    std::string message;
};

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

// The options of the command line; throws BadCommandLine. --help sets `help`.
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
        if (arg == "--help" || arg == "--heading") {
            (arg == "--help" ? *help : options.heading) = true;
        } else if (arg == "--every-day") {
            options.everyDay = true;
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
        } else {
            throw BadCommandLine{"unknown option '" + std::string(arg) + "'"};
        }
    }
    return options;
}

// Appends `value` (not negative) with at least `width` digits, zero-padded.
void AppendNumber(std::string& out, long long value, std::size_t width = 1) {
    std::string digits = std::to_string(value);
    out.append(width > digits.size() ? width - digits.size() : 0, '0');
    out += digits;
}

// Writes the date as the format name says: its groups in order (CCYY, YY, MM, DD), '/' for '_'.
void AppendDate(std::string& out, const chr::year_month_day& ymd, std::string_view format) {
    int year = static_cast<int>(ymd.year());
    for (std::size_t i = 0; i < format.size();) {
        if (format.substr(i, 4) == "CCYY") {
            AppendNumber(out, year, 4);
            i += 4;
        } else if (format[i] == '_') {
            out += '/';
            i += 1;
        } else {
            long long yy = year % 100;
            long long mm = static_cast<unsigned>(ymd.month());
            long long dd = static_cast<unsigned>(ymd.day());
            AppendNumber(out, format[i] == 'Y' ? yy : format[i] == 'M' ? mm : dd, 2);
            i += 2;
        }
    }
}

// Random numbers from mt19937_64 alone, whose output the C++ standard fixes, so that every
// standard library gives the same sequence (std::normal_distribution differs between them).
class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(seed) {}
    double Uniform() { return (static_cast<double>(engine_() >> 11) + 0.5) * 0x1p-53; }
    double Normal() {  // Box-Muller, one value per pair
        return std::sqrt(-2.0 * std::log(Uniform())) * std::cos(6.283185307179586 * Uniform());
    }

private:
    std::mt19937_64 engine_;
};

long long ToCents(double price) {
    return std::max(1LL, std::llround(price * 100.0));
}

void Generate(const Options& options, std::ostream& os) {
    constexpr double kDrift = 0.0003;
    constexpr double kVolatility = 0.015;
    Random random(options.seed);
    long long close = 10000;  // cents; each day starts from the close as written
    long long openInterest = 50000;
    chr::sys_days day{options.start};
    std::string line;
    for (std::size_t i = 0; options.heading && i < options.fields.size(); ++i) {
        line += kHeadings[options.fields[i]];
        line += i + 1 < options.fields.size() ? options.delimiter : '\n';
    }
    for (long long n = 0; n < options.days; ++n, ++day) {
        while (!options.everyDay &&
               (chr::weekday{day} == chr::Saturday || chr::weekday{day} == chr::Sunday)) {
            ++day;
        }
        double previous = static_cast<double>(close) / 100.0;
        double change = kDrift - kVolatility * kVolatility / 2 + kVolatility * random.Normal();
        long long v[7] = {};
        v[kOpen] = ToCents(previous * std::exp(0.3 * kVolatility * random.Normal()));
        v[kClose] = ToCents(previous * std::exp(change));
        long long top = std::max(v[kOpen], v[kClose]);
        long long bottom = std::min(v[kOpen], v[kClose]);
        double up = std::exp(0.5 * kVolatility * std::fabs(random.Normal()));
        double down = std::exp(-0.5 * kVolatility * std::fabs(random.Normal()));
        v[kHigh] = std::max(top, ToCents(static_cast<double>(top) / 100.0 * up));
        v[kLow] = std::min(bottom, ToCents(static_cast<double>(bottom) / 100.0 * down));
        v[kVolume] = std::llround(800000.0 * std::exp(0.35 * random.Normal()) *
                                  (1.0 + 25.0 * std::fabs(change)));
        openInterest = std::max(1000LL, openInterest + std::llround(600.0 * random.Normal()));
        v[kOpenInt] = openInterest;
        close = v[kClose];

        for (std::size_t i = 0; i < options.fields.size(); ++i) {
            Field field = options.fields[i];
            if (field == kDate) {
                AppendDate(line, chr::year_month_day{day}, options.dateFormat);
            } else if (field == kVolume || field == kOpenInt) {
                AppendNumber(line, v[field]);
            } else {  // a price in cents, written with two decimals whatever the locale
                AppendNumber(line, v[field] / 100);
                line += '.';
                AppendNumber(line, v[field] % 100, 2);
            }
            line += i + 1 < options.fields.size() ? options.delimiter : '\n';
        }
        os << line;
        line.clear();
    }
    os << line;  // the heading alone when no days were asked for
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // LF line ends, as on Linux: the same bytes everywhere
#endif
    std::ios::sync_with_stdio(false);
    bool help = false;
    try {
        Options options = ParseCommandLine(argc, argv, &help);
        if (help) {
            std::cout << kUsage;
            return 0;
        }
        Generate(options, std::cout);
    } catch (const BadCommandLine& e) {
        std::cerr << "korvex-gen: " << e.message << "\n(korvex-gen --help shows the options)\n";
        return 2;
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "korvex-gen: the output could not be written\n";
        return 1;
    }
    return 0;
}
