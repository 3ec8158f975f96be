// The preview of a file before it is converted: the first records in the order they will be
// stored, and the whole file's summary.
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"
#include "ui/Preview.h"

namespace testing_support {
namespace {

class PreviewTest : public ::testing::Test {
protected:
    engine::ConversionSettings Settings(const std::string& text) {
        WriteFileBytes(dir / "in.csv", text);
        engine::ConversionSettings settings;
        settings.inputPath = dir / "in.csv";
        settings.dateFormat = engine::DateFormat::MMDDYY;
        for (engine::PriceField field :
             {engine::PriceField::kVolume, engine::PriceField::kOpenInterest}) {
            settings.fields[field].on = false;
        }
        return settings;
    }
    ui::FileSummary Summary(const engine::ConversionSettings& settings) {
        return ui::SummarizeFile(settings, cancel);
    }

    TempDir dir;
    std::atomic<bool> cancel{false};
};

TEST_F(PreviewTest, NewestFirstFileIsShownAndSummedUpInTheOrderStored) {
    const auto settings = Settings("010324,1,2,1,2\n010224,1,2,1,2\n010124,1,2,1,x\n");
    ui::PreviewModel model;
    ASSERT_TRUE(model.Load(settings, 20).ok());
    EXPECT_TRUE(model.Reversed());
    ASSERT_EQ(model.RowCount(), 3);
    ASSERT_EQ(model.ColumnCount(), 5);
    EXPECT_EQ(model.RowHeading(0), "line 3");
    EXPECT_EQ(model.Cell(0, 0).text, "2024-01-01");
    EXPECT_EQ(model.ColumnHeading(4), "Close");
    EXPECT_EQ(model.ColumnTip(4), "Column 5 of the file");
    EXPECT_TRUE(model.Cell(0, 4).number);
    EXPECT_EQ(model.CellProblems(0, 4).rfind("line 3, close price \"x\": ", 0), 0u);
    EXPECT_EQ(model.Cell(0, 4).text, "?");
    EXPECT_TRUE(model.CellProblems(1, 4).empty());

    const ui::FileSummary summary = Summary(settings);
    EXPECT_TRUE(summary.bad);
    EXPECT_EQ(summary.text.substr(0, summary.text.find("\nThe first: ")),
              "The whole file: 2 records, 2024-01-02 to 2024-01-03.\n"
              "The file lists the newest day first; the records will be stored oldest first.\n"
              "1 problem.");
    EXPECT_NE(summary.text.find("\nThe first: Line 3, close price \"x\": "), std::string::npos);
}

// With a symbol column, each symbol's records come together under it, each oldest first.
TEST_F(PreviewTest, ASymbolColumnShowsEachSecurityInItsOwnOrder) {
    auto settings = Settings("AAA,010324,3\nBBB,010224,5\nAAA,010224,2\nBBB,010324,6\n");
    settings.columns.symbol = 1;
    for (engine::PriceField field : msdb::kPriceFields) {
        settings.fields[field].on = false;
    }
    settings.fields[engine::PriceField::kDate] = {true, 2};
    settings.fields[engine::PriceField::kClose] = {true, 3};
    ui::PreviewModel model;
    ASSERT_TRUE(model.Load(settings, 20).ok());
    ASSERT_EQ(model.ColumnCount(), 3);
    EXPECT_EQ(model.ColumnHeading(0), "Symbol");
    EXPECT_EQ(model.ColumnTip(0), "Column 1 of the file");
    EXPECT_EQ(model.ColumnHeading(2), "Close");
    EXPECT_EQ(model.OrderNote().rfind("Some symbols list the newest day first", 0), 0u);
    std::string shown;
    for (int row = 0; row < model.RowCount(); ++row) {
        shown += model.RowHeading(row) + " " + model.Cell(row, 0).text + " " +
                 model.Cell(row, 1).text + " " + model.Cell(row, 2).text + "\n";
    }
    EXPECT_EQ(shown,
              "line 3 AAA 2024-01-02 2\nline 1 AAA 2024-01-03 3\n"
              "line 2 BBB 2024-01-02 5\nline 4 BBB 2024-01-03 6\n");
}

// Skipping a line that reads as a record loses a day: a problem, not "No problems".
TEST_F(PreviewTest, ASkippedLineThatReadsAsARecordIsAProblem) {
    auto settings = Settings("Date,Open,High,Low,Close\n010224,1,2,1,2\n010324,1,2,1,2\n");
    settings.skipOn = true;
    settings.skipRows = 1;
    EXPECT_EQ(Summary(settings).text,
              "The whole file: 2 records, 2024-01-02 to 2024-01-03.\nNo problems.");
    settings.skipRows = 2;
    const ui::FileSummary summary = Summary(settings);
    EXPECT_TRUE(summary.bad);
    EXPECT_EQ(summary.text,
              "The whole file: 1 record, 2024-01-03 to 2024-01-03.\n1 problem.\n"
              "Line 2 is skipped as a heading line, but it reads as a record of 2024-01-02: skip "
              "fewer lines.");
}

TEST_F(PreviewTest, ACancelledSummarySaysNothing) {
    cancel = true;
    const ui::FileSummary summary = Summary(Settings("010224,1,2,1,2\n"));
    EXPECT_TRUE(summary.cancelled);
    EXPECT_TRUE(summary.text.empty());
}

}  // namespace
}  // namespace testing_support
