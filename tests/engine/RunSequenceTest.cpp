// The run sequence of a conversion job: the steps, their order, their messages and what each
// leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/ConversionJob.h"
#include "msdb/Master.h"
#include "tests/support/JobFixture.h"

namespace testing_support {
namespace {

using engine::PriceField;

const char* kLine = "083099,1.5,2,1,1.75,1000,50\n";

TEST_F(JobFixture, NewMasterWorkedExampleGivesTheDocumentedBytes) {
    auto job = MakeJob(kLine);
    ASSERT_EQ(job->Run(), 0);
    EXPECT_TRUE(notifier.messages.empty());

    // Header counting one record and one addition; record for file 1 with the data's dates.
    std::string expected = Hex("01 00 01 00") + std::string(49, '\0') +
                           Hex("01 00 65 1C 07 00 00") + "XYZ Corp        " + Hex("00 00") +
                           Hex("E0 E6 71 94 E0 E6 71 94 44 00 00") + "XYZ             " + Hex("00");
    EXPECT_EQ(ToHex(Master()), ToHex(expected));
    EXPECT_EQ(ToHex(Dat()), ToHex(Hex("00 00 02 00") +
                                  Hex("00 00 01 00 00 00 01 00 00 00 01 00 "
                                      "00 00 01 00 00 00 01 00 00 00 01 00") +
                                  Hex("E0 E6 71 94 00 00 40 81 00 00 00 82 00 00 00 81 "
                                      "00 00 60 81 00 00 7A 8A 00 00 48 86")));
    EXPECT_EQ(Dop(),
              "\"DATE\",0,0\r\n\"OPEN\",4,4\r\n\"HIGH\",4,4\r\n\"LOW\",4,4\r\n"
              "\"CLOSE\",4,4\r\n\"VOL\",4,4\r\n\"OI\",4,4\r\n");
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER", "input.txt"}));
    EXPECT_EQ(job->masterPath(), dir / "MASTER");
}

TEST_F(JobFixture, DateAndCloseOnlyGiveEightByteRecords) {
    auto job = MakeJob("083099,1.75\n083199,2\n090199,3\n");
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(ToHex(Dat()), ToHex(Hex("00 00 04 00 00 00 01 00  E0 E6 71 94 00 00 60 81"
                                      "F0 E6 71 94 00 00 00 82  50 EB 71 94 00 00 40 82")));
    EXPECT_EQ(Dop(), "\"DATE\",0,0\r\n\"CLOSE\",4,4\r\n");
    EXPECT_EQ(ToHex(MasterRecordAt(1).substr(3, 2)), "08 02");
}

TEST_F(JobFixture, OnlyTheDateEnabledIsRefusedBeforeAnythingIsMade) {
    auto job = MakeJob(kLine);
    OnlyFields(job.get(), {PriceField::kDate});
    EXPECT_EQ(job->Run(), 1);
    EXPECT_EQ(notifier.messages, std::vector<std::string>{"You need to select more columns"});
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});
}

// The period is read from its letter or its name in any case; an intraday one is refused for what
// it is, anything else with what is allowed, and a job refuses a period that is none of the three
// before anything is made.
TEST_F(JobFixture, ThePeriodIsDailyWeeklyOrMonthly) {
    std::string refusal;
    for (auto [text, period] :
         {std::pair{"D", msdb::Period::kDaily}, std::pair{"weekly", msdb::Period::kWeekly},
          std::pair{"w", msdb::Period::kWeekly}, std::pair{"MONTHLY", msdb::Period::kMonthly},
          std::pair{"m", msdb::Period::kMonthly}}) {
        EXPECT_EQ(engine::ReadPeriod(text, &refusal), period) << text;
    }
    EXPECT_EQ(refusal, "");
    const std::string allowed = "must be D, W or M (or Daily, Weekly, Monthly, in any letter case)";
    for (const char* intraday :
         {"I", "Intraday", "1", "15", "60", "h", "Hourly", "min", "5m", "15min", "Tick"}) {
        EXPECT_EQ(engine::ReadPeriod(intraday, &refusal), std::nullopt) << intraday;
        EXPECT_EQ(refusal, "'" + std::string(intraday) +
                               "' is an intraday period, whose prices take another record layout "
                               "(with a time field) that Korvex does not write; the period " +
                               allowed);
    }
    for (const char* other : {"", "Yearly", "DW", "1d"}) {
        EXPECT_EQ(engine::ReadPeriod(other, &refusal), std::nullopt) << other;
        EXPECT_EQ(refusal, allowed + ", not '" + other + "'");
    }

    auto job = MakeJob(kLine);
    job->settings.period = static_cast<msdb::Period>('I');
    EXPECT_EQ(job->Run(), 1);
    ASSERT_TRUE(job->job->Refused());
    EXPECT_EQ(job->job->Refused()->field, engine::SettingsField::kPeriod);
    EXPECT_EQ(notifier.messages,
              std::vector<std::string>{"Choose the period: daily, weekly or monthly."});
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});
}

