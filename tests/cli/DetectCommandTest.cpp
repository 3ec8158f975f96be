// korvex-cli detect and convert --detect, in-process: files shaped like public downloads convert
// exactly with the proposal alone, and what the command prints and returns.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "tests/cli/RunCli.h"
#include "tests/support/DownloadShapes.h"
#include "tests/support/TestSupport.h"

namespace testing_support {
namespace {

// Each shape converts with --detect alone, and exports as the values it holds.
TEST(DetectCommandTest, DownloadsConvertWithTheProposalAlone) {
    for (const DownloadShape& shape : DownloadShapes()) {
        SCOPED_TRACE(shape.name);
        TempDir dir;
        WriteFileBytes(dir / "in.txt", shape.input);
        CliOutcome converted = RunCli({"convert", dir / "in.txt", "--dir", dir.path(),
                                       "--new-master", "--symbol", "ACME", "--detect"});
        ASSERT_EQ(converted.status, 0) << converted.err;
        EXPECT_EQ(converted.err.rfind("korvex: --detect: --delimiter ", 0), 0u) << converted.err;
        CliOutcome exported = RunCli({"export", dir.path(), "ACME"});
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(exported.out, shape.exported);
    }
}

TEST(DetectCommandTest, OptionsGivenWinOverTheProposal) {
    TempDir dir;
    WriteFileBytes(dir / "in.csv",
                   "Date,Open,High,Low,Close,Volume\n2024-01-02,10.5,11,10,10.75,1200\n"
                   "2024-01-03,10.75,11.5,10.5,11.25,1300\n");
    CliOutcome r = RunCli({"convert", dir / "in.csv", "--dir", dir.path(), "--new-master",
                           "--symbol", "ACME", "--detect", "--columns", "date=1,close=3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunCli({"export", dir.path(), "ACME"}).out,
              "Date,Close\n2024-01-02,11\n2024-01-03,11.5\n");
    // The options told are those the run reads with.
    EXPECT_EQ(r.err,
              "korvex: --detect: --delimiter comma --skip 1 --date-format CCYY_MM_DD "
              "--columns date=1,close=3\n");
    // A delimiter given is the one the detection works with: a tab splits nothing here.
    r = RunCli({"convert", dir / "in.csv", "--dir", dir / "other", "--new-master", "--symbol",
                "ACME", "--detect", "--delimiter", "tab"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "korvex: --detect: no layout can be proposed for " + dir / "in.csv" +
                         ": the tab does not split the lines into a steady number of fields\n"
                         "Nothing was converted.\n");
    EXPECT_FALSE(FileExists(dir / "other"));

    // One date whose day and month could be either way round: a guess is not converted, and a
    // format given decides.
    WriteFileBytes(dir / "day.csv", "Date,Close\n03/04/2024,10.5\n");
    r = RunCli({"convert", dir / "day.csv", "--dir", dir / "day", "--new-master", "--symbol", "DAY",
                "--detect"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("korvex: --detect: the dates read in more than one date format (above), "
                         "and nothing in the first lines tells which the file means: give it "
                         "with --date-format\nNothing was converted.\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(FileExists(dir / "day"));
    r = RunCli({"convert", dir / "day.csv", "--dir", dir.path(), "--symbol", "DAY", "--detect",
                "--date-format", "DD_MM_CCYY"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RunCli({"export", dir.path(), "DAY"}).out, "Date,Close\n2024-04-03,10.5\n");
    EXPECT_EQ(r.err.find("not decided"), std::string::npos) << r.err;  // the format given decides
}

TEST(DetectCommandTest, DetectPrintsTheOptionsTheReasonsAndTheFirstRows) {
    TempDir dir;
    WriteFileBytes(dir / "in.csv",
                   "Date;Close\n02.01.2024;10,5\n03.01.2024;11\n04.01.2024;11,25\n");
    CliOutcome r = RunCli({"detect", dir / "in.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Proposed (low confidence):\n"
              "  --delimiter semicolon --decimal-comma --skip 1 --date-format DD_MM_CCYY "
              "--columns date=1,close=2\n"
              "\nWhy:\n"
              "  - The delimiter is a semicolon: it splits 4 of 4 lines into 2 fields.\n"
              "  - Numbers are written with a decimal comma (10,5).\n"
              "  - The prices begin on line 2, so 1 line is skipped.\n"
              "  - The dates are in column 1, read as DD_MM_CCYY, in which 30 August 1999 is "
              "30/08/1999 (2024-01-02 to 2024-01-04, oldest first).\n"
              "  - The heading names the close price in column 2 ('Close').\n"
              "  - These settings read all 3 price lines of the sample without a problem.\n"
              "\nNot decided:\n"
              "  - The dates read as DD_MM_CCYY and also as MM_DD_CCYY: no day above 12 in the "
              "sample, so day and month cannot be told apart; DD_MM_CCYY keeps the steps "
              "between the dates smallest.\n"
              "\nThe first rows as they would be stored:\n"
              "  date close\n  2024-01-02 10.5\n  2024-01-03 11\n  2024-01-04 11.25\n");
    CliOutcome json = RunCli({"detect", "--json", dir / "in.csv"});
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    EXPECT_EQ(parsed["options"],
              "--delimiter semicolon --decimal-comma --skip 1 --date-format DD_MM_CCYY "
              "--columns date=1,close=2");
    EXPECT_EQ(parsed["rows"][0], nlohmann::json::parse(R"({"date": "2024-01-02", "close": 10.5})"));
    EXPECT_NE(json.out.find("\"close\": 11.25"), std::string::npos) << json.out;
}

// A line that cannot be read shows its problem and no made-up zeros, in text and in JSON.
TEST(DetectCommandTest, ARowWithAProblemIsShownAsItReads) {
    TempDir dir;
    WriteFileBytes(dir / "in.csv",
                   "Date,Open,High,Low,Close,Volume\n2024-01-02,10.5,11,10,10.75,1200\n"
                   "2024-01-03,null,null,null,null,null\n2024-01-04,10.75,11.5,10.5,11.25,1300\n");
    CliOutcome r = RunCli({"detect", dir / "in.csv"});
    EXPECT_NE(r.out.find("\n  2024-01-03 ? ? ? ? ?  <- line 3, open price \"null\": is not a "
                         "number (and 4 more)\n  2024-01-04 10.75"),
              std::string::npos)
        << r.out;
    const nlohmann::json row =
        nlohmann::json::parse(RunCli({"detect", "--json", dir / "in.csv"}).out)["rows"][1];
    EXPECT_TRUE(row["close"].is_null()) << row;
    EXPECT_EQ(row["problems"].size(), 5u) << row;
}

TEST(DetectCommandTest, TheColumnsOfManySecuritiesArePrintedAsConvertNamesThem) {
    TempDir dir;
    WriteFileBytes(dir / "in.csv",
                   "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
                   "AAPL,D,20240103,000000,184.22,185.88,183.43,184.25,58414500,0\n"
                   "MSFT,D,20240102,000000,373.86,375.9,366.77,370.87,25258600,0\n"
                   "AAPL,D,20240102,000000,187.15,188.44,183.89,185.64,82488700,0\n");
    const std::string options =
        "--delimiter comma --skip 1 --date-format CCYYMMDD --columns "
        "symbol=1,period=2,date=3,time=4,open=5,high=6,low=7,close=8,volume=9,oi=10";
    CliOutcome r = RunCli({"detect", dir / "in.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n  " + options + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  - The heading names the symbol in column 1 ('<TICKER>'), period in "
                         "column 2 ('<PER>'), time in column 4 ('<TIME>').\n"),
              std::string::npos)
        << r.out;
    // Each row says whose it is, and they come as stored: each symbol's together, oldest first.
    EXPECT_NE(r.out.find("\n  symbol date open high low close volume oi\n"
                         "  AAPL 2024-01-02 187.15 188.44 183.89 185.64 82488700 0\n"
                         "  AAPL 2024-01-03 184.22"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n  MSFT 2024-01-02 373.86"), std::string::npos) << r.out;
    CliOutcome json = RunCli({"detect", "--json", dir / "in.csv"});
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json parsed = nlohmann::json::parse(json.out);
    EXPECT_EQ(parsed["options"], options);
    EXPECT_EQ(parsed["columns"],
              nlohmann::json::parse(R"({"symbol": 1, "period": 2, "date": 3, "time": 4, "open": 5,
                                        "high": 6, "low": 7, "close": 8, "volume": 9, "oi": 10})"));
    EXPECT_EQ(parsed["rows"][1]["date"], "2024-01-03");
    EXPECT_EQ(parsed["rows"][2]["symbol"], "MSFT");
}

TEST(DetectCommandTest, ExitStatusSaysWhetherALayoutIsProposed) {
    TempDir dir;
    WriteFileBytes(dir / "words.txt", "no prices here\nnone at all\n");
    CliOutcome none = RunCli({"detect", dir / "words.txt"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "korvex: no layout can be proposed for " + dir / "words.txt" +
                            ": no delimiter (comma, tab, semicolon, space) splits the lines into "
                            "a steady number of two or more fields\n");
    CliOutcome json = RunCli({"detect", dir / "words.txt", "--json"});
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(json.out.find("\"found\": false"), std::string::npos) << json.out;
    WriteFileBytes(dir / "utf16.txt", std::string("\xFF\xFE"
                                                  "D\0a\0",
                                                  6));
    EXPECT_EQ(RunCli({"detect", dir / "utf16.txt"}).status, 1);
    EXPECT_EQ(RunCli({"detect", dir / "missing.txt"}).status, 1);
    EXPECT_EQ(RunCli({"detect"}).status, 2);
    EXPECT_EQ(RunCli({"detect", "a", "b"}).status, 2);
    EXPECT_EQ(RunCli({"detect", "a", "--csv"}).status, 2);
    EXPECT_NE(RunCli({"--help"}).out.find("korvex-cli detect FILE [--json]"), std::string::npos);
}

}  // namespace
}  // namespace testing_support
