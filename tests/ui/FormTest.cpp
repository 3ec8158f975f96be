// Where the desktop programs' settings come from: the stored table, a new file's start, the master
// choice that follows the directory, and the session log.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/JobFixture.h"
#include "tests/support/TestSupport.h"
#include "ui/DirectoryStatus.h"
#include "ui/FileStart.h"
#include "ui/SessionLog.h"
#include "ui/StoredSettings.h"
#include "ui/Tasks.h"

namespace testing_support {
namespace {

using engine::PriceField;

// The keys of today's settings files keep their names, defaults and meanings.
TEST(StoredSettings, ReadsTheKeysOfEarlierVersionsAndWritesThemBack) {
    ui::MemorySettingsStore store;
    EXPECT_EQ(ui::LoadForm(store), ui::FormValues{});
    store.values = {{{"Setting", "DateFormat"}, "CCYY_MM_DD"},
                    {{"Setting", "Exist"}, "1"},
                    {{"Setting", "Delimiter"}, "3"},
                    {{"Setting", "Path"}, "/db"},
                    {{"Setting", "SkipOn"}, "1"},
                    {{"Setting", "SkipRows"}, "2"},
                    {{"Setting", "VolOn"}, "0"},
                    {{"Setting", "CloCol"}, "9x"},
                    {{"Setting", "OICol"}, "junk"},
                    {{"Setting", "CodePage"}, "1250"}};
    const ui::FormValues form = ui::LoadForm(store);
    EXPECT_EQ(form.dateFormat, "CCYY_MM_DD");
    EXPECT_EQ(form.master, 1);
    EXPECT_EQ(form.delimiter, 3);
    EXPECT_EQ(form.directory, "/db");
    EXPECT_TRUE(form.skipOn);
    EXPECT_EQ(form.skipRows, 2);
    EXPECT_FALSE(form.fields[PriceField::kVolume].on);
    EXPECT_EQ(form.fields[PriceField::kClose].column, 9);         // the leading number, as before
    EXPECT_EQ(form.fields[PriceField::kOpenInterest].column, 7);  // none: the default
    EXPECT_EQ(form.codePage, 1250);

    ui::MemorySettingsStore written;
    ui::SaveForm(written, form);
    EXPECT_EQ(ui::LoadForm(written), form);
    EXPECT_EQ(written.ReadString("Setting", "CloCol", ""), "9");
    for (const ui::StoredSetting& key : ui::StoredSettingsTable()) {
        if (key.section == ui::kSettingSection && key.entry != "OpenFolder") {
            EXPECT_NE(
                written.ReadString(std::string(key.section), std::string(key.entry), "<none>"),
                "<none>")
                << key.entry;
        }
    }
}

TEST(StoredSettings, FormGivesTheRunsSettings) {
    ui::FormValues form;
    form.dateFormat = "ccyy_mm";  // the start of a name of the list, in any case
    form.delimiter = 1;
    form.master = 1;
    form.makeEMaster = true;
    form.from = "2024-01-02";
    form.to = "2024-13-01";  // no date: no limit
    engine::ConversionSettings settings = ui::ToSettings(form, "/in.csv");
    EXPECT_EQ(settings.dateFormat, msdb::ParseDateFormatName("CCYY_MM_DD"));
    EXPECT_EQ(settings.delimiter, '\t');
    EXPECT_TRUE(settings.makeEMaster);
    EXPECT_TRUE(settings.from.has_value());
    EXPECT_FALSE(settings.to.has_value());
    form.master = 0;  // an EMASTER is made only with a new MASTER
    form.dateFormat = "NOPE";
    settings = ui::ToSettings(form, "/in.csv");
    EXPECT_FALSE(settings.makeEMaster);
    EXPECT_EQ(settings.dateFormat, engine::DateFormat::kNone);
}

TEST(StoredSettings, FieldsSwitchedOffKeepTheirColumnsGreyedOut) {
    ui::FormValues form;
    form.fields[PriceField::kOpen] = {false, 4};
    form.fields[PriceField::kClose].on = false;  // date and close are always stored
    EXPECT_FALSE(form.ColumnEnabled(PriceField::kOpen));
    EXPECT_TRUE(form.ColumnEnabled(PriceField::kClose));
    EXPECT_EQ(form.fields[PriceField::kOpen].column, 4);
    EXPECT_FALSE(form.SkipRowsEnabled());
    EXPECT_FALSE(form.MakeEMasterEnabled());
    form.master = 1;
    EXPECT_TRUE(form.MakeEMasterEnabled());
}

TEST(StoredSettings, RecentFilesAndThePlacementOfAMaximisedWindow) {
    ui::MemorySettingsStore store;
    for (const char* file : {"/a", "/b", "/c", "/d", "/e", "/c"}) {
        ui::NoteRecentFile(store, file);
    }
    EXPECT_EQ(ui::RecentFiles(store), (std::vector<std::string>{"/c", "/e", "/d", "/b"}));
    ui::NoteRecentFile(store, "/e", false);
    EXPECT_EQ(ui::RecentFiles(store), (std::vector<std::string>{"/c", "/d", "/b"}));

    ui::SavePlacement(store, {10, 20, 800, 600, true});
    const ui::WindowPlacement back = ui::LoadPlacement(store);
    EXPECT_EQ(back.width, 800);
    EXPECT_TRUE(back.maximized);
    const ui::WindowPlacement fitted = ui::FitPlacement(back, 640, 480);  // too large for it
    EXPECT_EQ(fitted.width, 544);
    EXPECT_EQ(fitted.x, 48);
    EXPECT_TRUE(fitted.maximized);
    EXPECT_EQ(ui::FitPlacement(back, 1024, 768).x, 10);
    // Kept when the size is positive and the corner and size lie within the screen.
    auto fit = [](int x, int y, int width, int height) {
        const ui::WindowPlacement p = ui::FitPlacement({x, y, width, height, false}, 1024, 768);
        return std::vector<int>{p.x, p.y, p.width, p.height};
    };
    const std::vector<int> centred = {77, 58, 870, 652};
    EXPECT_EQ(fit(0, 0, 0, 0), centred);
    EXPECT_EQ(fit(100, 10, 1024, 500), (std::vector<int>{100, 10, 1024, 500}));
    EXPECT_EQ(fit(-1, 10, 500, 500), centred);
    EXPECT_EQ(fit(10, 10, 500, 769), centred);
    EXPECT_EQ(fit(1024, 768, 10, 10), (std::vector<int>{1024, 768, 10, 10}));
}

// The symbol proposed from a file's name: upper case, only what the code page holds, 16 at most.
TEST(FileStart, SymbolOfFile) {
    EXPECT_EQ(ui::SymbolOfFile("/x/aapl.us.txt", 1252), "AAPL.US");
    EXPECT_EQ(ui::SymbolOfFile("/x/a-very-long-file-name.csv", 1252), "A-VERY-LONG-FILE");
    // Windows-1252 has no Ł or Ź, Windows-1250 has all four.
    EXPECT_EQ(ui::SymbolOfFile("/x/łódź.csv", 1252), "ÓD");
    EXPECT_EQ(ui::SymbolOfFile("/x/łódź.csv", 1250), "ŁÓDŹ");
    EXPECT_EQ(ui::SymbolOfFile("/x/сбер.csv", 1251), "СБЕР");
}

// Detection's symbol, name, period and time columns reach the form with its price columns.
TEST(FileStart, TakeLayoutKeepsTheColumnsThatAreNotPrices) {
    engine::DetectedLayout layout;
    layout.columns = {1, 0, 2, 4};
    ui::FormValues form;
    ui::TakeLayout(layout, &form);
    EXPECT_EQ(form.columns, layout.columns);
}

class FileStartTest : public JobFixture {};

// The master choice follows the directory whatever the last run chose.
TEST_F(FileStartTest, MasterChoiceFollowsTheDirectory) {
    EXPECT_EQ(ui::MasterChoiceFor(dir.path()), 1);
    EXPECT_EQ(ui::MasterChoiceFor(dir / "missing"), 1);
    WriteFileBytes(dir / "master", MasterWith({OtherMasterRecord(1, "ABC", "Abc")}));
    EXPECT_EQ(ui::MasterChoiceFor(dir.path()), 0);
    const ui::DirectoryStatus status = ui::DescribeDirectory(dir.path(), 1);
    EXPECT_EQ(status.fittingMaster, 0);
    EXPECT_TRUE(status.warn);
}

// Detection with doubts keeps settings of the last run that read the file, and says in what they
// differ from its proposal.
TEST_F(FileStartTest, KeptLastRunSettingsNameTheirDifferences) {
    // Two heading lines read as one is taken; the proposal has doubts about one line of text.
    WriteFileBytes(dir / "in.csv",
                   "Prices\nDate,Open,High,Low,Close\n" + DailyLines(30, ",1,2,1,2"));
    engine::ConversionSettings lastRun;
    lastRun.inputPath = dir / "in.csv";
    lastRun.skipOn = true;
    lastRun.skipRows = 3;
    for (PriceField field : {PriceField::kVolume, PriceField::kOpenInterest}) {
        lastRun.fields[field].on = false;
    }
    engine::DetectedLayout layout;
    layout.skipRows = 2;
    layout.dateFormat = engine::DateFormat::MMDDYY;
    layout.fields = lastRun.fields;
    layout.fields[PriceField::kOpen].on = false;
    EXPECT_EQ(ui::DescribeDifferences(lastRun, layout),
              (std::vector<std::string>{"Skip 3 heading lines (detected: 2)",
                                        "Open column 2 (detected: not stored)"}));
    lastRun.skipOn = false;
    EXPECT_EQ(ui::DescribeDifferences(lastRun, layout).front(),
              "Skip no heading lines (detected: 2)");
}

// A file with a symbol column gives its securities: the line under the detection does not ask
// for a symbol and a name.
TEST_F(FileStartTest, DetectionSaysWhatIsLeftToTheUser) {
    WriteFileBytes(dir / "one.csv", "Date,Open,High,Low,Close\n" + DailyLines(30, ",1,2,1,2"));
    EXPECT_NE(ui::DetectForForm(dir / "one.csv", nullptr).line.find("the symbol and the name"),
              std::string::npos);
    std::string lines = "Symbol,Date,Open,High,Low,Close\n";
    for (const char* symbol : {"AAA,", "BBB,"}) {
        std::istringstream days(DailyLines(30, ",1,2,1,2"));
        for (std::string day; std::getline(days, day);) {
            lines += symbol + day + "\n";
        }
    }
    WriteFileBytes(dir / "many.csv", lines);
    const std::string line = ui::DetectForForm(dir / "many.csv", nullptr).line;
    EXPECT_NE(line.find("Left to you: the directory and the master;"), std::string::npos) << line;
}

TEST_F(FileStartTest, SessionLogSaysWhatEachRunDid) {
    ui::SessionLog log;
    auto job = MakeJob(DailyLines(3));
    ASSERT_EQ(job->Run(), 0);
    log.Converted(*job->job, true, "");
    EXPECT_EQ(log.Last().substr(0, 35), "Conversion completed successfully!\n");

    auto again = MakeJob(DailyLines(5));
    again->settings.master = engine::MasterChoice::kUseExisting;
    again->settings.replaceExisting = true;
    ASSERT_EQ(again->Run(), 0);
    log.Converted(*again->job, true, "");
    EXPECT_NE(log.Last().find("\nReplaced XYZ in " + dir.path() +
                              ": it held 3 records, it now holds 5 records.\n"),
              std::string::npos)
        << log.Last();

    auto refused = MakeJob(DailyLines(1));
    refused->settings.master = engine::MasterChoice::kUseExisting;
    ASSERT_EQ(refused->Run(), 1);
    log.Converted(*refused->job, false, notifier.messages.back());
    EXPECT_EQ(log.Last(),
              "Conversion failed.\nDuplicate Symbol\n"
              "Nothing in " +
                  dir.path() + " was changed.");
    ASSERT_EQ(log.Entries().size(), 3u);
    log.Clear();
    EXPECT_TRUE(log.Entries().empty());
}

}  // namespace
}  // namespace testing_support