TEST_F(JobFixture, PrepareMasterMessages) {
    {
        auto job = MakeJob(kLine);
        job->settings.directory = dir / "missing";
        EXPECT_EQ(job->Run(), 1);
        EXPECT_EQ(notifier.messages.back(), "Path does not exist");
    }
    {
        auto job = MakeJob(kLine);
        job->settings.master = engine::MasterChoice::kUseExisting;
        EXPECT_EQ(job->Run(), 1);
        EXPECT_EQ(notifier.messages.back(), "Path specified does not point to a Master file");
        EXPECT_FALSE(FileExists(dir / "MASTER"));
    }
    WriteFileBytes(dir / "MASTER", MasterWith({OtherMasterRecord(1, "ABC", "Abc")}));
    std::string before = Master();
    {
        auto job = MakeJob(kLine);
        EXPECT_EQ(job->Run(), 1);
        EXPECT_EQ(notifier.messages.back(), "New Master chosen but one already exists");
        EXPECT_EQ(Master(), before);
    }
    EXPECT_EQ(notifier.messages.size(), 3u);
}

// A relative directory is taken from the current directory, which the run leaves as it is, so that
// two jobs of one process from two working directories each find their own.
TEST_F(JobFixture, RelativeDirectoryIsMadeAbsoluteWithoutChangingTheCurrentOne) {
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::create_directories(dir / "b/out");
    std::filesystem::current_path(dir / "b");
    auto other = MakeJob(kLine);
    other->settings.directory = "out";
    ASSERT_EQ(other->Run(), 0);
    EXPECT_EQ(other->directory(), dir / "b/out");
    std::filesystem::current_path(dir.path());
    auto job = MakeJob(kLine);
    job->settings.directory = "out";
    ASSERT_EQ(job->Run(), 1);  // there is no dir/out
    std::filesystem::create_directory(dir / "out");
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(job->directory(), dir / "out");
    EXPECT_EQ(std::filesystem::current_path().string(), dir.path());
    EXPECT_TRUE(FileExists(dir / "b/out/F1.DAT"));
    std::filesystem::current_path(before);
    EXPECT_FALSE(FileExists(dir / "out/MASTER.BAK"));
}

// MASTER.BAK holds MASTER as it was before the run, so that the run can be undone from it.
TEST_F(JobFixture, ExistingMasterIsBackedUpAsItStoodBeforeTheRun) {
    const std::string before = MasterWith({OtherMasterRecord(1, "ABC", "Abc")});
    WriteFileBytes(dir / "MASTER", before);
    WriteFileBytes(dir / "MASTER.BAK", "an earlier backup");
    auto job = MakeJob("083099,1.5,2,1,1.75,1000,50\n090199,1.5,2,1,1.75,1000,50\n");
    job->settings.master = engine::MasterChoice::kUseExisting;
    ASSERT_EQ(job->Run(), 0);

    EXPECT_EQ(ReadFileBytes(dir / "MASTER.BAK"), before);
    // MASTER holds the old record, then the new one with the dates of its first and last records.
    std::string master = Master();
    ASSERT_EQ(master.size(), 159u);
    EXPECT_EQ(ToHex(master.substr(0, 4)), "02 00 02 00");
    EXPECT_EQ(master.substr(4, 102), before.substr(4));
    EXPECT_EQ(ToHex(master.substr(106 + 25, 8)), "E0 E6 71 94 50 EB 71 94");
    EXPECT_EQ(static_cast<int>(master[106]), 2);
}

