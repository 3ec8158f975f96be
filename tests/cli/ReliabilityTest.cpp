// A second run into a directory waits for the first; inputs that are not regular files, and odd
// bytes in those that are, are handled in bounded time.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <thread>

#include "engine/ConversionJob.h"
#include "tests/cli/RunCli.h"
#include "tests/support/JobFixture.h"

namespace testing_support {
namespace {

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
        int records;            // -1: none, the run fails
        std::string says = "";  // what the first message then says, when it matters
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
        {"a 100 MB line with no line feed", std::string(100 << 20, '7'), -1,
         "line 1, line: is longer than 65,536 bytes, and gives no record"},
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
            ASSERT_FALSE(notifier.messages.empty());
            EXPECT_NE(notifier.messages[0].find(c.says), std::string::npos) << notifier.messages[0];
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
