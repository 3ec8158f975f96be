// Micro benchmarks of the encodings that every price record goes through: a float into the four
// bytes of an MBF single and back, and a date text into its day number and its stored MBF date.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "msdb/Encoding.h"

namespace {

namespace chr = std::chrono;

constexpr std::size_t kSamples = 1024;  // a power of two: the loops pick sample i & (kSamples - 1)
constexpr std::size_t kMask = kSamples - 1;

// Prices as price files write them: two decimals, from 0.01 to 5000.00.
std::vector<float> SamplePrices() {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> cents(1, 500000);
    std::vector<float> values(kSamples);
    for (float& value : values) {
        value = static_cast<float>(cents(random)) / 100.0f;
    }
    return values;
}

// Whole numbers such as volumes and open interest, up to ten million.
std::vector<float> SampleVolumes() {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> volume(1, 10'000'000);
    std::vector<float> values(kSamples);
    for (float& value : values) {
        value = static_cast<float>(volume(random));
    }
    return values;
}

void AppendTwoDigits(std::string& out, unsigned value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// The date as date format `code` (1 to 12) writes it, '/' between the groups of formats 1 to 6.
std::string DateText(const chr::year_month_day& ymd, int code) {
    std::string_view format = msdb::kDateFormatNames[static_cast<std::size_t>(code - 1)];
    auto year = static_cast<unsigned>(static_cast<int>(ymd.year()));
    std::string text;
    for (std::size_t i = 0; i < format.size();) {
        if (format.substr(i, 4) == "CCYY") {
            AppendTwoDigits(text, year / 100);
            AppendTwoDigits(text, year % 100);
            i += 4;
        } else if (format[i] == '_') {
            text += '/';
            i += 1;
        } else {
            AppendTwoDigits(text, format[i] == 'Y'   ? year % 100
                                  : format[i] == 'M' ? static_cast<unsigned>(ymd.month())
                                                     : static_cast<unsigned>(ymd.day()));
            i += 2;
        }
    }
    return text;
}

// Dates spread over 1961 to 2099, written in date format `code`.
std::vector<std::string> SampleDates(int code) {
    std::vector<std::string> texts;
    chr::sys_days day{chr::year{1961} / chr::January / 2};
    for (std::size_t i = 0; i < kSamples; ++i, day += chr::days{49}) {
        texts.push_back(DateText(chr::year_month_day{day}, code));
    }
    return texts;
}

void BM_IeeeToMbf_Prices(benchmark::State& state) {
    const std::vector<float> values = SamplePrices();
    msdb::MbfBytes out{};
    std::size_t i = 0;
    for (auto _ : state) {
        msdb::IeeeToMbf(values[i++ & kMask], &out);
        benchmark::DoNotOptimize(out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_IeeeToMbf_Prices);

void BM_ToMbf_Volumes(benchmark::State& state) {
    const std::vector<float> values = SampleVolumes();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(msdb::ToMbf(values[i++ & kMask]));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ToMbf_Volumes);

void BM_FromMbf_Prices(benchmark::State& state) {
    std::vector<msdb::MbfBytes> values;
    for (float price : SamplePrices()) {
        values.push_back(msdb::ToMbf(price));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(msdb::FromMbf(values[i++ & kMask]));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_FromMbf_Prices);

// Argument: the date format code.
void BM_DateTextToDayNumber(benchmark::State& state) {
    const int code = static_cast<int>(state.range(0));
    const std::vector<std::string> texts = SampleDates(code);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            msdb::DateTextToDayNumber(texts[i++ & kMask], static_cast<msdb::DateFormat>(code)));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetLabel(std::string(msdb::kDateFormatNames[static_cast<std::size_t>(code - 1)]));
}
BENCHMARK(BM_DateTextToDayNumber)->Arg(8)->Arg(7)->Arg(4)->Arg(5)->Arg(2);

void BM_DayNumberToMbfDate(benchmark::State& state) {
    msdb::DayNumber day = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(msdb::DayNumberToMbfDate(day));
        day = static_cast<msdb::DayNumber>(day % msdb::kLastDay2099 + 1);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_DayNumberToMbfDate);

// The whole way of a date field into a price record. Argument: the date format code.
void BM_DateTextToMbfDate(benchmark::State& state) {
    const int code = static_cast<int>(state.range(0));
    const std::vector<std::string> texts = SampleDates(code);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(msdb::DayNumberToMbfDate(
            msdb::DateTextToDayNumber(texts[i++ & kMask], static_cast<msdb::DateFormat>(code))));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetLabel(std::string(msdb::kDateFormatNames[static_cast<std::size_t>(code - 1)]));
}
BENCHMARK(BM_DateTextToMbfDate)->Arg(8)->Arg(4);

}  // namespace