TEST_F(JobFixture, FileNumbersFillTheLowestGap) {
    WriteFileBytes(dir / "MASTER",
                   MasterWith({OtherMasterRecord(1, "A", "A"), OtherMasterRecord(2, "B", "B"),
                               OtherMasterRecord(4, "D", "D")}));
    auto job = MakeJob(kLine);
    job->settings.master = engine::MasterChoice::kUseExisting;
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(Master().size(), 5u * 53);
    EXPECT_EQ(static_cast<int>(MasterRecordAt(4)[0]), 3);
    EXPECT_EQ(ToHex(MasterRecordAt(0).substr(0, 4)), "04 00 04 00");
    EXPECT_TRUE(FileExists(dir / "F3.DAT"));
    EXPECT_TRUE(FileExists(dir / "F3.DOP"));
    EXPECT_EQ(job->FileNumber(), 3);
}

TEST_F(JobFixture, DuplicateSymbolsAreRefusedInTheWholeTree) {
    std::filesystem::create_directory(dir / "sub");
    WriteFileBytes(dir / "sub/MASTER", MasterWith({OtherMasterRecord(1, "DEEP", "Deep Inc")}));
    WriteFileBytes(dir / "MASTER",
                   MasterWith({OtherMasterRecord(1, "ABC", "Abc Corp"), DirectoryEntry(2, "sub")}));
    std::string before = Master();
    for (const char* symbol : {"ABC", "abc", "ABC CORP", "DEEP", "deep inc"}) {
        SCOPED_TRACE(symbol);
        notifier.messages.clear();
        auto job = MakeJob(kLine);
        job->settings.master = engine::MasterChoice::kUseExisting;
        job->settings.symbol = symbol;
        EXPECT_EQ(job->Run(), 1);
        EXPECT_EQ(notifier.messages, std::vector<std::string>{"Duplicate Symbol"});
        EXPECT_EQ(Master(), before);
    }
    auto job = MakeJob(kLine);
    job->settings.master = engine::MasterChoice::kUseExisting;
    job->settings.symbol = "ABCD";
    EXPECT_EQ(job->Run(), 0);
    EXPECT_EQ(job->FileNumber(), 3);  // 2 is taken by the sub-directory entry
}

// Past 255 only when asked, and refused before anything changes otherwise, saying what --xmaster
// does and what older readers see.
TEST_F(JobFixture, SecurityLimitOf255) {
    std::vector<std::string> records;
    for (int n = 1; n <= 254; ++n) {
        records.push_back(OtherMasterRecord(n, "S" + std::to_string(n), ""));
    }
    WriteFileBytes(dir / "MASTER", MasterWith(records));
    auto job = MakeJob(kLine);
    job->settings.master = engine::MasterChoice::kUseExisting;
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(ToHex(Master().substr(0, 4)), "FF 00 FF 00");
    EXPECT_EQ(job->FileNumber(), 255);

    const Snapshot full = TakeSnapshot(dir.path());
    auto second = MakeJob(kLine);
    second->settings.master = engine::MasterChoice::kUseExisting;
    second->settings.symbol = "MORE";
    EXPECT_EQ(second->Run(), 1);
    EXPECT_EQ(notifier.messages,
              (std::vector<std::string>{
                  "This portfolio already has the\nmaximum number of symbols (255).\nChoose a "
                  "different or new portfolio.",
                  "Securities past MASTER's 255 are listed in an XMASTER beside it (made for the "
                  "first of them), with their prices in F<n>.MWD, n from 256: give --xmaster on "
                  "the command line, or check \"List securities past MASTER's size (255) in "
                  "XMASTER\" in the settings dialog. Programs that read only MASTER, such as older "
                  "versions of MetaStock, see only MASTER's 255 securities."}));
    EXPECT_EQ(TakeSnapshot(dir.path()), full);
}

