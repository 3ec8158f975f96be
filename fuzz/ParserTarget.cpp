// fuzz_parser: a whole conversion of an arbitrary price file under arbitrary settings, then
// korvex-cli check (and export, after a successful run) over the directory it wrote.
//
// The input is eleven bytes of settings followed by the price file:
//   byte 0      bits 0-1 the delimiter (0 comma, 1 tab, 2 space, 3 semicolon), bit 2 use an
//               existing MASTER that already lists one security (else make a new one), bit 3 skip
//               on, bit 4 accept problems, bit 5 a dry run (which must leave the directory as it
//               was), bit 6 decimal comma (refused with the comma delimiter)
//   byte 1      the date format, modulo the count of formats + 2: 1 to the count, and 0 and the
//               count + 1 that the job must refuse
//   byte 2      the rows to skip, modulo 201
//   byte 3      bits 0-4: open, high, low, volume and open interest on (date and close always are)
//   bytes 4-10  the column (modulo 20, counted from 0) of date, open, high, low, close, volume, oi
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConversionJob.h"
#include "fuzz/FuzzSupport.h"
#include "msdb/Encoding.h"
#include "msdb/Master.h"
#include "msdb/SecurityFiles.h"

namespace {

constexpr const char* kSymbol = "FUZZ";
constexpr const char* kName = "Fuzzed prices";
constexpr char kDelimiters[4] = {',', '\t', ' ', ';'};

// A sound directory that lists the security OLD as F1, with one price record.
void WriteExistingDirectory(const std::string& directory) {
    msdb::MbfBytes day = msdb::DayNumberToMbfDate(msdb::YmdToDayNumber(2026, 12, 4));
    std::string master = msdb::MakeEmptyMaster();
    msdb::WriteMasterHeaderCounts(&master, msdb::MasterHeader{1, 1});
    msdb::MasterRecord record =
        msdb::MakeMasterRecord(1, 7, "Old prices", "OLD", day, day, msdb::Period::kDaily);
    master.append(reinterpret_cast<const char*>(record.data()), record.size());

    std::string dat = msdb::MakeDatHeader(7);
    msdb::WriteLastRecordNumber(&dat, 2);
    dat.append(reinterpret_cast<const char*>(day.data()), day.size());
    for (float value : {10.0f, 11.5f, 9.25f, 10.75f, 1200.0f, 30.0f}) {
        msdb::MbfBytes mbf = msdb::ToMbf(value);
        dat.append(reinterpret_cast<const char*>(mbf.data()), mbf.size());
    }
    fuzz::WriteFile(directory + "/MASTER", master);
    fuzz::WriteFile(directory + "/F1.DAT", dat);
    fuzz::WriteFile(directory + "/F1.DOP",
                    msdb::MakeDopText({{true, true, true, true, true, true, true}}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteReader input(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::uint8_t flags = input.Byte();
    const int dateFormat = input.Byte() % (msdb::kDateFormatCount + 2);
    const int skipRows = input.Byte() % (engine::limits::kMaxSkipRows + 1);
    const std::uint8_t fieldsOn = input.Byte();
    std::array<int, msdb::kPriceFieldCount> columns{};
    for (int& column : columns) {
        column = engine::limits::kFirstColumn + input.Byte() % engine::limits::kLastColumn;
    }
    const bool useExisting = (flags & 4) != 0;

    fuzz::ScratchDir scratch;
    const std::string directory = scratch / "db";
    const std::string inputPath = scratch / "prices.txt";
    fuzz::WriteFile(inputPath, input.Rest());
    if (!std::filesystem::create_directory(directory)) {
        fuzz::Fail("cannot create " + directory);
    }
    if (useExisting) {
        WriteExistingDirectory(directory);
    }

    fuzz::JobSeams seams;
    const bool dryRun = (flags & 32) != 0;
    const std::vector<std::string> before = fuzz::ListNames(directory);

    int result = 0;
    {
        engine::ConversionSettings settings;
        settings.inputPath = inputPath;
        settings.directory = directory;
        settings.symbol = kSymbol;
        settings.name = kName;
        settings.master =
            useExisting ? engine::MasterChoice::kUseExisting : engine::MasterChoice::kMakeNew;
        settings.delimiter = kDelimiters[flags & 3];
        settings.dateFormat = static_cast<engine::DateFormat>(dateFormat);
        settings.skipOn = (flags & 8) != 0;
        settings.skipRows = skipRows;
        settings.acceptProblems = (flags & 16) != 0;
        settings.decimalComma = (flags & 64) != 0;
        settings.dryRun = dryRun;
        const std::array<bool, msdb::kPriceFieldCount> on = {
            true, (fieldsOn & 1) != 0, (fieldsOn & 2) != 0, (fieldsOn & 4) != 0,
            true, (fieldsOn & 8) != 0, (fieldsOn & 16) != 0};
        for (std::size_t i = 0; i < msdb::kPriceFieldCount; ++i) {
            settings.fields.values[i] = {on[i], columns[i]};
        }
        engine::JobServices services = seams.Services();
        services.lockWait = std::chrono::milliseconds(0);  // no other conversion shares it
        engine::ConversionJob job(settings, services);
        result = job.Run();
    }
    if (result != 0 && seams.notifier.messages.empty()) {
        fuzz::Fail("the conversion failed without telling why");
    }
    if ((dryRun || result != 0) && fuzz::ListNames(directory) != before) {
        fuzz::Fail("a dry run, or a run that failed, changed the directory");
    }
    if (dryRun) {
        return 0;
    }

    const int checked = fuzz::RunCli({"check", directory});
    if (result == 0) {
        // Accepted problems or not, a conversion stores only what check accepts.
        if (checked != 0) {
            fuzz::Fail("check does not call the directory of a successful conversion sound");
        }
        if (fuzz::RunCli({"export", directory, kSymbol}) != 0) {
            fuzz::Fail("the security of a successful conversion cannot be exported");
        }
    }
    return 0;
}
