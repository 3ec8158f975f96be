// Micro benchmarks of reading the input text: splitting a line into fields, reading a number from
// a field (ReadLeadingFloat beside plain strtof and std::from_chars), and the whole parsing work of
// one price line without the file reads and writes.
#include <benchmark/benchmark.h>

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/InputParser.h"
#include "engine/NumberText.h"
#include "engine/TextInput.h"
#include "msdb/Encoding.h"
#include "msdb/MemoryFile.h"

namespace {

constexpr std::size_t kSamples = 256;  // a power of two: the loops pick sample i & (kSamples - 1)
constexpr std::size_t kMask = kSamples - 1;

std::string Decimal(long long cents) {
    std::string text = std::to_string(cents / 100) + '.';
    text += static_cast<char>('0' + cents % 100 / 10);
    text += static_cast<char>('0' + cents % 10);
    return text;
}

// The seven fields of price lines like korvex-gen's: CCYYMMDD date, four prices with two decimals
// around 100, volume and open interest.
std::vector<std::array<std::string, 7>> SampleRecords() {
    std::mt19937 random(3);
    std::uniform_int_distribution<long long> cents(9000, 11000);
    std::uniform_int_distribution<long long> volume(100000, 2000000);
    std::uniform_int_distribution<long long> openInterest(40000, 60000);
    std::vector<std::array<std::string, 7>> records(kSamples);
    int day = 0;
    for (auto& record : records) {
        // Days that exist: 28 of each month of 1999, then of 2000.
        record[0] = std::to_string(19990101 + day / 336 * 10000 + day / 28 % 12 * 100 + day % 28);
        ++day;
        for (std::size_t i = 1; i <= 4; ++i) {
            record[i] = Decimal(cents(random));
        }
        record[5] = std::to_string(volume(random));
        record[6] = std::to_string(openInterest(random));
    }
    return records;
}

// The sample records as lines with `delimiter` between the fields; with `width`, every field is
// padded in front to that width (columns aligned with runs of the delimiter).
std::vector<std::string> SampleLines(char delimiter, std::size_t width = 0) {
    std::vector<std::string> lines;
    for (const auto& record : SampleRecords()) {
        std::string line;
        for (const std::string& field : record) {
            if (!line.empty()) {
                line += delimiter;
            }
            line.append(width > field.size() ? width - field.size() : 0, delimiter);
            line += field;
        }
        lines.push_back(line);  // as the line reader hands it over, without its end
    }
    return lines;
}

// The number fields of the sample records: prices, volumes and open interest.
std::vector<std::string> SampleNumbers() {
    std::vector<std::string> numbers;
    for (const auto& record : SampleRecords()) {
        numbers.insert(numbers.end(), record.begin() + 1, record.end());
    }
    numbers.resize(kSamples);
    return numbers;
}

// Argument: 0 comma, 1 tab, 2 spaces with the columns padded to 12 characters.
void BM_SplitFields(benchmark::State& state) {
    const char delimiter = state.range(0) == 0 ? ',' : state.range(0) == 1 ? '\t' : ' ';
    const std::vector<std::string> lines = SampleLines(delimiter, state.range(0) == 2 ? 12 : 0);
    engine::FieldViews fields;
    std::size_t i = 0;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        std::string_view text = lines[i++ & kMask];
        benchmark::DoNotOptimize(engine::SplitFields(text, delimiter, &fields));
        bytes += static_cast<std::int64_t>(text.size());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    state.SetBytesProcessed(bytes);
    state.SetLabel(state.range(0) == 0 ? "comma" : state.range(0) == 1 ? "tab" : "padded spaces");
}
BENCHMARK(BM_SplitFields)->Arg(0)->Arg(1)->Arg(2);

void BM_ReadLeadingFloat(benchmark::State& state) {
    const std::vector<std::string> numbers = SampleNumbers();
    float value = 0.0f;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine::ReadLeadingFloat(numbers[i++ & kMask], &value));
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ReadLeadingFloat);

// Plain strtof in the process's locale ("C": nothing here calls setlocale), for comparison.
void BM_Strtof(benchmark::State& state) {
    const std::vector<std::string> numbers = SampleNumbers();
    char* end = nullptr;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::strtof(numbers[i++ & kMask].c_str(), &end));
        benchmark::DoNotOptimize(end);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_Strtof);

// std::from_chars, which never looks at the locale, for comparison.
void BM_FromChars(benchmark::State& state) {
    const std::vector<std::string> numbers = SampleNumbers();
    float value = 0.0f;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& text = numbers[i++ & kMask];
        benchmark::DoNotOptimize(std::from_chars(text.data(), text.data() + text.size(), value));
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_FromChars);

// The parsing work of one comma-separated price line with all seven fields, as a conversion does
// it for every line: split into views, the CCYYMMDD date into its stored form, six numbers read
// whole into MBF singles, the 28 bytes of the record appended to a buffer. No file is read or
// written.
void BM_PriceLineToRecord(benchmark::State& state) {
    const std::vector<std::string> lines = SampleLines(',');
    constexpr msdb::DateFormat kCcyymmdd = msdb::DateFormat::CCYYMMDD;
    engine::FieldViews fields;
    std::string pending;
    std::size_t i = 0;
    for (auto _ : state) {
        engine::SplitFields(lines[i++ & kMask], ',', &fields);
        const msdb::DateGroups groups = msdb::ReadDateGroups(fields.text[0], kCcyymmdd);
        msdb::MbfBytes date =
            msdb::YmdToMbfDate(msdb::YearFrom1900(groups.year), groups.month, groups.day);
        pending.append(reinterpret_cast<const char*>(date.data()), date.size());
        for (std::size_t field = 1; field < 7; ++field) {
            float value = 0.0f;
            (void)engine::ReadNumberText(fields.text[field], {}, &value);
            msdb::MbfBytes mbf = msdb::ToMbf(value);
            pending.append(reinterpret_cast<const char*>(mbf.data()), mbf.size());
        }
        if (pending.size() >= 64 * 1024) {
            benchmark::DoNotOptimize(pending.data());
            pending.clear();
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PriceLineToRecord);

// What the input parser does for a line of a comma-separated file with all seven fields: the
// line found in the read buffer, split, and read into a record, with all its checks. The file is
// in memory; every round reads it anew.
void BM_InputParserLine(benchmark::State& state) {
    std::string text;
    for (int round = 0; round < 16; ++round) {
        for (const std::string& line : SampleLines(',')) {
            text += line + '\n';
        }
    }
    engine::ConversionSettings settings;
    settings.dateFormat = msdb::DateFormat::CCYYMMDD;
    std::int64_t lines = 0;
    for (auto _ : state) {
        engine::InputParser parser(settings, std::make_unique<msdb::MemoryFile>(text));
        for (bool got = true; got;) {
            if (!parser.NextLine(&got).ok()) {
                state.SkipWithError("the text could not be read");
                return;
            }
            if (got) {
                benchmark::DoNotOptimize(parser.ReadRecord());
                ++lines;
            }
        }
    }
    state.SetItemsProcessed(lines);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_InputParserLine);

}  // namespace
