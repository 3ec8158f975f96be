// korvex-cli run in-process: the command line, its checks, and what a conversion prints.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/cli/RunCli.h"
#include "tests/support/TestSupport.h"

namespace testing_support {
namespace {

using Outcome = CliOutcome;

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFileBytes(dir / "in.csv",
                       "Date,Open,High,Low,Close,Volume,OI\n"
                       "083099,1.5,2,1,1.75,1000,50\n"
                       "083199,1.5,2,1,1.75,1000,50\n");
        std::filesystem::create_directory(dir / "db");
    }

    // Some tests run the command from inside the temporary directory, as a user would.
    void TearDown() override { std::filesystem::current_path(startedIn_); }

    // A convert command line for in.csv into db with a new MASTER, followed by `more`.
    std::vector<std::string> Convert(std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"convert",      dir / "in.csv", "--dir",
                                         dir / "db",     "--symbol",     "xyz",
                                         "--new-master", "--skip",       "1"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    TempDir dir;

private:
    std::filesystem::path startedIn_ = std::filesystem::current_path();
};

TEST_F(CliTest, ConvertsAndSummarises) {
    Outcome r = RunCli(Convert({"--name", "XYZ Corp", "--period", "Weekly"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Converted 2 price records of XYZ into " + (dir / "db/F1.DAT") +
                         " (1999-08-30 to 1999-08-31).\n");
    std::string master = ReadFileBytes(dir / "db/MASTER");
    ASSERT_EQ(master.size(), 106u);
    EXPECT_EQ(master.substr(53 + 7, 16), "XYZ Corp        ");
    EXPECT_EQ(master[53 + 33], 'W');
    EXPECT_EQ(master.substr(53 + 36, 16), "XYZ             ");
    EXPECT_EQ(ReadFileBytes(dir / "db/F1.DAT").size(), 3u * 28);
}

// A symbol and a name outside ASCII are written in MASTER's code page, as the Windows programs
// that read the directory take them, and read back in it; a character the code page lacks is
// refused with its name and a code page that has it.
TEST_F(CliTest, SymbolsAndNamesAreWrittenInTheCodePage) {
    const std::string munich = "M\xC3\x9CNCHEN";  // MÜNCHEN
    const std::string name =
        "M\xC3\xBCnchener R\xC3\xBC"
        "ck";  // Münchener Rück
    const std::string lodz =
        "\xC5\x81\xC3\x93"
        "D\xC5\xB9";  // ŁÓDŹ
    Outcome r = RunCli({"convert", dir / "in.csv", "--dir", dir / "db", "--symbol", munich,
                        "--name", name, "--new-master", "--skip", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string master = ReadFileBytes(dir / "db/MASTER");
    EXPECT_EQ(master.substr(53 + 7, 16),
              "M\xFCnchener R\xFC"
              "ck  ");
    EXPECT_EQ(master.substr(53 + 36, 16), "M\xDCNCHEN" + std::string(9, ' '));
    EXPECT_NE(RunCli({"list", dir / "db", "--csv"}).out.find("," + munich + "," + name + ","),
              std::string::npos);
    EXPECT_EQ(RunCli({"export", dir / "db", munich}).status, 0);
    Outcome duplicate =
        RunCli({"convert", dir / "in.csv", "--dir", dir / "db", "--symbol", munich, "--skip", "1"});
    EXPECT_EQ(duplicate.err.rfind("korvex: Duplicate Symbol\n", 0), 0u) << duplicate.err;

    Outcome refused =
        RunCli({"convert", dir / "in.csv", "--dir", dir / "db", "--symbol", lodz, "--skip", "1"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.substr(0, refused.err.find('\n')),
              "korvex: --symbol: The symbol holds \"\xC5\x81\", which code page 1252 (Western "
              "European) does not have: choose code page 1250 (Central European), or other "
              "characters.");
    std::filesystem::create_directory(dir / "pl");
    ASSERT_EQ(RunCli({"convert", dir / "in.csv", "--dir", dir / "pl", "--symbol", lodz,
                      "--codepage", "1250", "--new-master", "--skip", "1"})
                  .status,
              0);
    EXPECT_EQ(ReadFileBytes(dir / "pl/MASTER").substr(53 + 36, 4),
              "\xA3\xD3"
              "D\x8F");
    EXPECT_NE(RunCli({"list", dir / "pl", "--codepage", "1250"}).out.find(lodz), std::string::npos);
    EXPECT_EQ(RunCli({"list", dir / "pl", "--codepage", "1249"}).status, 2);
}

TEST_F(CliTest, RelativePathsAreTakenFromWhereTheCommandRuns) {
    std::filesystem::current_path(dir.path());
    Outcome r = RunCli({"convert", "in.csv", "--dir", "db", "--symbol", "abc  ", "--new-master",
                        "--skip=1", "--columns", "date=1,close=5,VOL=6"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(dir / "db/F1.DOP"), "\"DATE\",0,0\r\n\"CLOSE\",4,4\r\n\"VOL\",4,4\r\n");
    EXPECT_EQ(ReadFileBytes(dir / "db/MASTER").substr(53 + 36, 16), "ABC             ");
    EXPECT_EQ(ReadFileBytes(dir / "db/F1.DAT").size(), 3u * 12);
}

TEST_F(CliTest, StepMessagesGoToStandardErrorWithTheirLineBreaks) {
    ASSERT_EQ(RunCli(Convert()).status, 0);
    Outcome duplicate = RunCli({"convert", dir / "in.csv", "--dir", dir / "db", "--symbol", "XYZ"});
    EXPECT_EQ(duplicate.status, 1);
    EXPECT_EQ(duplicate.err,
              "korvex: Duplicate Symbol\nkorvex: Nothing in " + (dir / "db") + " was changed.\n");
    EXPECT_EQ(duplicate.out, "Nothing was converted.\n");

    Outcome unskipped = RunCli({"convert", dir / "in.csv", "--dir", dir / "db", "--symbol", "NEW"});
    EXPECT_EQ(unskipped.status, 1);
    EXPECT_EQ(unskipped.err,
              "korvex: You specified a numeric-only date format\nbut a non-numeric date character "
              "was found.\nkorvex: 8 problems were found in the input file " +
                  (dir / "in.csv") +
                  ":\nline 1, date \"Date\": is shorter than MMDDYY, whose groups have two digits "
                  "each\nline 1, date \"Date\": "
                  "holds other characters than digits, but MMDDYY is written in digits only\n"
                  "line 1, open price \"Open\": is not a number\nline 1, high price \"High\": is "
                  "not a number\nline 1, low price \"Low\": is not a number\nline 1, close price "
                  "\"Close\": is not a number\nline 1, volume \"Volume\": is not a number\nline "
                  "1, open interest \"OI\": is not a number\nNothing was converted.\nkorvex: "
                  "Nothing in " +
                  (dir / "db") + " was changed.\n");
    EXPECT_EQ(unskipped.out, "Nothing was converted.\n");
}

TEST_F(CliTest, EveryDateFormatNameReadsItsLayout) {
    const std::pair<const char*, const char*> formats[] = {
        {"YY_MM_DD", "99/08/30"},     {"ccyy_mm_dd", "1999-08-30"}, {"MM_DD_YY", "08/30/99"},
        {"MM_DD_CCYY", "08.30.1999"}, {"DD_MM_YY", "30/08/99"},     {"DD_MM_CCYY", "30/08/1999"},
        {"YYMMDD", "990830"},         {"CCYYMMDD", "19990830"},     {"MmDdYy", "083099"},
        {"MMDDCCYY", "08301999"},     {"DDMMYY", "300899"},         {"DDMMCCYY", "30081999"}};
    for (const auto& [name, date] : formats) {
        SCOPED_TRACE(name);
        TempDir out;
        WriteFileBytes(out / "in.txt", std::string(date) + "\t1.75\n");
        Outcome r =
            RunCli({"convert", out / "in.txt", "--dir", out.path(), "--symbol", "X", "--new-master",
                    "--date-format", name, "--delimiter", "TAB", "--columns", "date=1,close=2"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ToHex(ReadFileBytes(out / "F1.DAT").substr(8, 4)), "E0 E6 71 94");
    }
}

TEST_F(CliTest, BadCommandLinesAreRefusedBeforeAnythingIsTouched) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"convert"}, "no input file given"},
        {{"convert", "in.csv", "--symbol", "X"}, "no target directory given (--dir)"},
        {{"convert", "in.csv", "--dir", "db"}, "no symbol given (--symbol)"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--frobnicate"},
         "unknown option '--frobnicate'"},
        {{"convert", "a", "b", "--dir", "db", "--symbol", "X"},
         "--symbol: only with one input file; each of several files takes its name as its symbol "
         "(aapl.csv: AAPL)"},
        {{"convert", "in.csv", "--dir"}, "--dir needs a value"},
        {{"convert", "in.csv", "--dir", "db", "--dir", "db2", "--symbol", "X"},
         "--dir is given more than once"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--dry-run", "--dry-run"},
         "--dry-run is given more than once"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--replace", "--new-master"},
         "--new-master and --replace cannot be given together"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--delimiter", "pipe"},
         "--delimiter: must be comma, tab, space or semicolon, not 'pipe'"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--period", "60"},
         "--period: '60' is an intraday period, whose prices take another record layout (with a "
         "time field) that Korvex does not write; the period must be D, W or M (or Daily, "
         "Weekly, Monthly, in any letter case)"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--period", "yearly"},
         "--period: must be D, W or M (or Daily, Weekly, Monthly, in any letter case), not "
         "'yearly'"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--decimal-comma"},
         "--decimal-comma: the columns must then be separated by a semicolon, a tab or a space "
         "(--delimiter)"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--date-format", "MMDD"},
         "--date-format: unknown date format 'MMDD'; see 'korvex-cli convert --help' for the "
         "names"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--skip", "201"},
         "--skip: the number of rows must be from 0 to 200, not '201'"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--columns", "date=1,close=21"},
         "--columns: the column of 'close' must be a number from 1 to 20"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--columns", "date=1,open=2"},
         "--columns: the date and the close must be listed"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--columns", "date=1,date=2"},
         "--columns: the field 'date' is listed twice"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--columns", "date=1,last=2"},
         "--columns: unknown field 'last' (known: date, open, high, low, close, volume, vol, oi, "
         "openint, symbol, ticker, name, period, per, time, series)"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--series", "EQ"},
         "--series: the file has no series column; name it with --columns series=N"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--columns",
          "date=3,close=5,high=3"},
         "Duplicate columns specified\nCorrect or disable"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "   "},
         "You did not enter a valid symbol"},
        {{"convert", "in.csv", "--dir", "  ", "--symbol", "   "},
         "You did not enter a valid symbol"},
        {{"convert", "in.csv", "--dir", "  ", "--symbol", "X"}, "Please enter path"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "ABCDEFGHIJKLMNOPQ"},
         "--symbol: the symbol must be at most 16 characters long"},
        {{"convert", "in.csv", "--dir", "db", "--symbol", "X", "--name", std::string(17, 'n')},
         "--name: the name must be at most 16 characters long"},
        {{"convert", "in.csv", "--dir", std::string(201, 'd'), "--symbol", "X"},
         "--dir: the directory must be at most 200 bytes long"},
    };
    std::filesystem::current_path(dir.path());
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        Outcome r = RunCli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "korvex: " + message + "\nTry 'korvex-cli convert --help'.\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ListNames(dir / "db"), std::vector<std::string>{});
}

TEST_F(CliTest, ReplaceAndRemoveUndoAndRedoAConversion) {
    ASSERT_EQ(RunCli(Convert()).status, 0);
    WriteFileBytes(dir / "one.csv", "090199,2,3,1,2.5,10,1\n");
    Outcome replaced =
        RunCli({"convert", dir / "one.csv", "--dir", dir / "db", "--symbol", "xyz", "--replace"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(replaced.out, "Converted 1 price record of XYZ into " + (dir / "db/F1.DAT") +
                                " (1999-09-01 to 1999-09-01).\n");
    EXPECT_EQ(ReadFileBytes(dir / "db/F1.DAT").size(), 2u * 28);

    Outcome removed = RunCli({"remove", dir / "db", "XYZ"});
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_EQ(removed.out, "Removed XYZ (F1.DAT) from " + (dir / "db") + ".\n");
    EXPECT_EQ(ListNames(dir / "db"), (std::vector<std::string>{"MASTER", "MASTER.BAK"}));
    EXPECT_EQ(ToHex(ReadFileBytes(dir / "db/MASTER").substr(0, 4)), "00 00 00 00");  // none in use

    Outcome again = RunCli({"remove", dir / "db", "XYZ"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err, "korvex: The Master file " + (dir / "db/MASTER") +
                             " lists no security XYZ.\nkorvex: Nothing in " + (dir / "db") +
                             " was changed.\n");
    EXPECT_EQ(RunCli({"remove", dir / "db"}).status, 2);
}

TEST_F(CliTest, DryRunsAndAcceptedProblems) {
    WriteFileBytes(dir / "db/MASTER.korvex-tmp", "no run's");  // no journal lists it: it stays
    Outcome dry = RunCli(Convert({"--dry-run"}));
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out, "Would convert 2 price records of XYZ into " + (dir / "db/F1.DAT") +
                           " (1999-08-30 to 1999-08-31).\n");
    EXPECT_EQ(dry.err, "");
    EXPECT_EQ(ListNames(dir / "db"), std::vector<std::string>{"MASTER.korvex-tmp"});

    // Newest first, one value missing: a problem, unless accepted; then the summary says both.
    WriteFileBytes(dir / "new.csv", "083199,1,2,1,1.8,1000,50\n083099,1,2,1,1.75,1000\n");
    std::vector<std::string> args = {"convert",  dir / "new.csv", "--dir",       dir / "db",
                                     "--symbol", "NEW",           "--new-master"};
    Outcome refused = RunCli(args);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("line 2, open interest: is missing"), std::string::npos);
    args.push_back("--dry-run");
    EXPECT_EQ(RunCli(args).status, 1);
    args.back() = "--accept-problems";
    Outcome accepted = RunCli(args);
    EXPECT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_EQ(accepted.out,
              "Converted 2 price records of NEW into " + (dir / "db/F1.DAT") +
                  " (1999-08-30 to 1999-08-31). The file lists the newest day first; the records "
                  "are written oldest first. 1 open interest was stored as 0.\n");
    EXPECT_EQ(ListNames(dir / "db"),
              (std::vector<std::string>{"F1.DAT", "F1.DOP", "MASTER", "MASTER.korvex-tmp"}));
}

TEST_F(CliTest, HelpVersionAndUnknownCommands) {
    Outcome help = RunCli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("korvex-cli convert INPUT... --dir DIR [options]"), std::string::npos);
    Outcome convertHelp = RunCli({"convert", "--help"});
    EXPECT_EQ(convertHelp.status, 0);
    for (const char* option : {"--dir", "--symbol", "--name", "--new-master", "--delimiter",
                               "--date-format", "--skip", "--columns", "DDMMCCYY"}) {
        EXPECT_NE(convertHelp.out.find(option), std::string::npos) << option;
    }
    // The examples use the paths of the platform the program runs on.
#ifdef _WIN32
    const std::string example = "convert C:\\Data\\prices.csv --dir C:\\Data\\Stocks";
    const std::string otherPlatform = "~/";
#else
    const std::string example = "convert ~/data/prices.csv --dir ~/data/stocks";
    const std::string otherPlatform = "C:\\";
#endif
    for (const Outcome& text : {help, convertHelp}) {
        EXPECT_NE(text.out.find(example), std::string::npos) << text.out;
        EXPECT_EQ(text.out.find(otherPlatform), std::string::npos) << text.out;
    }
    // The synopses come from the table of options: none is left out.
    EXPECT_NE(help.out.find("korvex-cli check DIR [--verbose] [--codepage N]\n"), std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("korvex-cli list DIR [--csv | --json] [--codepage N]\n"),
              std::string::npos);
    EXPECT_EQ(RunCli({"--version"}).out, "korvex-cli 1.4.0\n");
    EXPECT_EQ(RunCli({}).status, 2);
    Outcome unknown = RunCli({"merge"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "korvex: unknown command 'merge'\nTry 'korvex-cli --help'.\n");
}

}  // namespace
}  // namespace testing_support
