// Failing file operations: whatever single operation of a run fails, and when the disk fills up,
// the directory is left either as it was or sound, and the user is told what went wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "msdb/Master.h"
#include "msdb/SecurityFiles.h"
#include "msdb/Transaction.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/JobFixture.h"

namespace testing_support {
namespace {

// Why the directory is not sound, or "" when it is: MASTER present and readable, every security it
// lists with its F<n>.DAT and F<n>.DOP, every DAT header counting exactly the records that its file
// holds, and no temporary left behind.
std::string Unsound(const std::string& directory) {
    std::string master = ReadFileBytes(directory + "/MASTER");
    if (master.size() < 53 || master.size() % 53 != 0) {
        return "MASTER is missing or cut";
    }
    int count = msdb::ReadMasterHeader(master).recordCount;
    if (count != static_cast<int>(master.size() / 53) - 1) {
        return "MASTER counts " + std::to_string(count) + " records";
    }
    for (int i = 1; i <= count; ++i) {
        const auto* record = reinterpret_cast<const std::uint8_t*>(master.data() + 53 * i);
        if (msdb::IsSubdirectoryEntry(msdb::RecordBytes(record, msdb::kMasterRecordSize))) {
            continue;
        }
        std::string dat = ReadFileBytes(directory + "/" + msdb::DatFileName(record[0]));
        std::size_t length = record[msdb::kRecordLengthOffset];
        if (!FileExists(directory + "/" + msdb::DopFileName(record[0]))) {
            return "no DOP for file " + std::to_string(record[0]);
        }
        if (dat.size() < length || dat.size() % length != 0 ||
            msdb::ReadLastRecordNumber(dat) != dat.size() / length) {
            return "the header of F" + std::to_string(record[0]) + ".DAT does not count its " +
                   std::to_string(dat.size()) + " bytes";
        }
    }
    for (const std::string& name : ListNames(directory)) {
        if (name.ends_with(".korvex-tmp")) {
            return "temporary " + name + " left behind";
        }
    }
    return "";
}

class FaultTest : public JobFixture {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir / "db");
        WriteFileBytes(dir / "db/MASTER", MasterWith({OtherMasterRecord(1, "ABC", "Abc Corp"),
                                                      OtherMasterRecord(3, "DEF", "Def Corp")}));
        WriteFileBytes(dir / "db/F1.DAT", msdb::MakeDatHeader(5));
        WriteFileBytes(dir / "db/F1.DOP", "x");
        WriteFileBytes(dir / "db/F3.DAT", msdb::MakeDatHeader(5));
        WriteFileBytes(dir / "db/F3.DOP", "x");
        input_ = DailyLines(3000);  // enough records to need several writes
    }

    std::unique_ptr<PendingJob> Job(msdb::FileSystem* fs) {
        auto job = MakeJob(input_, fs);
        job->settings.directory = dir / "db";
        job->settings.master = engine::MasterChoice::kUseExisting;
        return job;
    }

    std::string input_;
};

TEST_F(FaultTest, EveryFailingOperationLeavesTheDirectoryAsItWasOrComplete) {
    Snapshot before = TakeSnapshot(dir / "db");
    int operations = 0;
    {
        FaultyFileSystem counting(msdb::FileSystem::Default());
        ASSERT_EQ(Job(&counting)->Run(), 0) << ::testing::PrintToString(notifier.messages);
        operations = counting.operations();
    }
    ASSERT_GT(operations, 20);
    RecordProperty("operations", operations);  // the fault points, for the figures
    int failedRuns = 0;
    for (int n = 1; n <= operations; ++n) {
        SCOPED_TRACE("failing operation " + std::to_string(n));
        std::filesystem::remove_all(dir / "db");
        std::filesystem::create_directory(dir / "db");
        for (const auto& [name, bytes] : before) {
            WriteFileBytes(dir / "db" + "/" + name, bytes);
        }
        notifier.messages.clear();
        FaultyFileSystem faulty(msdb::FileSystem::Default());
        faulty.FailOperation(n);
        int result = Job(&faulty)->Run();
        ASSERT_TRUE(faulty.failed());
        std::string what = faulty.log()[static_cast<std::size_t>(n - 1)];
        SCOPED_TRACE(what);
        // As before, byte for byte, or complete once what failed after the commit is finished.
        if (result != 0) {
            EXPECT_EQ(TakeSnapshot(dir / "db"), before);
        } else {
            msdb::Recovery recovery;
            ASSERT_TRUE(
                msdb::Transaction(msdb::FileSystem::Default(), dir / "db").Recover(&recovery).ok());
            EXPECT_EQ(Unsound(dir / "db"), "");
            EXPECT_EQ(ReadFileBytes(dir / "db/F2.DAT").size(), 3001u * 28);
            EXPECT_EQ(ReadFileBytes(dir / "db/MASTER.BAK"), before.at("MASTER"));
        }
        if (result != 0) {
            ++failedRuns;
            ASSERT_FALSE(notifier.messages.empty());
            // The directory checks keep their own words; every other message gives the reason.
            const std::string& message = notifier.messages.back();
            if (message != "Path does not exist" &&
                message != "Path specified does not point to a Master file") {
                EXPECT_NE(message.find("Input/output error"), std::string::npos) << message;
            }
        }
    }
    EXPECT_GT(failedRuns, operations / 2);
}

