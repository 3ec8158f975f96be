#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/MasterTree.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using msdb::MasterRecord;
using testing_support::Hex;
using testing_support::TempDir;
using testing_support::ToHex;

const msdb::MbfBytes k991231 = {0xF0, 0xFF, 0x71, 0x94};
const msdb::MbfBytes k1000103 = {0x70, 0x2A, 0x74, 0x94};

std::string Security(int fileNumber, const std::string& symbol) {
    MasterRecord r = msdb::MakeMasterRecord(static_cast<std::uint8_t>(fileNumber), 7, "SOME NAME",
                                            symbol, k991231, k1000103, msdb::Period::kDaily);
    return std::string(r.begin(), r.end());
}

// A sub-directory entry: the name from byte 7, "<DIR>" at 18, the rest 0.
std::string Dir(const std::string& name) {
    std::string record(53, '\0');
    std::string field = (name + std::string(11, ' ')).substr(0, 11) + "<DIR>";
    record.replace(7, field.size(), field);
    return record;
}

// A header counting `count` records (by default those given) and the records.
std::string Master(const std::vector<std::string>& records, int count = -1) {
    std::string bytes(53, '\0');
    std::uint16_t n = static_cast<std::uint16_t>(count < 0 ? records.size() : count);
    bytes[0] = static_cast<char>(n & 0xFF);
    bytes[1] = static_cast<char>(n >> 8);
    for (const std::string& r : records) {
        bytes += r;
    }
    return bytes;
}

void WriteMaster(const std::string& dir, const std::vector<std::string>& records, int count = -1,
                 const std::string& name = "MASTER") {
    fs::create_directories(dir);
    testing_support::WriteFileBytes(dir + "/" + name, Master(records, count));
}

struct Result {
    bool found;
    int fileNumber;  // -1 when not found
    std::string directory;
};

Result Find(const std::string& start, const std::string& symbol,
            msdb::FileSystem& fileSystem = msdb::FileSystem::Default()) {
    std::optional<msdb::FoundSecurity> match = msdb::FindSecurity(fileSystem, start, symbol);
    if (!match) {
        return {false, -1, ""};
    }
    return {true, match->record[0], match->directory};
}

TEST(FindSecurityTest, FoundAtTopLevelWithDatesAsIeeeSingles) {
    TempDir dir;
    WriteMaster(dir.path(), {Security(1, "AAA"), Security(2, "XYZ")});
    for (const std::string& start : {dir.path(), dir.path() + "/"}) {
        SCOPED_TRACE(start);
        std::optional<msdb::FoundSecurity> match =
            msdb::FindSecurity(msdb::FileSystem::Default(), start, "xyz");
        ASSERT_TRUE(match.has_value());
        const MasterRecord& record = match->record;
        // A start that ends in a separator keeps it.
        EXPECT_EQ(match->directory, start == dir.path() ? dir / "" : start);
        // 991231.0 and 1000103.0 as IEEE singles; every other byte as stored.
        std::string expected = Security(2, "XYZ");
        expected.replace(25, 8, Hex("F0 FF 71 49 70 2A 74 49"));
        EXPECT_EQ(ToHex(std::string(record.begin(), record.end())), ToHex(expected));
    }
}

TEST(FindSecurityTest, NotFound) {
    TempDir dir;
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);  // no MASTER at all
    testing_support::WriteFileBytes(dir / "MASTER", std::string(10, '\0'));
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);  // short of a header
    WriteMaster(dir.path(), {});
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);
    WriteMaster(dir.path(), {Security(1, "XYZA"), Security(2, "XY")});
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);
}