// With --xmaster the 256th security (here weekly) is listed in a new XMASTER, its prices in
// F256.MWD (laid out as a DAT) beside its F256.DOP; MASTER is not touched.
TEST_F(JobFixture, PastTheLimitASecurityGoesToANewXMaster) {
    std::vector<std::string> records;
    for (int n = 1; n <= 255; ++n) {
        records.push_back(OtherMasterRecord(n, "S" + std::to_string(n), ""));
    }
    WriteFileBytes(dir / "MASTER", MasterWith(records));
    const std::string master = Master();
    auto job = MakeJob("083099,1.75\n");
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    job->settings.master = engine::MasterChoice::kUseExisting;
    job->settings.xmaster = true;
    job->settings.period = msdb::Period::kWeekly;
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_TRUE(job->job->InXMaster());
    EXPECT_EQ(job->FileNumber(), 256);
    EXPECT_EQ(Master(), master);
    EXPECT_FALSE(FileExists(dir / "MASTER.BAK"));
    EXPECT_FALSE(FileExists(dir / "F256.DAT"));
    const msdb::MbfBytes close = msdb::ToMbf(1.75f);
    EXPECT_EQ(ToHex(ReadFileBytes(dir / "F256.MWD")),
              ToHex(Hex("00 00 02 00 00 00 01 00 E0 E6 71 94") +
                    std::string(close.begin(), close.end())));
    EXPECT_EQ(Dop(256), "\"DATE\",0,0\r\n\"CLOSE\",4,4\r\n");
    std::string expected =
        Hex("5D FE 58 4D 00 00 00 00 00 00 01 00 00 00 01 00 00 00 01 01") + std::string(130, '\0');
    std::string record(150, '\0');
    record.replace(1, 3, "XYZ");
    record.replace(16, 8, "XYZ Corp");
    record.replace(62, 1, "W");
    record.replace(65, 2, Hex("00 01"));
    record.replace(70, 1, Hex("11"));
    record.replace(108, 4, Hex("2E 09 31 01"));
    record.replace(116, 4, Hex("2E 09 31 01"));
    EXPECT_EQ(ToHex(ReadFileBytes(dir / "XMASTER")), ToHex(expected + record));
    EXPECT_EQ(ConversionSummary(*job->job), "Converted 1 price record of XYZ into " +
                                                (dir / "F256.MWD") +
                                                " (1999-08-30 to 1999-08-30).");
}