namespace testing_support {
namespace {

// Answers a task's questions from a script and records what it was told and asked.
class ScriptedQuestions final : public ui::Questions {
public:
    void Tell(const std::string& message) override { told.push_back(message); }
    bool Ask(const std::string& question) override {
        told.push_back(question);
        return yes;
    }
    std::vector<std::string> told;
    bool yes = false;
};

TEST_F(FileStartTest, TasksAskThroughTheQuestionsAndCancelChangesNothing) {
    ScriptedQuestions questions;
    auto pending = MakeJob(DailyLines(3) + "0230xx,1,2,3,4,5,6\n");
    int commits = 0;  // the shells take Cancel away when told the commit begins
    const auto committing = [&] { ++commits; };
    ui::ConversionTask cancelled(pending->settings, questions);
    cancelled.Cancel();
    ui::TaskResult result = cancelled.Run(nullptr, committing);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.refusal.has_value());
    EXPECT_EQ(result.logEntry, "Conversion cancelled.\nNothing in " + dir.path() + " was changed.");
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});

    ui::ConversionTask refused(pending->settings, questions);  // "Store anyway?" answered No
    result = refused.Run(nullptr, committing);
    EXPECT_FALSE(result.succeeded);
    ASSERT_TRUE(result.refusal.has_value());
    EXPECT_EQ(result.refusal->field, engine::SettingsField::kDateFormat);
    ASSERT_EQ(questions.told.size(), 1u);
    EXPECT_NE(questions.told[0].find("Store the file anyway?"), std::string::npos);

    questions.yes = true;
    EXPECT_EQ(commits, 0);
    result = ui::ConversionTask(pending->settings, questions).Run(nullptr, committing);
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(commits, 1);
    const std::string removed = ui::RemovalTask(dir.path(), "xyz", 1252, questions).Run().logEntry;
    EXPECT_EQ(removed, "Removed XYZ from " + dir.path() + ".");
}

}  // namespace
}  // namespace testing_support
