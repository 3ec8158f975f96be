// korvex-gen's command line: what to write and how.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace gen {

// The columns of the one-security file, by which the walk's figures are kept.
enum Field { kDate, kOpen, kHigh, kLow, kClose, kVolume, kOpenInt };
inline constexpr const char* kHeadings[] = {"Date",  "Open",   "High",   "Low",
                                            "Close", "Volume", "OpenInt"};

// How --symbols writes its securities (see the text of --help).
enum class Layout { kFolder, kBulk, kDaily, kExchange };

struct Options {
    long long days = 300;
    std::chrono::year_month_day start{std::chrono::year{2025}, std::chrono::January,
                                      std::chrono::day{2}};
    std::uint64_t seed = 1;
    char delimiter = ',';
    std::string dateFormat = "MM_DD_CCYY";
    bool everyDay = false;  // weekends are trading days too
    bool heading = false;
    std::vector<Field> fields{kDate, kOpen, kHigh, kLow, kClose, kVolume, kOpenInt};
    long long symbols = 0;  // 0: one random walk
    Layout layout = Layout::kBulk;
    std::string out;
    long long skipDays = 0;
};

// A command line that cannot be followed (exit status 2), and output that cannot be written (1).
struct BadCommandLine {
    std::string message;
};

struct WriteFailure {
    std::string message;
};

// The text of --help.
extern const char* const kUsage;

// The options of the command line; throws BadCommandLine. --help sets `help`.
Options ParseCommandLine(int argc, char** argv, bool* help);

}  // namespace gen
