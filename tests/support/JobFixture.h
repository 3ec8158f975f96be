// A conversion job over a fresh temporary directory, with recorded messages, an in-memory store
// and a fixed day (7 December 2026).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/ConversionJob.h"
#include "msdb/SecurityFiles.h"
#include "tests/support/TestSupport.h"

namespace testing_support {

// The stored form of 7 December 2026, the fixed clock's day: 1261207.
inline const char* kTodayHex = "B8 F4 19 95";

// A conversion waiting to run: its settings and services can still be changed; Run makes the job
// and runs it, and the job stays for its results.
class PendingJob {
public:
    PendingJob(engine::ConversionSettings initial, engine::JobServices jobServices)
        : settings(std::move(initial)), services(jobServices) {}

    int Run() {
        job = std::make_unique<engine::ConversionJob>(settings, services);
        return job->Run();
    }

    int FileNumber() const { return job->FileNumber(); }
    const std::string& directory() const { return job->directory(); }
    const std::string& masterPath() const { return job->masterPath(); }

    engine::ConversionSettings settings;
    engine::JobServices services;
    std::unique_ptr<engine::ConversionJob> job;
};

class JobFixture : public ::testing::Test {
protected:
    // A job whose input is `input.txt` in the directory, holding `text`; all seven fields in
    // columns 1 to 7, comma, MMDDYY, a new MASTER.
    std::unique_ptr<PendingJob> MakeJob(const std::string& text, msdb::FileSystem* fs = nullptr) {
        WriteFileBytes(dir / "input.txt", text);
        engine::JobServices services;
        services.fileSystem = fs;
        services.notifier = &notifier;
        services.clock = &clock;
        engine::ConversionSettings settings;
        settings.inputPath = dir / "input.txt";
        settings.master = engine::MasterChoice::kMakeNew;
        settings.directory = dir.path();
        settings.symbol = "XYZ";
        settings.name = "XYZ Corp";
        settings.delimiter = ',';
        settings.dateFormat = engine::DateFormat::MMDDYY;
        return std::make_unique<PendingJob>(std::move(settings), services);
    }

    // Switches on only the fields listed, in columns 1, 2, 3 ... in canonical order.
    static void OnlyFields(PendingJob* job, std::initializer_list<engine::PriceField> fields) {
        for (engine::PriceField field : msdb::kPriceFields) {
            job->settings.fields[field] = {false, 1};
        }
        int column = 1;
        for (engine::PriceField field : fields) {
            job->settings.fields[field] = {true, column++};
        }
    }

    std::string Master() const { return ReadFileBytes(dir / "MASTER"); }
    std::string Dat(int n = 1) const {
        return ReadFileBytes(dir / ("F" + std::to_string(n) + ".DAT"));
    }
    std::string Dop(int n = 1) const {
        return ReadFileBytes(dir / ("F" + std::to_string(n) + ".DOP"));
    }
    // Record i (0 is the header) of MASTER.
    std::string MasterRecordAt(int i) const { return Master().substr(53 * i, 53); }

    TempDir dir;
    RecordingNotifier notifier;
    FixedClock clock;
};

// `count` lines of prices, MMDDYY dates one day apart from 2 January 1961, each followed by
// `values` (",1,2,3,4,5,6" by default).
std::string DailyLines(int count, const std::string& values = ",1,2,3,4,5,6");

// A MASTER record as another program might have written it: file number, symbol and name.
std::string OtherMasterRecord(int fileNumber, const std::string& symbol, const std::string& name);
// A sub-directory entry of a MASTER naming `directory`.
std::string DirectoryEntry(int fileNumber, const std::string& directory);
// A MASTER header counting `records` (and as many additions) followed by `records`.
std::string MasterWith(const std::vector<std::string>& records);

}  // namespace testing_support