// Another program's XMASTER (files 256 and 2853, 2854 next) is added to without being asked, at
// the lowest free number, and kept as XMASTER.BAK; replacing one of its securities keeps its
// number and its record's place, and writes the new period.
TEST_F(JobFixture, AnXMasterOfAnotherProgramIsAddedToAndReplacedIn) {
    std::vector<std::string> records;
    for (int n = 1; n <= 255; ++n) {
        records.push_back(OtherMasterRecord(n, "S" + std::to_string(n), ""));
    }
    WriteFileBytes(dir / "MASTER", MasterWith(records));
    std::string xmaster =
        Hex("5D FE 58 4D 00 00 00 00 00 00 02 00 00 00 02 00 00 00 26 0B") + std::string(130, '\0');
    for (auto [symbol, number] : {std::pair{"BIG", "00 01"}, std::pair{"FAR", "25 0B"}}) {
        std::string record(150, '\0');
        record.replace(1, 3, symbol);
        record.replace(62, 1, "D");
        record.replace(65, 2, Hex(number));
        record.replace(70, 1, Hex("7F"));
        xmaster += record;
    }
    WriteFileBytes(dir / "XMASTER", xmaster);
    auto job = MakeJob(kLine);
    job->settings.master = engine::MasterChoice::kUseExisting;
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(job->FileNumber(), 257);
    EXPECT_EQ(ReadFileBytes(dir / "XMASTER.BAK"), xmaster);
    std::string added = ReadFileBytes(dir / "XMASTER");
    ASSERT_EQ(added.size(), 4u * 150);
    EXPECT_EQ(ToHex(added.substr(0, 20)),
              "5D FE 58 4D 00 00 00 00 00 00 03 00 00 00 03 00 00 00 26 0B");
    EXPECT_EQ(added.substr(0, 450).substr(20), xmaster.substr(20));
    EXPECT_EQ(added.substr(450 + 1, 4), std::string("XYZ") + '\0');
    EXPECT_EQ(ReadFileBytes(dir / "F257.MWD").size(), 2u * 28);

    auto replace = MakeJob("083099,1\n083199,2\n");
    OnlyFields(replace.get(), {PriceField::kDate, PriceField::kClose});
    replace->settings.master = engine::MasterChoice::kUseExisting;
    replace->settings.symbol = "big";
    replace->settings.replaceExisting = true;
    replace->settings.period = msdb::Period::kMonthly;
    ASSERT_EQ(replace->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(replace->FileNumber(), 256);
    EXPECT_TRUE(replace->job->Replaced());
    const std::string replaced = ReadFileBytes(dir / "XMASTER");
    ASSERT_EQ(replaced.size(), 4u * 150);
    EXPECT_EQ(replaced.substr(0, 150), added.substr(0, 150));
    EXPECT_EQ(replaced.substr(300), added.substr(300));
    EXPECT_EQ(replaced[150 + 62], 'M');
    EXPECT_EQ(ToHex(replaced.substr(150 + 65, 6)), "00 01 00 00 00 11");
    EXPECT_EQ(ReadFileBytes(dir / "F256.MWD").size(), 3u * 8);
    EXPECT_EQ(Master(), MasterWith(records));
}

// Directories of other programs hold the highest file number in use in the header's second word,
// not a count: 215 securities up to number 255 take one more, which gets the lowest free number.
TEST_F(JobFixture, TheHeadersSecondWordIsTheHighestFileNumberInUse) {
    std::vector<std::string> records;
    for (int n = 41; n <= 255; ++n) {
        records.push_back(OtherMasterRecord(n, "S" + std::to_string(n), ""));
    }
    std::string master = MasterWith(records);
    master[0] = static_cast<char>(215);
    master[2] = static_cast<char>(255);
    WriteFileBytes(dir / "MASTER", master);
    auto job = MakeJob(kLine);
    job->settings.master = engine::MasterChoice::kUseExisting;
    ASSERT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(job->FileNumber(), 1);
    EXPECT_EQ(ToHex(Master().substr(0, 4)), "D8 00 FF 00");  // 216 records, 255 the highest
}

TEST_F(JobFixture, NoFreeFileNumberIsRefusedLikeAFullPortfolio) {
    std::vector<std::string> records;
    for (int n = 1; n <= 255; ++n) {
        records.push_back(OtherMasterRecord(n, "S" + std::to_string(n), ""));
    }
    std::string master = MasterWith(records);
    master[0] = 10;  // the counts say 10, the records fill every number
    master[2] = 10;
    WriteFileBytes(dir / "MASTER", master);
    auto job = MakeJob(kLine);
    job->settings.master = engine::MasterChoice::kUseExisting;
    EXPECT_EQ(job->Run(), 1);
    EXPECT_EQ(Master(), master);
    EXPECT_FALSE(FileExists(dir / "F256.DAT"));
}

TEST_F(JobFixture, DamagedMasterIsReportedAndLeftAlone) {
    struct Case {
        std::string master;
        std::string why;
    } cases[] = {{std::string(20, '\0'), "it is shorter than its 53-byte header."},
                 {Hex("FF FF 00 00") + std::string(49, '\0'),
                  "its header counts a negative number of records."},
                 // The count must be the records held: fewer, more, or a partial record.
                 {Hex("FF 7F 05 00") + std::string(49, '\0'),
                  "its header counts 32767 records, but it holds 0."},
                 {MasterWith({OtherMasterRecord(1, "A", "A")}) + OtherMasterRecord(2, "B", "B"),
                  "its header counts 1 records, but it holds 2."},
                 {MasterWith({OtherMasterRecord(1, "A", "A")}) + std::string(10, 'x'),
                  "it ends in a partial record of 10 bytes."}};
    for (const Case& c : cases) {
        notifier.messages.clear();
        WriteFileBytes(dir / "MASTER", c.master);
        auto job = MakeJob(kLine);
        job->settings.master = engine::MasterChoice::kUseExisting;
        EXPECT_EQ(job->Run(), 1);
        EXPECT_EQ(notifier.messages,
                  std::vector<std::string>{"The Master file " + (dir / "MASTER") +
                                           " is damaged:\n" + c.why});
        EXPECT_EQ(Master(), c.master);
        EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"MASTER", "input.txt"}));
    }
}

TEST_F(JobFixture, MasterIsFoundWhateverTheCaseOfItsName) {
    WriteFileBytes(dir / "master", MasterWith({OtherMasterRecord(1, "ABC", "Abc")}));
    auto job = MakeJob(kLine);
    job->settings.master = engine::MasterChoice::kUseExisting;
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(ListNames(dir.path()),
              (std::vector<std::string>{"F2.DAT", "F2.DOP", "input.txt", "master", "master.BAK"}));
    EXPECT_EQ(ToHex(ReadFileBytes(dir / "master").substr(0, 4)), "02 00 02 00");

    auto again = MakeJob(kLine);  // a new MASTER is refused: one exists, if in lower case
    again->settings.symbol = "NEW";
    EXPECT_EQ(again->Run(), 1);
    EXPECT_EQ(notifier.messages.back(), "New Master chosen but one already exists");
}

