// The files of a run of many in the dialog: each file's row, the symbols and names typed for
// them, the new settings of such runs and the task that runs them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "msdb/FileSystem.h"
#include "tests/support/JobFixture.h"
#include "tests/support/TestSupport.h"
#include "ui/FileList.h"
#include "ui/FileStart.h"
#include "ui/Preview.h"
#include "ui/StoredSettings.h"
#include "ui/Tasks.h"

namespace testing_support {
namespace {

using ui::FileList;

class FileListTest : public JobFixture {
protected:
    // Reading settings for the test files: date, close; with `symbolColumn` a symbol first.
    engine::ConversionSettings Reading(const std::string& file, int symbolColumn = 0) const {
        engine::ConversionSettings settings;
        settings.inputPath = dir / file;
        for (engine::PriceField field : msdb::kPriceFields) {
            settings.fields[field] = {false, 1};
        }
        const int first = symbolColumn != 0 ? 2 : 1;
        settings.fields[engine::PriceField::kDate] = {true, first};
        settings.fields[engine::PriceField::kClose] = {true, first + 1};
        settings.columns.symbol = symbolColumn;
        return settings;
    }
    std::atomic<bool> go{false};
};

TEST_F(FileListTest, FactsOfAFileAndOfOneWithASymbolColumn) {
    WriteFileBytes(dir / "one.csv", "010224,5\n010324,x\n010424,6\n");
    ui::FileFacts facts = ui::ReadFileFacts(Reading("one.csv"), go);
    EXPECT_EQ(facts.state, ui::FileFacts::State::kRead);
    EXPECT_EQ(facts.records, 2);
    EXPECT_EQ(facts.securities, 1);
    EXPECT_EQ(facts.firstDate, "2024-01-02");
    EXPECT_EQ(facts.lastDate, "2024-01-04");
    EXPECT_EQ(facts.problems, 1);

    // Interleaved symbols each keep the order of their own dates; the newest-first one too.
    WriteFileBytes(dir / "many.csv",
                   "AAA,010224,1\nbbb,020524,2\nAAA,010324,1\nBBB,020424,2\n,010524,1\n");
    facts = ui::ReadFileFacts(Reading("many.csv", 1), go);
    EXPECT_EQ(facts.securities, 2);
    EXPECT_EQ(facts.records, 4);
    EXPECT_EQ(facts.firstDate, "2024-01-02");
    EXPECT_EQ(facts.lastDate, "2024-02-05");
    EXPECT_EQ(facts.problems, 1);  // the line without a symbol
    // The dialog's summary counts the securities, rather than reading them as one.
    const ui::FileSummary summary = ui::SummarizeFile(Reading("many.csv", 1), go);
    EXPECT_EQ(summary.text,
              "The whole file: 2 securities, 4 records, 2024-01-02 to 2024-02-05.\n1 problem.");
    EXPECT_TRUE(summary.bad);

    facts = ui::ReadFileFacts(Reading("missing.csv"), go);
    EXPECT_EQ(facts.state, ui::FileFacts::State::kFailed);
}

TEST_F(FileListTest, RowsProposeSymbolsAndKeepWhatIsTyped) {
    FileList list;
    list.SetFiles({dir / "aapl.csv", dir / "msft.us.txt"}, 1252);
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Text(0, FileList::kFile), "aapl.csv");
    EXPECT_EQ(list.Text(1, FileList::kSymbol), "MSFT.US");
    EXPECT_EQ(list.Text(1, FileList::kRecords), "...");
    EXPECT_EQ(list.SetText(1, FileList::kSymbol, "msft  ", 1252), "");
    EXPECT_EQ(list.SetText(1, FileList::kName, "Microsoft", 1252), "");
    EXPECT_NE(list.SetText(0, FileList::kSymbol, "ABCDEFGHIJKLMNOPQ", 1252), "");
    EXPECT_EQ(list.Text(0, FileList::kSymbol), "AAPL");
    const std::vector<engine::InputFile> inputs = list.Inputs();
    EXPECT_EQ(inputs[1].symbol, "MSFT");
    EXPECT_EQ(inputs[1].name, "Microsoft");

