// korvex-gen: writes a made-up end-of-day price file to standard output, for the examples and the
// benchmarks. The prices follow a geometric random walk driven by the seed; the same options give
// the same bytes with every compiler and standard library. With --symbols it writes many
// securities instead, from the market of Market.h, in one of the layouts a database is built from.
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
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Market.h"
#include "Options.h"

namespace {

namespace chr = std::chrono;
using namespace gen;

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

// Appends a price in cents with two decimals, whatever the locale.
void AppendPrice(std::string& out, long long cents) {
    AppendNumber(out, cents / 100);
    out += '.';
    AppendNumber(out, cents % 100, 2);
}

// Appends one line of the fields that --fields names, in its order; `v` holds them by Field.
void AppendFields(std::string& line, const Options& options, chr::sys_days day,
                  const long long (&v)[7]) {
    for (std::size_t i = 0; i < options.fields.size(); ++i) {
        Field field = options.fields[i];
        if (field == kDate) {
            AppendDate(line, chr::year_month_day{day}, options.dateFormat);
        } else if (field == kVolume || field == kOpenInt) {
            AppendNumber(line, v[field]);
        } else {
            AppendPrice(line, v[field]);
        }
        line += i + 1 < options.fields.size() ? options.delimiter : '\n';
    }
}

void AppendHeading(std::string& line, const Options& options) {
    for (std::size_t i = 0; options.heading && i < options.fields.size(); ++i) {
        line += kHeadings[options.fields[i]];
        line += i + 1 < options.fields.size() ? options.delimiter : '\n';
    }
}

// `day`, or the Monday after it when it is a weekend day and not --every-day.
chr::sys_days SkipWeekend(chr::sys_days day, const Options& options) {
    while (!options.everyDay &&
           (chr::weekday{day} == chr::Saturday || chr::weekday{day} == chr::Sunday)) {
        ++day;
    }
    return day;
}

void Generate(const Options& options, std::ostream& os) {
    constexpr double kDrift = 0.0003;
    constexpr double kVolatility = 0.015;
    Random random(options.seed);
    long long close = 10000;  // cents; each day starts from the close as written
    long long openInterest = 50000;
    chr::sys_days day{options.start};
    std::string line;
    AppendHeading(line, options);
    for (long long n = 0; n < options.days; ++n, ++day) {
        day = SkipWeekend(day, options);
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
        AppendFields(line, options, day, v);
        os << line;
        line.clear();
    }
    os << line;  // the heading alone when no days were asked for
}

// ---------------------------------------------------------------------------------------------
// Many securities (--symbols)

// The trading days of a --symbols run: --days of them, --skip-days after --start.
std::vector<chr::sys_days> TradingDays(const Options& options) {
    std::vector<chr::sys_days> days;
    chr::sys_days day = SkipWeekend(chr::sys_days{options.start}, options);
    for (long long n = 0; n < options.skipDays + options.days;
         ++n, day = SkipWeekend(day + chr::days{1}, options)) {
        if (n >= options.skipDays) {
            days.push_back(day);
        }
    }
    return days;
}

// 02-JAN-2024, as exchanges write their daily files.
void AppendExchangeDate(std::string& out, const chr::year_month_day& ymd) {
    constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                       "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    AppendNumber(out, static_cast<unsigned>(ymd.day()), 2);
    out += '-';
    out += kMonths[static_cast<unsigned>(ymd.month()) - 1];
    out += '-';
    AppendNumber(out, static_cast<int>(ymd.year()), 4);
}

// One line of the bulk, daily or exchange layout.
void AppendMarketLine(std::string& line, const Options& options, const std::string& symbol,
                      chr::sys_days day, chr::sys_days before) {
    gen::Bar bar = gen::MarketBar(symbol, day);
    line += symbol;
    line += ',';
    if (options.layout == Layout::kBulk) {
        line += "D,";
        AppendDate(line, chr::year_month_day{day}, "CCYYMMDD");
        line += ",000000";
    } else if (options.layout == Layout::kDaily) {
        AppendDate(line, chr::year_month_day{day}, options.dateFormat);
    } else {
        line += "EQ";
    }
    for (long long price : {bar.open, bar.high, bar.low, bar.close}) {
        line += ',';
        AppendPrice(line, price);
    }
    line += ',';
    if (options.layout == Layout::kExchange) {
        AppendPrice(line, bar.close);  // LAST
        line += ',';
        AppendPrice(line, gen::MarketBar(symbol, before).close);
        line += ',';
        AppendNumber(line, bar.volume);
        line += ',';
        AppendPrice(line, bar.volume * (bar.low + bar.high) / 2);  // the value traded
        line += ',';
        AppendExchangeDate(line, chr::year_month_day{day});
    } else {
        AppendNumber(line, bar.volume);
        if (options.layout == Layout::kBulk) {
            line += ',';
            AppendNumber(line, bar.openInterest);
        }
    }
    line += '\n';
}

void WriteFolder(const Options& options, const std::vector<chr::sys_days>& days) {
    std::error_code error;
    std::filesystem::create_directories(options.out, error);
    if (error) {
        throw WriteFailure{options.out + ": " + error.message()};
    }
    std::string text;
    for (long long i = 1; i <= options.symbols; ++i) {
        std::string symbol = gen::MarketSymbol(i, options.symbols);
        text.clear();
        AppendHeading(text, options);
        for (chr::sys_days day : days) {
            gen::Bar bar = gen::MarketBar(symbol, day);
            const long long v[7] = {0,         bar.open,   bar.high,        bar.low,
                                    bar.close, bar.volume, bar.openInterest};
            AppendFields(text, options, day, v);
        }
        std::filesystem::path path = std::filesystem::path(options.out) / (symbol + ".csv");
        std::ofstream file(path, std::ios::binary);
        file << text;
        file.close();
        if (!file) {
            throw WriteFailure{path.string() + " could not be written"};
        }
    }
}

void GenerateMarket(const Options& options, std::ostream& os) {
    std::vector<chr::sys_days> days = TradingDays(options);
    if (options.layout == Layout::kFolder) {
        WriteFolder(options, days);
        return;
    }
    constexpr const char* kMarketHeadings[] = {
        "", "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n",
        "Symbol,Date,Open,High,Low,Close,Volume\n",
        "SYMBOL,SERIES,OPEN,HIGH,LOW,CLOSE,LAST,PREVCLOSE,TOTTRDQTY,TOTTRDVAL,TIMESTAMP\n"};
    std::string line = kMarketHeadings[static_cast<int>(options.layout)];
    std::vector<std::string> symbols;
    for (long long i = 1; i <= options.symbols; ++i) {
        symbols.push_back(gen::MarketSymbol(i, options.symbols));
    }
    auto write = [&](const std::string& symbol, chr::sys_days day) {
        chr::sys_days before = day - chr::days{1};
        while (SkipWeekend(before, options) != before) {
            --before;
        }
        AppendMarketLine(line, options, symbol, day, before);
        os << line;
        line.clear();
    };
    if (options.layout == Layout::kBulk) {
        for (const std::string& symbol : symbols) {
            for (chr::sys_days day : days) {
                write(symbol, day);
            }
        }
    } else {
        for (chr::sys_days day : days) {
            for (const std::string& symbol : symbols) {
                write(symbol, day);
            }
        }
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
        if (options.symbols > 0) {
            GenerateMarket(options, std::cout);
        } else {
            Generate(options, std::cout);
        }
    } catch (const BadCommandLine& e) {
        std::cerr << "korvex-gen: " << e.message << "\n(korvex-gen --help shows the options)\n";
        return 2;
    } catch (const WriteFailure& e) {
        std::cerr << "korvex-gen: " << e.message << "\n";
        return 1;
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "korvex-gen: the output could not be written\n";
        return 1;
    }
    return 0;
}
