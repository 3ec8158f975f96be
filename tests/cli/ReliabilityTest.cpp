// What must hold whatever happens to a run: power cuts and failing operations at every step leave a
// directory that `check` finds sound; a second run into a directory waits for the first; inputs
// that are not regular files, and odd bytes in those that are, are handled in bounded time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "engine/ConversionJob.h"
#include "tests/cli/RunCli.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/JobFixture.h"
#include "tests/support/PowerCutFileSystem.h"

namespace testing_support {
namespace {

// The problems `check` reports for `directory` that are not allowed after an interrupted run: all
// but temporaries left behind, counts of the security that was being added (file number
// `fileNumber`, `symbol`), and what the data itself holds (dates out of order or not dates at
// all). A security listed without its files is never allowed.
std::string ForbiddenProblems(const std::string& directory, const std::string& symbol,
                              int fileNumber, int* status) {
    CliOutcome checked = RunCli({"check", directory});
    *status = checked.status;
    if (*status == 2) {
        return "unreadable: " + checked.err;
    }
    std::string forbidden;
    std::istringstream lines(checked.out);
    std::string newFiles = "/F" + std::to_string(fileNumber) + ".";
    for (std::string line; std::getline(lines, line);) {
        bool summary = line.find(" found in ") != std::string::npos ||
                       line.find(": sound; ") != std::string::npos;
        bool temporary = line.find("a temporary left behind") != std::string::npos;
        bool newSecurity = (line.find(newFiles) != std::string::npos ||
                            line.find("(" + symbol + ")") != std::string::npos) &&
                           line.find("missing") == std::string::npos;
        bool data = line.find(", not a date") != std::string::npos ||
                    line.find("before the record before it") != std::string::npos ||
                    line.find("more price records with such dates") != std::string::npos;
        if (!summary && !temporary && !newSecurity && !data) {
            forbidden += line + "\n";
        }
    }
    return forbidden;
}

class ReliabilityTest : public JobFixture, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        m_input.clear();
        for (int i = 0; i < 2000; ++i) {
            m_input += "0830" + std::to_string(61 + i / 52) + ",1,2,3,4,5,6\n";
        }
    }

    // A directory holding securities 1 and 2, or nothing when a new MASTER is to be made.
    void Prepare(const std::string& db) {
        std::filesystem::remove_all(db);
        std::filesystem::create_directories(db);
        if (ExistingMaster()) {
            WriteFileBytes(db + "/MASTER", MasterWith({OtherMasterRecord(1, "ABC", "Abc"),
                                                       OtherMasterRecord(2, "DEF", "Def")}));
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
        auto job = MakeJob(m_input, fs);
        job->settings.directory = db;
        job->settings.master =
            ExistingMaster() ? engine::MasterChoice::kUseExisting : engine::MasterChoice::kMakeNew;
        return job;
    }

    std::string m_input;
};

TEST_P(ReliabilityTest, APowerCutAtAnyOperationLeavesADirectoryThatChecksSound) {
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
        {
            PowerCutFileSystem fs(msdb::FileSystem::Default(), db);
            fs.CutAtOperation(n);
            EXPECT_EQ(Job(&fs, db)->Run(), 1);
            fs.Restore();
        }
        if (!ExistingMaster() && !FileExists(db + "/MASTER")) {
            continue;  // cut before the new MASTER was made: nothing to check
        }
        int status = 0;
        EXPECT_EQ(ForbiddenProblems(db, "XYZ", NewFileNumber(), &status), "");
        // The directory takes the next conversion.
        notifier.messages.clear();
        auto next = Job(nullptr, db);
        next->settings.master = engine::MasterChoice::kUseExisting;
        next->settings.symbol = "NEXT";
        EXPECT_EQ(next->Run(), 0) << ::testing::PrintToString(notifier.messages);
    }
}

TEST_P(ReliabilityTest, AFailingOperationLeavesTheDirectoryAsItWasOrSound) {
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
        FaultyFileSystem fs(msdb::FileSystem::Default());
        fs.FailOperation(n);
        notifier.messages.clear();
        int result = Job(&fs, db)->Run();
        SCOPED_TRACE("failing " + fs.log()[static_cast<std::size_t>(n - 1)]);
        if (!FileExists(db + "/MASTER")) {
            EXPECT_EQ(result, 1);
            continue;
        }
        int status = 0;
        std::string forbidden = ForbiddenProblems(db, "XYZ", NewFileNumber(), &status);
        EXPECT_EQ(forbidden, "");
        EXPECT_EQ(forbidden.find("temporary"), std::string::npos);
        if (result == 0) {
            EXPECT_EQ(status, 0);  // only the backup and the walk of the duplicate check may fail
        } else {
            ASSERT_FALSE(notifier.messages.empty());
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
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const std::string& input : {dir / "folder", std::string("/dev/zero"), dir / "fifo"}) {
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

TEST_F(JobFixture, OddBytesAreConvertedByTheRulesInBoundedTime) {
    struct Case {
        std::string name;
        std::string bytes;
        int records;
    };
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary += static_cast<char>((i * 7919) & 0xFF);
    }
    const Case cases[] = {
        {"NUL bytes",
         std::string("083099,1,2,3,4,5,6\n08\0"
                     "3199,1\n",
                     27),
         2},
        {"binary data", binary, -1},
        {"a 100 MB line with no line feed", std::string(100 << 20, '7'), 65534},
        {"a million empty lines", std::string(1000000, '\n'), 0},
        {"invalid UTF-8", "083099,\xff\xfe,\xc3\x28,1,2,3,4\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        notifier.messages.clear();
        auto job = MakeJob(c.bytes);
        job->settings.directory = out.path();
        (void)job->Run();
        std::string dat = ReadFileBytes(out / "F1.DAT");
        ASSERT_GE(dat.size(), 28u);
        if (c.records >= 0) {
            EXPECT_EQ(dat.size() / 28 - 1, static_cast<std::size_t>(c.records));
        }
        int status = 0;
        EXPECT_EQ(ForbiddenProblems(out.path(), "XYZ", 0, &status), "");
    }
}

}  // namespace
}  // namespace testing_support