    ui::FileFacts facts;
    facts.state = ui::FileFacts::State::kRead;
    facts.securities = 3;
    facts.records = 9;
    list.SetFacts(0, facts);
    list.SetSymbolColumn(true);
    EXPECT_EQ(list.Text(0, FileList::kSymbol), "3 securities");
    EXPECT_FALSE(list.Editable(FileList::kSymbol));
    EXPECT_EQ(list.Inputs()[1].symbol, "");
    EXPECT_FALSE(list.Bad(0));
    list.ForgetFacts();
    EXPECT_EQ(list.Text(0, FileList::kRecords), "...");
}

TEST(StoredSettings, ColumnsUpdateAndXMasterAreStoredAndReachTheRun) {
    ui::MemorySettingsStore store;
    store.values = {{{"Setting", "DateFormat"}, "CCYY_MM_DD"}};  // settings of an earlier version
    ui::FormValues form = ui::LoadForm(store);
    EXPECT_EQ(form.columns, engine::OtherColumns{});
    EXPECT_FALSE(form.update);
    EXPECT_FALSE(form.xmaster);
    form.columns = {8, 9, 10, 0};
    form.update = true;
    form.xmaster = true;
    ui::SaveForm(store, form);
    EXPECT_EQ(ui::LoadForm(store), form);
    const engine::ConversionSettings settings = ui::ToSettings(form, "/in.csv");
    EXPECT_EQ(settings.columns, form.columns);
    EXPECT_TRUE(settings.update);
    EXPECT_TRUE(settings.xmaster);
    EXPECT_FALSE(form.SymbolEnabled(1));
    // Detection, which finds none of them in this file, switches the last run's off.
    engine::DetectedLayout layout;
    layout.fields = form.fields;  // columns 1 to 7
    layout.fields[engine::PriceField::kClose].column = 8;
    ui::FormValues detected = form;
    ui::TakeLayout(layout, &detected);
    EXPECT_EQ(detected.columns, engine::OtherColumns{});
    form.columns.symbol = 0;
    form.columns.name = 5;  // the close's column
    const std::vector<engine::SettingsProblem> problems =
        ui::ToSettings(form, "/in.csv").Validate();
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [](const auto& problem) {
        return problem.kind == engine::ProblemKind::kDuplicateColumns;
    }));
}

class ScriptedQuestions final : public ui::Questions {
public:
    void Tell(const std::string& message) override {
        told.push_back(message);
        if (onTell) {
            onTell();
        }
    }
    bool Ask(const std::string&) override { return false; }
    std::vector<std::string> told;
    std::function<void()> onTell;
};

TEST_F(FileListTest, ManyFilesSymbolColumnOrUpdateRunOverTheDatabase) {
    engine::ConversionSettings settings;
    EXPECT_FALSE(ui::NeedsDatabaseRun(settings, 1));
    EXPECT_TRUE(ui::NeedsDatabaseRun(settings, 2));
    settings.update = true;
    EXPECT_TRUE(ui::NeedsDatabaseRun(settings, 1));
    settings.update = false;
    settings.columns.symbol = 1;
    EXPECT_TRUE(ui::NeedsDatabaseRun(settings, 1));
    settings.columns = {.period = 2};  // a period column is read by that run only
    EXPECT_TRUE(ui::NeedsDatabaseRun(settings, 1));

    WriteFileBytes(dir / "a.csv", "010224,5\n010324,6\n");
    WriteFileBytes(dir / "b.csv", "010224,7\n");
    engine::ConversionSettings run = Reading("a.csv");
    run.directory = dir.path();
    run.master = engine::MasterChoice::kMakeNew;
    FileList list;
    list.SetFiles({dir / "a.csv", dir / "b.csv"}, 1252);
    ASSERT_EQ(list.SetText(1, FileList::kSymbol, "BEE", 1252), "");
    ScriptedQuestions questions;
    ui::DatabaseTask task(run, list.Inputs(), questions);
    int commits = 0;
    const auto committing = [&] { ++commits; };
    const ui::TaskResult result = task.Run(nullptr, committing);
    ASSERT_TRUE(result.succeeded) << result.message;
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(result.logEntry.rfind("Conversion completed successfully!\nSecurities of " +
                                        dir.path() + ": 2 added (3 price records)",
                                    0),
              0u)
        << result.logEntry;
    EXPECT_NE(
        result.logEntry.find("\n  BEE: added, 1 price record in F2.DAT (2024-01-02 to 2024-01-02)"),
        std::string::npos)
        << result.logEntry;

    run.master = engine::MasterChoice::kUseExisting;
    run.update = true;
    ui::DatabaseTask cancelled(run, list.Inputs(), questions);
    cancelled.Cancel();
    const ui::TaskResult stopped = cancelled.Run(nullptr, committing);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(commits, 1);  // stopped before its commit began
    EXPECT_EQ(stopped.logEntry.rfind("Conversion cancelled.\nNothing in", 0), 0u)
        << stopped.logEntry;

    // A refusal is told once the files the run had prepared are gone: the message waits for
    // the user, who may look at the directory meanwhile. Here C is written out before the run
    // finds that A is listed already.
    WriteFileBytes(dir / "c.csv", "010524,8\n");
    list.SetFiles({dir / "c.csv", dir / "a.csv"}, 1252);
    run.update = false;
    std::vector<std::string> before;
    ASSERT_TRUE(msdb::FileSystem::Default().ListDirectory(dir.path(), &before).ok());
    ScriptedQuestions looking;
    looking.onTell = [&] {
        std::vector<std::string> names;
        ASSERT_TRUE(msdb::FileSystem::Default().ListDirectory(dir.path(), &names).ok());
        EXPECT_EQ(names.size(), before.size());
    };
    ui::DatabaseTask refused(run, list.Inputs(), looking);
    EXPECT_FALSE(refused.Run(nullptr, committing).succeeded);
    EXPECT_EQ(looking.told.size(), 1u);
}

}  // namespace
}  // namespace testing_support
