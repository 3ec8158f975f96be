#include "msdb/FileSystem.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::FaultyFileSystem;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

const std::string kOld = std::string(53, '\0') + "old record";
const std::string kNew = std::string(53, '\x01') + "new records, longer than the old ones";

TEST(ReplaceFileTest, ReplacesTheFileAndLeavesNoTemporary) {
    TempDir dir;
    WriteFileBytes(dir / "MASTER", kOld);
    ASSERT_TRUE(
        msdb::ReplaceFile(msdb::FileSystem::Default(), dir / "MASTER", dir / "MASTER.~NU", kNew)
            .ok());
    EXPECT_EQ(ReadFileBytes(dir / "MASTER"), kNew);
    EXPECT_EQ(testing_support::ListNames(dir.path()), std::vector<std::string>{"MASTER"});
}

// Fails each operation of a replacement in turn: whatever fails, the old file stays whole and the
// temporary goes.
TEST(ReplaceFileTest, AnyFailedStepLeavesTheOldFileAndNoTemporary) {
    int operations = 0;
    {
        TempDir dir;
        WriteFileBytes(dir / "MASTER", kOld);
        FaultyFileSystem counting(msdb::FileSystem::Default());
        ASSERT_TRUE(msdb::ReplaceFile(counting, dir / "MASTER", dir / "MASTER.~NU", kNew).ok());
        operations = counting.operations();
    }
    ASSERT_GE(operations, 4);  // create, append, sync, close, rename ...
    for (int n = 1; n <= operations; ++n) {
        TempDir dir;
        WriteFileBytes(dir / "MASTER", kOld);
        FaultyFileSystem faulty(msdb::FileSystem::Default());
        faulty.FailOperation(n);
        bool renamed = true;
        msdb::Status s =
            msdb::ReplaceFile(faulty, dir / "MASTER", dir / "MASTER.~NU", kNew, &renamed);
        SCOPED_TRACE("failing " + faulty.log()[static_cast<std::size_t>(n) - 1]);
        EXPECT_FALSE(s.ok());
        EXPECT_FALSE(s.message().empty());
        // Only a failed directory sync comes after the rename; the caller is told so.
        bool syncOfDirectory =
            faulty.log()[static_cast<std::size_t>(n) - 1].starts_with("sync-dir");
        EXPECT_EQ(renamed, syncOfDirectory);
        EXPECT_EQ(ReadFileBytes(dir / "MASTER"), syncOfDirectory ? kNew : kOld);
        EXPECT_EQ(testing_support::ListNames(dir.path()), std::vector<std::string>{"MASTER"});
    }
}

// A file opened for update is written where asked and cut back; a missing file or a link is not
// opened, and SyncFiles of a directory succeeds.
TEST(UpdatableFileTest, WritesAtOffsetsAndTruncates) {
    TempDir dir;
    WriteFileBytes(dir / "F1.DAT", "0123456789");
    msdb::FileSystem& fs = msdb::FileSystem::Default();
    std::unique_ptr<msdb::UpdatableFile> file;
    ASSERT_TRUE(fs.OpenForUpdate(dir / "F1.DAT", &file).ok());
    EXPECT_TRUE(file->WriteAt(10, "ab").ok());
    EXPECT_TRUE(file->WriteAt(0, "X").ok());
    EXPECT_TRUE(file->Sync().ok());
    EXPECT_TRUE(file->Close().ok());
    EXPECT_EQ(ReadFileBytes(dir / "F1.DAT"), "X123456789ab");
    ASSERT_TRUE(fs.OpenForUpdate(dir / "F1.DAT", &file).ok());
    EXPECT_TRUE(file->Truncate(4).ok());
    EXPECT_TRUE(file->Close().ok());
    EXPECT_EQ(ReadFileBytes(dir / "F1.DAT"), "X123");
    const std::vector<std::string> names{"F1.DAT"};
    EXPECT_TRUE(fs.SyncFiles(dir.path(), msdb::FileNames::Of(names)).ok());
    EXPECT_TRUE(fs.OpenForUpdate(dir / "F2.DAT", &file).IsNotFound());
#ifndef _WIN32
    std::filesystem::create_symlink(dir / "F1.DAT", dir / "F3.DAT");
    EXPECT_FALSE(fs.OpenForUpdate(dir / "F3.DAT", &file).ok());
#endif
}

