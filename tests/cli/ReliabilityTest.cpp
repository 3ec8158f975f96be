// What must hold whatever happens to a run: power cuts and failing operations at every step leave a
// directory that `check` finds sound; a second run into a directory waits for the first; inputs
// that are not regular files, and odd bytes in those that are, are handled in bounded time.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <sstream>
#include <thread>
#include <tuple>

#include "engine/ConversionJob.h"
#include "msdb/EMaster.h"
#include "msdb/Transaction.h"
#include "tests/cli/RunCli.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/JobFixture.h"
#include "tests/support/PowerCutFileSystem.h"

namespace testing_support {
namespace {

// The outcomes a run may leave, whatever happened to it: the directory as it was, byte for byte;
// or that and, besides, the new security's unlisted F<n>.DAT and F<n>.DOP (the run was stopped
// between moving them into place and its commit); or complete: `check` finds it sound and it lists
// XYZ with all of the input's records. "" when one of them holds, else what is wrong.
std::string NeitherAsBeforeNorComplete(const std::string& db, const Snapshot& before,
                                       int fileNumber, std::size_t records) {
    Snapshot after = TakeSnapshot(db);
    if (after == before) {
        return "";
    }
    const std::string n = std::to_string(fileNumber);
    Snapshot withoutNewFiles = after;
    withoutNewFiles.erase("F" + n + ".DAT");
    withoutNewFiles.erase("F" + n + ".DOP");
    if (withoutNewFiles == before) {
        return "";
    }
    CliOutcome checked = RunCli({"check", db});
    if (checked.status != 0) {
        return "neither as before nor sound:\n" + checked.out + checked.err;
    }
    if (ReadFileBytes(db + "/F" + n + ".DAT").size() != (records + 1) * 28) {
        return "F" + n + ".DAT does not hold every record";
    }
    if (RunCli({"list", db, "--csv"}).out.find(",XYZ,") == std::string::npos) {
        return "XYZ is not listed";
    }
    return "";
}

class ReliabilityTest : public JobFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override { input_ = DailyLines(2000); }

    // A directory holding securities 1 and 2, or nothing when a new MASTER is to be made.
    void Prepare(const std::string& db) {
        std::filesystem::remove_all(db);
        std::filesystem::create_directories(db);
        if (ExistingMaster()) {
            WriteFileBytes(db + "/MASTER", MasterWith({OtherMasterRecord(1, "ABC", "Abc"),
                                                       OtherMasterRecord(2, "DEF", "Def")}));
            // An EMASTER beside it, which every outcome must keep in step.
            std::string emaster(msdb::kEMasterRecordSize, '\0');
            emaster[0] = 2;
            emaster[2] = 2;
            for (auto [n, symbol, name] :
                 {std::tuple{1, "ABC", "Abc"}, std::tuple{2, "DEF", "Def"}}) {
                emaster += msdb::MakeEMasterRecord(static_cast<std::uint8_t>(n), 5, symbol, name,
                                                   msdb::ToMbf(990101.0f), msdb::ToMbf(991231.0f));
            }
            WriteFileBytes(db + "/EMASTER", emaster);
            for (int n : {1, 2}) {
                WriteFileBytes(db + "/F" + std::to_string(n) + ".DAT", msdb::MakeDatHeader(5));
                WriteFileBytes(db + "/F" + std::to_string(n) + ".DOP",
                               "\"DATE\",0,0\r\n\"HIGH\",4,4\r\n\"LOW\",4,4\r\n\"CLOSE\",4,4\r\n"
                               "\"VOL\",4,4\r\n");
            }
        }
    }

    bool ExistingMaster() const { return GetParam(); }
    int NewFileNumber() const { return ExistingMaster() ? 3 : 1; }

    std::unique_ptr<PendingJob> Job(msdb::FileSystem* fs, const std::string& db) {
        auto job = MakeJob(input_, fs);
        job->settings.directory = db;
        job->settings.master =
            ExistingMaster() ? engine::MasterChoice::kUseExisting : engine::MasterChoice::kMakeNew;
        return job;
    }

