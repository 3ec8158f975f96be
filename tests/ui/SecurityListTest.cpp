// The securities of a directory as the Remove Security dialog lists them.
#include <gtest/gtest.h>

#include <ostream>

#include "msdb/EMaster.h"
#include "tests/support/JobFixture.h"
#include "tests/support/TestSupport.h"
#include "ui/SecurityList.h"

namespace ui {

// A failure shows the securities it compared as text.
void PrintTo(const ListedSecurity& security, std::ostream* out) {
    *out << '{' << security.symbol << ", " << security.name << ", "
         << (security.records ? std::to_string(*security.records) : "-") << ", "
         << security.firstDate << ", " << security.lastDate
         << (security.inXMaster ? ", XMASTER}" : "}");
}

}  // namespace ui

namespace testing_support {
namespace {

using engine::MasterChoice;

class SecurityListTest : public JobFixture {
protected:
    std::vector<ui::ListedSecurity> List(const std::string& directory, int codePage = 1252) {
        return ui::ListSecurities(directory, codePage, &problem);
    }

    std::string problem = "<unset>";
};

// Symbols and names come back in UTF-8 from the code page they were stored in, with the counts
// and dates of their price files.
TEST_F(SecurityListTest, ListsWhatConversionsStored) {
    auto first = MakeJob(DailyLines(3));
    ASSERT_EQ(first->Run(), 0) << ::testing::PrintToString(notifier.messages);
    auto second = MakeJob(DailyLines(2));
    second->settings.master = MasterChoice::kUseExisting;
    second->settings.codePage = 1251;
    second->settings.symbol = "ЯБК";
    second->settings.name = "Банк";
    ASSERT_EQ(second->Run(), 0) << ::testing::PrintToString(notifier.messages);

    const std::vector<ui::ListedSecurity> expected{
        {"XYZ", "XYZ Corp", 3, "1961-01-02", "1961-01-04", false},
        {"ЯБК", "Банк", 2, "1961-01-02", "1961-01-03", false}};
    EXPECT_EQ(List(dir.path(), 1251), expected);
    EXPECT_EQ(problem, "");
}

// A sub-directory entry is no security of the directory; EMASTER gives a long name in full;
// XMASTER's securities follow MASTER's, marked; a price file that is missing counts nothing, a
// date that is none is empty.
TEST_F(SecurityListTest, ListsMasterThenXMasterOfAnotherProgram) {
    WriteFileBytes(dir / "MASTER",
                   MasterWith({DirectoryEntry(1, "SUB"), OtherMasterRecord(2, "AAA", "Alpha")}));
    WriteFileBytes(dir / "EMASTER",
                   std::string(2 * msdb::kEMasterRecordSize, '\0') +
                       msdb::MakeEMasterRecord(2, 5, "AAA", "Alpha Aerospace Group", {}, {},
                                               msdb::Period::kDaily));
    std::string xmaster(2 * 150, '\0');
    xmaster.replace(0, 4, "\x5D\xFE\x58\x4D");
    xmaster[10] = 1;  // one record
    xmaster.replace(150 + 1, 3, "BIG");
    xmaster.replace(150 + 16, 19, "Big Company Limited");
    xmaster[150 + 66] = 1;  // file number 256
    WriteFileBytes(dir / "XMASTER", xmaster);

    const std::vector<ui::ListedSecurity> expected{
        {"AAA", "Alpha Aerospace Group", std::nullopt, "1999-01-01", "1999-12-31", false},
        {"BIG", "Big Company Limited", std::nullopt, "", "", true}};
    EXPECT_EQ(List(dir.path()), expected);
    EXPECT_EQ(problem, "");
}

TEST_F(SecurityListTest, SaysWhyADirectoryListsNothing) {
    EXPECT_TRUE(List("").empty());
    EXPECT_EQ(problem, "Type the directory that holds the security.");
    EXPECT_TRUE(List(dir / "none").empty());
    EXPECT_EQ(problem, "The directory " + (dir / "none") + " does not exist.");
    WriteFileBytes(dir / "file", "x");
    EXPECT_TRUE(List(dir / "file").empty());
    EXPECT_EQ(problem, (dir / "file") + " is a file, not a directory.");
    EXPECT_TRUE(List(dir.path()).empty());
    EXPECT_EQ(problem, "The directory " + dir.path() + " holds no MASTER.");
    // A MASTER whose header counts two records but that holds one.
    std::string master = MasterWith({OtherMasterRecord(1, "AAA", "Alpha")});
    master[0] = 2;
    WriteFileBytes(dir / "MASTER", master);
    EXPECT_TRUE(List(dir.path()).empty());
    EXPECT_EQ(problem, "The Master file " + (dir / "MASTER") +
                           " is damaged:\nits header counts 2 records, but it holds 1.");
}

}  // namespace
}  // namespace testing_support
