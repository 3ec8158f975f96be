// A conversion job over a fresh temporary directory, with recorded messages, an in-memory store
// and a fixed day (7 December 2026).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/ConversionJob.h"
#include "tests/support/TestSupport.h"

namespace testing_support {

// The stored form of 7 December 2026, the fixed clock's day: 1261207.
inline const char* kTodayHex = "B8 F4 19 95";

class JobFixture : public ::testing::Test {
protected:
    // A job whose input is `input.txt` in the directory, holding `text`; all seven fields in
    // columns 1 to 7, comma, MMDDYY, a new MASTER.
    std::unique_ptr<engine::CConversionJob> MakeJob(const std::string& text,
                                                    msdb::FileSystem* fs = nullptr) {
        WriteFileBytes(dir / "input.txt", text);
        engine::JobServices services;
        services.fileSystem = fs;
        services.notifier = &notifier;
        services.store = &store;
        services.clock = &clock;
        auto job = std::make_unique<engine::CConversionJob>(services);
        job->m_strInputPath = dir / "input.txt";
        job->m_bUseExistingMaster = 0;
        job->m_szDirectory = dir.path();
        job->m_szSymbol = "XYZ";
        job->m_szName = "XYZ Corp";
        job->m_szDelimiter = ",";
        job->m_nDateFormat = 9;
        return job;
    }

    // Switches on only the fields listed, in columns 1, 2, 3 ... in canonical order.
    static void OnlyFields(engine::CConversionJob* job, std::initializer_list<int> fields) {
        job->m_bFieldOn.fill(0);
        int column = 0;
        for (int field : fields) {
            job->m_bFieldOn[field] = 1;
            job->m_nFieldCol[field] = column++;
        }
    }

    // The value of an entry of the section "Setting", or "<absent>".
    std::string Stored(const char* entry) { return store.ReadString("Setting", entry, "<absent>"); }

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
    MemorySettingsStore store;
    FixedClock clock;
};

// A MASTER record as another program might have written it: file number, symbol and name.
std::string OtherMasterRecord(int fileNumber, const std::string& symbol, const std::string& name);
// A sub-directory entry of a MASTER naming `directory`.
std::string DirectoryEntry(int fileNumber, const std::string& directory);
// A MASTER header counting `records` (and as many additions) followed by `records`.
std::string MasterWith(const std::vector<std::string>& records);

}  // namespace testing_support