    std::string input_;
};

TEST_P(ReliabilityTest, APowerCutAtAnyOperationLeavesTheDirectoryAsItWasOrComplete) {
    const std::string db = dir / "db";
    int operations = 0;
    {
        Prepare(db);
        PowerCutFileSystem counting(msdb::FileSystem::Default(), db);
        ASSERT_EQ(Job(&counting, db)->Run(), 0);
        operations = counting.operations();
    }
    RecordProperty("operations", operations);  // the power-cut points, for the figures
    for (int n = 1; n <= operations; ++n) {
        SCOPED_TRACE("power cut at operation " + std::to_string(n));
        Prepare(db);
        const Snapshot before = TakeSnapshot(db);
        {
            PowerCutFileSystem fs(msdb::FileSystem::Default(), db);
            fs.CutAtOperation(n);
            (void)Job(&fs, db)->Run();  // after its commit a run succeeds, cut or not
            fs.Restore();
        }
        if (FileExists(db + "/KORVEX.JNL")) {
            // Cut between EMASTER and MASTER: check says so, and the next run sets it right.
            EXPECT_EQ(RunCli({"check", db}).status, 1);
            msdb::Status s = msdb::Transaction(msdb::FileSystem::Default(), db).RemoveLeftovers();
            ASSERT_TRUE(s.ok()) << s.message();
        }
        EXPECT_EQ(NeitherAsBeforeNorComplete(db, before, NewFileNumber(), 2000), "");
        if (!ExistingMaster() && !FileExists(db + "/MASTER")) {
            continue;  // nothing to convert into
        }
        // The directory takes the next conversion.
        notifier.messages.clear();
        auto next = Job(nullptr, db);
        next->settings.master = engine::MasterChoice::kUseExisting;
        next->settings.symbol = "NEXT";
        EXPECT_EQ(next->Run(), 0) << ::testing::PrintToString(notifier.messages);
        for (const std::string& name : ListNames(db)) {
            EXPECT_FALSE(name.ends_with(".korvex-tmp")) << name;  // the next run removed them
        }
    }
}

TEST_P(ReliabilityTest, AFailingOperationLeavesTheDirectoryAsItWasOrComplete) {
    const std::string db = dir / "db";
    int operations = 0;
    {
        Prepare(db);
        FaultyFileSystem counting(msdb::FileSystem::Default());
        ASSERT_EQ(Job(&counting, db)->Run(), 0);
        operations = counting.operations();
    }
    RecordProperty("operations", operations);  // the fault points, for the figures
    for (int n = 1; n <= operations; ++n) {
        Prepare(db);
        const Snapshot before = TakeSnapshot(db);
        FaultyFileSystem fs(msdb::FileSystem::Default());
        fs.FailOperation(n);
        notifier.messages.clear();
        int result = Job(&fs, db)->Run();
        SCOPED_TRACE("failing " + fs.log()[static_cast<std::size_t>(n - 1)]);
        if (result != 0) {
            // A failed run changes nothing at all, and says why.
            EXPECT_EQ(TakeSnapshot(db), before);
            ASSERT_FALSE(notifier.messages.empty());
        } else {
            if (FileExists(db + "/KORVEX.JNL")) {
                // What could not be cleared after the commit, the next run clears.
                EXPECT_EQ(RunCli({"check", db}).status, 1);
                msdb::Status s =
                    msdb::Transaction(msdb::FileSystem::Default(), db).RemoveLeftovers();
                ASSERT_TRUE(s.ok()) << s.message();
            }
            EXPECT_EQ(NeitherAsBeforeNorComplete(db, before, NewFileNumber(), 2000), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(NewAndExistingMaster, ReliabilityTest, ::testing::Bool());

TEST_F(JobFixture, ASecondRunWaitsForTheFirstAndThenRefuses) {
    WriteFileBytes(dir / "MASTER", MasterWith({}));
    std::unique_ptr<msdb::DirectoryLock> held;
    ASSERT_TRUE(msdb::FileSystem::Default().LockDirectory(dir.path(), &held).ok());
    auto refused = MakeJob("083099,1,2,3,4,5,6\n");
    refused->settings.master = engine::MasterChoice::kUseExisting;
    refused->services.lockWait = std::chrono::milliseconds(300);
    EXPECT_EQ(refused->Run(), 1);
    EXPECT_EQ(notifier.messages, std::vector<std::string>{
                                     "Another conversion is changing the directory " + dir.path() +
                                     ".\nNothing was changed; try again when it has finished."});
    EXPECT_EQ(ReadFileBytes(dir / "MASTER"), MasterWith({}));

    // Released while the second run waits: it goes ahead.
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        held.reset();
    });
    auto waits = MakeJob("083099,1,2,3,4,5,6\n");
    waits->settings.master = engine::MasterChoice::kUseExisting;
    EXPECT_EQ(waits->Run(), 0);
    release.join();
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER", "MASTER.BAK", "input.txt"}));
}

TEST_F(JobFixture, InputsThatAreNotRegularFilesAreRefusedBeforeAnythingChanges) {
    std::filesystem::create_directory(dir / "folder");
#ifdef _WIN32
    // The null device; Windows has no FIFOs in the file system.
    const std::vector<std::string> inputs = {dir / "folder", "NUL"};
#else
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::vector<std::string> inputs = {dir / "folder", "/dev/zero", dir / "fifo"};
#endif
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        notifier.messages.clear();
        TempDir out;
        auto job = MakeJob("");
        job->settings.inputPath = input;
        job->settings.directory = out.path();
        EXPECT_EQ(job->Run(), 1);
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_NE(notifier.messages[0].find(input), std::string::npos);
        EXPECT_TRUE(ListNames(out.path()).empty());
    }
}

// Each of these inputs ends its run in bounded time: with the records the rules give, or with a
// message and the directory unchanged.
TEST_F(JobFixture, OddBytesAreHandledByTheRulesInBoundedTime) {
    struct Case {
        std::string name;
        std::string bytes;
        int records;  // -1: none, the run fails
    };
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary += static_cast<char>((i * 7919) & 0xFF);
    }
    const Case cases[] = {
        // A NUL byte: not a text file.
        {"NUL bytes",
         std::string("083099,1,2,3,4,5,6\n08\0"
                     "3199,1\n",
                     27),
         -1},
        {"binary data", binary, -1},
        {"a 100 MB line with no line feed", std::string(100 << 20, '7'), -1},
        {"a million empty lines", std::string(1000000, '\n'), -1},
        {"invalid UTF-8", "083099,\xff\xfe,\xc3\x28,1,2,3,4\n", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        notifier.messages.clear();
        auto job = MakeJob(c.bytes);
        job->settings.directory = out.path();
        const int result = job->Run();
        if (c.records < 0) {
            EXPECT_EQ(result, 1);
            EXPECT_FALSE(notifier.messages.empty());
            EXPECT_EQ(ListNames(out.path()), std::vector<std::string>{});
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(ReadFileBytes(out / "F1.DAT").size(),
                      (static_cast<std::size_t>(c.records) + 1) * 28);
            EXPECT_EQ(RunCli({"check", out.path()}).status, 0);
        }
    }
}

}  // namespace
}  // namespace testing_support