TEST(FindSecurityTest, MasterFoundWhateverTheCaseOfItsName) {
    for (const char* name : {"MASTER", "master", "Master", "mAsTeR"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        WriteMaster(dir.path(), {Security(5, "XYZ")}, -1, name);
        EXPECT_EQ(Find(dir.path(), "XYZ").fileNumber, 5);
    }
}

TEST(FindSecurityTest, FoundInSubdirectoryListedByDirEntry) {
    TempDir dir;
    WriteMaster(dir.path(), {Dir("SUB"), Security(1, "AAA")});
    WriteMaster(dir / "SUB", {Security(9, "XYZ")});
    Result r = Find(dir.path(), "XYZ");
    EXPECT_EQ(r.found, true);
    EXPECT_EQ(r.fileNumber, 9);
    EXPECT_EQ(r.directory, dir / "SUB/");

    // An entry written where case does not matter finds the directory in another spelling.
    WriteMaster(dir / "SUB", {Dir("DEEP")});
    WriteMaster(dir / "SUB/deep", {Security(4, "LOW")});
    r = Find(dir.path(), "LOW");
    EXPECT_EQ(r.found, true);
#ifdef _WIN32
    // There the entry's spelling names the directory as well as any other.
    EXPECT_TRUE(msdb::EqualsNoCase(r.directory, dir / "SUB/deep/")) << r.directory;
#else
    EXPECT_EQ(r.directory, dir / "SUB/deep/");
#endif
}

TEST(FindSecurityTest, AllSecuritiesOfAMasterComparedBeforeItsSubdirectories) {
    TempDir dir;
    WriteMaster(dir.path(), {Dir("SUB"), Security(2, "XYZ")});
    WriteMaster(dir / "SUB", {Security(9, "XYZ")});
    Result r = Find(dir.path(), "XYZ");
    EXPECT_EQ(r.fileNumber, 2);
    EXPECT_EQ(r.directory, dir / "");
}

TEST(FindSecurityTest, DepthFirstInRecordOrderPassingOverMissingMasters) {
    TempDir dir;
    fs::create_directories(dir / "NOMASTER");
    WriteMaster(dir.path(), {Dir("ABSENT"), Dir("NOMASTER"), Dir("EMPTY"), Dir("B"),
                             Security(1, "AAA"), Dir("A")});
    WriteMaster(dir / "EMPTY", {});
    WriteMaster(dir / "B", {Dir("C")});
    WriteMaster(dir / "B/C", {Security(3, "XYZ")});
    WriteMaster(dir / "A", {Security(4, "XYZ")});
    Result r = Find(dir.path(), "XYZ");
    EXPECT_EQ(r.fileNumber, 3);
    EXPECT_EQ(r.directory, dir / "B/C/");
    // Once B's tree is searched, the walk resumes in the parent after B.
    EXPECT_EQ(Find(dir.path(), "AAA").fileNumber, 1);
    WriteMaster(dir / "B/C", {Security(3, "QQQ")});
    EXPECT_EQ(Find(dir.path(), "XYZ").fileNumber, 4);
}

TEST(FindSecurityTest, HeaderCountDecidesHowManyRecordsAreRead) {
    TempDir dir;
    WriteMaster(dir / "SUB", {Security(9, "XYZ")});
    // Counts three, holds one: the level is given up, its sub-directories too.
    WriteMaster(dir.path(), {Dir("SUB")}, 3);
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);
    // ... but a match before the missing records is still found.
    WriteMaster(dir.path(), {Security(1, "XYZ")}, 3);
    EXPECT_EQ(Find(dir.path(), "XYZ").fileNumber, 1);
    // Records past the count are not looked at.
    WriteMaster(dir.path(), {Security(1, "AAA"), Security(2, "XYZ")}, 1);
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);
    // A negative count (FF FF) holds no records.
    WriteMaster(dir.path(), {Security(1, "XYZ")}, 0xFFFF);
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);
}

// Every directory listed or file opened lies inside `root`.
void ExpectStayedInside(const testing_support::FaultyFileSystem& faulty, const std::string& root) {
    for (const std::string& line : faulty.log()) {
        for (const std::string prefix : {"list ", "open-read "}) {
            if (line.rfind(prefix, 0) == 0) {
                std::string path = fs::weakly_canonical(line.substr(prefix.size())).string();
                EXPECT_EQ(path.rfind(root, 0), 0u) << line;
            }
        }
    }
}

TEST(FindSecurityTest, HostileEntriesNeverLeaveTheStartTree) {
    // "\0": byte 7 not a space but an empty name, which would be the start itself.
    const std::vector<std::string> names = {
        ".", "..", "../out", "..\\out", "LINK", "/tmp", std::string(1, '\0')};
    for (const std::string& name : names) {
        SCOPED_TRACE("entry '" + name + "'");
        TempDir root;
        std::string start = root / "start";
        WriteMaster(root.path(), {Security(7, "XYZ")});
        WriteMaster(root / "out", {Security(8, "XYZ")});
        WriteMaster(start, {Dir(name), Security(1, "AAA")});
#ifndef _WIN32  // there, making a symbolic link takes a privilege that a test does not have
        fs::create_directory_symlink(root / "out", start + "/LINK");
#endif
        testing_support::FaultyFileSystem faulty(msdb::FileSystem::Default());
        EXPECT_EQ(Find(start, "XYZ", faulty).found, false);
        ExpectStayedInside(faulty, start);
    }
}

TEST(FindSecurityTest, DirectoriesListingEachOtherEnd) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links: making them takes a privilege on Windows";
#endif
    TempDir dir;
    WriteMaster(dir.path(), {Dir("A"), Dir("B"), Dir("C")});
    WriteMaster(dir / "A", {Dir("TOB"), Dir("UP"), Dir("SELF")});
    WriteMaster(dir / "B", {Dir("TOA")});
    fs::create_directory_symlink(dir / "B", dir / "A/TOB");
    fs::create_directory_symlink(dir / "A", dir / "B/TOA");
    fs::create_directory_symlink(dir.path(), dir / "A/UP");
    fs::create_directory_symlink(".", dir / "A/SELF");
    EXPECT_EQ(Find(dir.path(), "XYZ").found, false);
    WriteMaster(dir / "C", {Security(6, "XYZ")});
    Result r = Find(dir.path(), "XYZ");
    EXPECT_EQ(r.fileNumber, 6);
    EXPECT_EQ(r.directory, dir / "C/");
}

// A chain start/D/D/.../D, each MASTER listing the next D, the symbol at depth `depth`.
std::string MakeChain(const std::string& start, int levels, int depth) {
    std::string path = start;
    for (int level = 0; level <= levels; ++level) {
        std::vector<std::string> records = {Dir("D")};
        if (level == depth) {
            records.push_back(Security(level, "XYZ"));
        }
        WriteMaster(path, records);
        path += "/D";
    }
    return start;
}

TEST(FindSecurityTest, DeepChainsEnd) {
    for (int depth : {15, 16, 17, 40}) {
        SCOPED_TRACE(depth);
        TempDir dir;
        Result r = Find(MakeChain(dir.path(), 45, depth), "XYZ");
        // The start directory and 15 levels below it are searched, 16 levels in all.
        if (depth < msdb::kMaxSearchLevels) {
            EXPECT_EQ(r.fileNumber, depth);
        } else {
            EXPECT_EQ(r.found, false);
        }
    }
}

}  // namespace