TEST_F(JobFixture, RefusedBeforeAnythingIsTouched) {
    auto noInput = MakeJob(kLine);
    noInput->settings.inputPath = dir / "absent.txt";
    EXPECT_EQ(noInput->Run(), 1);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].find(dir / "absent.txt"), std::string::npos);
    EXPECT_NE(notifier.messages[0].find("No such file or directory"), std::string::npos);

    for (int code : {0, msdb::kDateFormatCount + 1, -1}) {
        auto badFormat = MakeJob(kLine);
        badFormat->settings.dateFormat = static_cast<engine::DateFormat>(code);
        EXPECT_EQ(badFormat->Run(), 1);
    }
    EXPECT_EQ(notifier.messages.back(),
              "No date format is chosen.\nChoose one of the date formats of the list.");
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});
}

}  // namespace
}  // namespace testing_support

namespace testing_support {
namespace {

// A refused run names the setting to mend, which the desktop program focuses; a failure of the
// file system names none.
TEST_F(JobFixture, RefusalsNameTheSettingToMend) {
    using engine::SettingsField;
    auto refused = [](const PendingJob& job) {
        return job.job->Refused() ? std::optional(job.job->Refused()->field) : std::nullopt;
    };
    auto missing = MakeJob(kLine);
    missing->settings.directory = dir / "missing";
    EXPECT_EQ(missing->Run(), 1);
    EXPECT_EQ(refused(*missing), SettingsField::kDirectory);

    auto noMaster = MakeJob(kLine);
    noMaster->settings.master = engine::MasterChoice::kUseExisting;
    EXPECT_EQ(noMaster->Run(), 1);
    EXPECT_EQ(refused(*noMaster), SettingsField::kMaster);

    auto first = MakeJob(kLine);
    ASSERT_EQ(first->Run(), 0);
    EXPECT_EQ(refused(*first), std::nullopt);
    auto again = MakeJob(kLine);
    EXPECT_EQ(again->Run(), 1);
    EXPECT_EQ(refused(*again), SettingsField::kMaster);
    auto duplicate = MakeJob(kLine);
    duplicate->settings.master = engine::MasterChoice::kUseExisting;
    EXPECT_EQ(duplicate->Run(), 1);  // the question is answered No
    EXPECT_EQ(refused(*duplicate), SettingsField::kSymbol);

    // Problems not stored name the field of the first: the date format for a date, else the
    // column of the price.
    auto problems = MakeJob("083099,1.5,x,1,1.75,1000,50\n0831xx,1.5,2,1,1.75,1000,50\n");
    problems->settings.directory = dir / "other";
    std::filesystem::create_directory(dir / "other");
    EXPECT_EQ(problems->Run(), 1);
    ASSERT_TRUE(problems->job->Refused());
    EXPECT_EQ(problems->job->Refused()->field, SettingsField::kColumn);
    EXPECT_EQ(problems->job->Refused()->priceField, engine::PriceField::kHigh);
    auto dates = MakeJob("0830xx,1.5,2,1,1.75,1000,50\n");
    dates->settings.directory = dir / "other";
    EXPECT_EQ(dates->Run(), 1);
    EXPECT_EQ(refused(*dates), SettingsField::kDateFormat);
}

// A run stopped from another thread before its commit changes nothing and says nothing; one left
// to run reports how much of the file it has read.
TEST_F(JobFixture, CancelledBeforeTheCommitChangesNothingAndProgressGrows) {
    std::atomic<bool> cancel{true};
    auto stopped = MakeJob(DailyLines(500));
    stopped->services.cancel = &cancel;
    EXPECT_EQ(stopped->Run(), 1);
    EXPECT_TRUE(stopped->job->Result().cancelled);
    EXPECT_FALSE(stopped->job->Result().refusal.has_value());
    EXPECT_FALSE(stopped->job->Changed());
    EXPECT_TRUE(notifier.messages.empty());
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});

    cancel = false;
    std::vector<int> told;
    auto job = MakeJob(DailyLines(500));
    job->services.cancel = &cancel;
    job->services.progress = [&](int permille) { told.push_back(permille); };
    ASSERT_EQ(job->Run(), 0);
    const engine::RunResult result = job->job->Result();
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.summary.rfind("Converted 500 price records of XYZ", 0), 0u);
    ASSERT_FALSE(told.empty());
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_LE(told.back(), 1000);
}

}  // namespace
}  // namespace testing_support