// A scratch file of the temporary folder gives back what was written to it, and leaves nothing
// in that folder once closed (on POSIX, nothing named even while it is open).
TEST(UpdatableFileTest, AScratchFileLeavesNothingBehind) {
    TempDir dir;
#ifdef _WIN32
    ASSERT_EQ(_putenv_s("TMP", dir.path().c_str()), 0);
#else
    ASSERT_EQ(setenv("TMPDIR", dir.path().c_str(), 1), 0);
#endif
    std::unique_ptr<msdb::UpdatableFile> file;
    const msdb::Status opened = msdb::FileSystem::Default().OpenScratch(&file);
#ifdef _WIN32
    _putenv_s("TMP", "");
#else
    unsetenv("TMPDIR");
#endif
    ASSERT_TRUE(opened.ok()) << opened.message();
    EXPECT_TRUE(file->WriteAt(0, "records").ok());
    EXPECT_TRUE(file->WriteAt(7, " and lines").ok());
    std::string back(20, '\0');
    std::size_t got = 0;
    EXPECT_TRUE(file->ReadAt(7, 20, back.data(), &got).ok());
    EXPECT_EQ(back.substr(0, got), " and lines");
#ifndef _WIN32
    EXPECT_TRUE(testing_support::ListNames(dir.path()).empty());
#endif
    EXPECT_TRUE(file->Close().ok());
    file.reset();
    EXPECT_TRUE(testing_support::ListNames(dir.path()).empty());
}

// The entry found for `name`, "(none)" when there is none, "(error)" when the listing fails.
std::string Found(const std::string& directory, const std::string& name) {
    std::optional<std::string> found;
    if (!msdb::FindEntryNoCase(msdb::FileSystem::Default(), directory, name, &found).ok()) {
        return "(error)";
    }
    return found.value_or("(none)");
}

TEST(FindEntryNoCaseTest, PrefersTheExactSpelling) {
#ifdef _WIN32
    GTEST_SKIP() << "names that differ only in case are one file on Windows";
#endif
    TempDir dir;
    for (const char* name : {"master", "MASTER", "Master", "F1.DAT"}) {
        WriteFileBytes(dir / name, name);
    }
    EXPECT_EQ(Found(dir.path(), "master"), "master");
    EXPECT_EQ(Found(dir.path(), "MASTER"), "MASTER");
    EXPECT_EQ(Found(dir.path(), "Master"), "Master");
    EXPECT_TRUE(msdb::EqualsNoCase(Found(dir.path(), "mASTER"), "MASTER"));
    EXPECT_EQ(Found(dir.path(), "f1.dat"), "F1.DAT");
    EXPECT_EQ(Found(dir.path(), "F1.DA"), "(none)");
    EXPECT_EQ(Found(dir / "missing", "MASTER"), "(error)");
}

// The index of a listing finds every name as the search through the list does: the exact
// spelling first, else the first in byte order of those that differ only in case.
TEST(FindEntryNoCaseTest, TheIndexOfAListingFindsWhatTheListDoes) {
    const std::vector<std::string> names = {"master", "MASTER",  "Master",
                                            "F1.DAT", "f10.dat", "F1.DAT.korvex-tmp1",
                                            "F1.DA",  "[x]",     "{x}"};
    const msdb::NameIndex index(names);
    for (const char* name : {"master", "MASTER", "Master", "mASTER", "f1.dat", "F1.DAT", "F10.DAT",
                             "F1.D", "F1.DA", "F2.DAT", "[X]", "{X}", ""}) {
        EXPECT_EQ(index.Find(name), msdb::FindNameNoCase(names, name)) << name;
    }
    EXPECT_EQ(msdb::NameIndex(std::vector<std::string>{}).Find("MASTER"), std::nullopt);
}

}  // namespace