TEST_F(FaultTest, AFullDiskNeverLeavesAHeaderCountingMissingRecords) {
    for (std::uint64_t space : {0u, 10u, 60u, 200u, 4000u, 70000u, 120000u}) {
        SCOPED_TRACE("disk space " + std::to_string(space));
        TempDir other;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "db")) {
            std::filesystem::copy_file(entry.path(), other / entry.path().filename().string());
        }
        notifier.messages.clear();
        FaultyFileSystem faulty(msdb::FileSystem::Default());
        faulty.FailWritesAfter(space);
        auto job = Job(&faulty);
        job->settings.directory = other.path();
        const Snapshot before = TakeSnapshot(other.path());
        int result = job->Run();
        EXPECT_EQ(Unsound(other.path()), "");
        if (result != 0) {
            EXPECT_EQ(TakeSnapshot(other.path()), before);
            ASSERT_FALSE(notifier.messages.empty());
            EXPECT_NE(notifier.messages.back().find("No space left on device"), std::string::npos)
                << notifier.messages.back();
        }
    }
}

// Files that no journal lists are left as they are: other programs' temporaries, and files that
// only look like Korvex's.
TEST_F(FaultTest, OtherSecuritiesKeepEveryByteAndOtherFilesStay) {
    WriteFileBytes(dir / "db/MASTER.NEW", "left over");
    WriteFileBytes(dir / "db/F2.NEW", "left over");
    WriteFileBytes(dir / "db/MASTER.korvex-tmp", "killed");
    WriteFileBytes(dir / "db/F2.DAT.korvex-tmp", "killed");
    std::string before = ReadFileBytes(dir / "db/MASTER");
    FaultyFileSystem fs(msdb::FileSystem::Default());
    ASSERT_EQ(Job(&fs)->Run(), 0);
    std::string after = ReadFileBytes(dir / "db/MASTER");
    ASSERT_EQ(after.size(), 4u * 53);
    EXPECT_EQ(ToHex(after.substr(0, 4)), "03 00 03 00");
    EXPECT_EQ(after.substr(4, 49 + 106), before.substr(4));
    EXPECT_EQ(ListNames(dir / "db"),
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "F2.DAT", "F2.DAT.korvex-tmp", "F2.DOP",
                                        "F2.NEW", "F3.DAT", "F3.DOP", "MASTER", "MASTER.BAK",
                                        "MASTER.NEW", "MASTER.korvex-tmp"}));
    EXPECT_EQ(ReadFileBytes(dir / "db/F2.NEW"), "left over");
    EXPECT_EQ(ReadFileBytes(dir / "db/MASTER.korvex-tmp"), "killed");
    EXPECT_EQ(ReadFileBytes(dir / "db/MASTER.BAK"), before);
    std::string dat = ReadFileBytes(dir / "db/F2.DAT");
    EXPECT_EQ(dat.size(), 3001u * 28);
    EXPECT_EQ(ToHex(dat.substr(0, 4)), "00 00 B9 0B");
    // MASTER is only ever renamed over, never removed.
    for (const std::string& op : fs.log()) {
        EXPECT_NE(op, "remove " + (dir / "db/MASTER"));
    }
}

}  // namespace
}  // namespace testing_support
