// Runs over many securities: files with a symbol column, folders, updates and more than 255
// securities, each run all or nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/ConversionJob.h"
#include "engine/DatabaseRun.h"
#include "engine/RemoveSecurity.h"
#include "msdb/SecurityFiles.h"
#include "tests/cli/RunCli.h"
#include "tests/support/TestSupport.h"

namespace testing_support {
namespace {

// The "MetaStock ASCII" layout, with a heading.
constexpr const char* kHeading = "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>\n";

std::string Line(const std::string& symbol, int day, double close, char period = 'D') {
    const std::string c = std::to_string(close);
    return symbol + "," + period + ",202401" + (day < 10 ? "0" : "") + std::to_string(day) +
           ",000000," + c + "," + c + "," + c + "," + c + ",100\n";
}

// Runs `settings` over `inputs` through `fs` (the default when null): what the run told (its
// result, report and messages, the directory written as DB) and the directory it left.
std::pair<std::string, Snapshot> RunAndTell(
    const engine::ConversionSettings& settings, const std::vector<engine::InputFile>& inputs,
    msdb::FileSystem* fs = nullptr,
    std::uint64_t streamedFileSize = engine::DatabaseRun::kStreamedFileSize) {
    FixedClock clock;
    RecordingNotifier notifier;
    engine::JobServices services;
    services.fileSystem = fs;
    services.notifier = &notifier;
    services.clock = &clock;
    engine::DatabaseRun run(settings, inputs, {}, services);
    run.SetStreamedFileSize(streamedFileSize);
    if (streamedFileSize == 1) {
        run.SetHeldBytes(1);  // every record goes out to the temporary file once held
    }
    const int result = run.Run();
    std::string told = std::to_string(result) + "\n" + run.Report().Text(true);
    for (const std::string& message : notifier.messages) {
        told += "\n" + message;
    }
    const std::string& db = settings.directory;
    for (std::size_t at; (at = told.find(db)) != std::string::npos;) {
        told.replace(at, db.size(), "DB");
    }
    return {told, TakeSnapshot(db)};
}

// Settings of lines SYMBOL,CCYYMMDD,CLOSE.
engine::ConversionSettings SymbolDateClose() {
    engine::ConversionSettings settings;
    settings.dateFormat = engine::DateFormat::CCYYMMDD;
    settings.columns.symbol = 1;
    for (engine::PriceField field : msdb::kPriceFields) {
        settings.fields[field] = {false, 1};
    }
    settings.fields[engine::PriceField::kDate] = {true, 2};
    settings.fields[engine::PriceField::kClose] = {true, 3};
    return settings;
}

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(dir / "db"); }

    // A convert command line of `file` (written with `text`) into db, in the layout above.
    CliOutcome Convert(const std::string& file, const std::string& text,
                       std::vector<std::string> more = {}) {
        WriteFileBytes(dir / file, text);
        std::vector<std::string> args = {
            "convert",
            dir / file,
            "--dir",
            dir / "db",
            "--skip",
            "1",
            "--date-format",
            "CCYYMMDD",
            "--columns",
            "symbol=1,period=2,date=3,time=4,open=5,high=6,low=7,close=8,volume=9"};
        args.insert(args.end(), more.begin(), more.end());
        return RunCli(args);
    }

    std::string Db(const std::string& name) const { return ReadFileBytes(dir / ("db/" + name)); }
    std::string Export(const std::string& symbol) {
        return RunCli({"export", dir / "db", symbol}).out;
    }
    void ExpectSound() {
        const CliOutcome checked = RunCli({"check", dir / "db"});
        EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
    }

    TempDir dir;
};

// Interleaved symbols, one newest first, a heading repeated inside (files joined with cat), and
// a weekly period: each symbol is a security of its own with exactly its lines.
TEST_F(DatabaseTest, AFileOfManySecuritiesMakesOneSecurityPerSymbol) {
    const std::string text = std::string(kHeading) + Line("AAA", 2, 1.5) + Line("BBB", 5, 9) +
                             Line("AAA", 3, 1.75) + Line("BBB", 4, 8) + kHeading +
                             Line("BBB", 3, 7) + Line("CCC", 2, 3, 'W');
    const CliOutcome run = Convert("bulk.txt", text, {"--new-master", "--verbose"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("3 added (6 price records)"), std::string::npos) << run.out;
    EXPECT_EQ(Export("AAA"),
              "Date,Open,High,Low,Close,Volume\n2024-01-02,1.5,1.5,1.5,1.5,100\n"
              "2024-01-03,1.75,1.75,1.75,1.75,100\n");
    EXPECT_EQ(Export("BBB").substr(Export("BBB").find('\n') + 1, 10), "2024-01-03");
    EXPECT_EQ(Db("MASTER")[3 * 53 + 33], 'W');  // CCC
    ExpectSound();
}

// An exchange's daily file lists a symbol in two series on one day (a block deal): --detect
// reads the series most lines have, and the other's lines are counted, not stored.
TEST_F(DatabaseTest, ADailyFileOfSeveralSeriesKeepsOne) {
    WriteFileBytes(dir / "day.csv",
                   "SYMBOL,SERIES,OPEN,HIGH,LOW,CLOSE,TOTTRDQTY,TIMESTAMP\n"
                   "ACC,EQ,10,11,9,10.5,100,02-JAN-2024\nBIG,BL,25,25,25,25,9,02-JAN-2024\n"
                   "BIG,EQ,20,21,19,20.5,200,02-JAN-2024\nCUB,EQ,5,6,4,5.5,300,02-JAN-2024\n");
    const CliOutcome run =
        RunCli({"convert", dir / "day.csv", "--dir", dir / "db", "--new-master", "--detect"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("--series EQ"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("3 added (3 price records)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 line of other series was passed over."), std::string::npos);
    EXPECT_EQ(Export("BIG"), "Date,Open,High,Low,Close,Volume\n2024-01-02,20,21,19,20.5,200\n");
    ExpectSound();
}

// An update appends the days after the last one held, passes over held days that are equal, and
// refuses, changing nothing, a held day that differs or a day before the last that is not held.
TEST_F(DatabaseTest, AnUpdateAppendsOnlyNewDays) {
    ASSERT_EQ(Convert("h.txt", std::string(kHeading) + Line("AAA", 2, 1) + Line("AAA", 4, 2),
                      {"--new-master"})
                  .status,
              0);
    const std::string day5 = Line("AAA", 4, 2) + Line("AAA", 5, 3) + Line("NEW", 5, 4);
    EXPECT_EQ(Convert("d.txt", kHeading + day5).status, 1);  // held already, no --update
    const CliOutcome update = Convert("d.txt", kHeading + day5, {"--update"});
    ASSERT_EQ(update.status, 0) << update.err;
    EXPECT_NE(update.out.find("1 added (1 price record), 1 updated (1 price record appended, 1 day "
                              "already held)"),
              std::string::npos)
        << update.out;
    EXPECT_EQ(msdb::ReadLastRecordNumber(Db("F1.DAT")), 4);  // 3 records
    EXPECT_NE(Export("AAA").find("2024-01-05,3,3,3,3,100"), std::string::npos);
    ExpectSound();

    const Snapshot before = TakeSnapshot(dir / "db");
    const CliOutcome again = Convert("d.txt", kHeading + day5, {"--update"});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("2 unchanged"), std::string::npos) << again.out;
    for (const std::string& wrong : {Line("AAA", 5, 3.5), Line("AAA", 3, 1)}) {
        const CliOutcome refused = Convert("w.txt", kHeading + wrong, {"--update"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("2024-01-0"), std::string::npos) << refused.err;
    }
    EXPECT_NE(Convert("w.txt", kHeading + Line("AAA", 5, 3.5), {"--update"})
                  .err.find("close price stored 3, in the file 3.5"),
              std::string::npos);
    EXPECT_TRUE(TakeSnapshot(dir / "db") == before);
}

// What a run refuses before it changes anything: a time of day, an intraday period, two periods
// for one security, an update whose columns miss a field the security holds.
TEST_F(DatabaseTest, RefusesWhatIsNotEndOfDayOrDoesNotFit) {
    ASSERT_EQ(Convert("h.txt", std::string(kHeading) + Line("AAA", 2, 1), {"--new-master"}).status,
              0);
    const Snapshot before = TakeSnapshot(dir / "db");
    std::string timed = Line("AAA", 3, 1);
    timed.replace(timed.find("000000"), 6, "093000");
    EXPECT_NE(Convert("t.txt", kHeading + timed, {"--update"}).err.find("time 093000"),
              std::string::npos);
    EXPECT_NE(
        Convert("t.txt", kHeading + Line("AAA", 3, 1, '5'), {"--update"}).err.find("intraday"),
        std::string::npos);
    EXPECT_NE(Convert("t.txt", kHeading + Line("BBB", 3, 1) + Line("BBB", 4, 1, 'W'))
                  .err.find("two periods"),
              std::string::npos);
    WriteFileBytes(dir / "c.txt", "AAA,20240105,1\n");
    const CliOutcome closeOnly =
        RunCli({"convert", dir / "c.txt", "--dir", dir / "db", "--date-format", "CCYYMMDD",
                "--columns", "symbol=1,date=2,close=3", "--update"});
    EXPECT_EQ(closeOnly.status, 1);
    EXPECT_NE(closeOnly.err.find("holds the fields DATE, OPEN, HIGH, LOW, CLOSE, VOL"),
              std::string::npos)
        << closeOnly.err;
    EXPECT_TRUE(TakeSnapshot(dir / "db") == before);
}

// A folder: each file is the security its name gives, named from --names; --symbol and --name
// belong to one file only.
TEST_F(DatabaseTest, AFolderIsOneSecurityPerFile) {
    std::filesystem::create_directory(dir / "in");
    for (const char* name : {"aapl.csv", "msft.TXT"}) {
        WriteFileBytes(dir / ("in/" + std::string(name)),
                       "Date,Close\n2024-01-03,2\n2024-01-02,1\n");
    }
    WriteFileBytes(dir / "in/notes.md", "not prices\n");
    WriteFileBytes(dir / "names.csv", "symbol,name\nAAPL,\"Apple Inc.\"\n");
    const std::vector<std::string> args = {
        "convert",        dir / "in", "--dir",          dir / "db",   "--new-master",
        "--skip",         "1",        "--date-format",  "CCYY_MM_DD", "--columns",
        "date=1,close=2", "--names",  dir / "names.csv"};
    const CliOutcome run = RunCli(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string listed = RunCli({"list", dir / "db", "--csv"}).out;
    EXPECT_NE(listed.find("AAPL,Apple Inc."), std::string::npos) << listed;
    EXPECT_NE(listed.find("MSFT,"), std::string::npos) << listed;
    std::vector<std::string> withSymbol = args;
    withSymbol.insert(withSymbol.end(), {"--symbol", "X"});
    EXPECT_EQ(RunCli(withSymbol).status, 2);
    // --detect reads the folder's first price file.
    std::filesystem::create_directory(dir / "detected");
    const CliOutcome detected =
        RunCli({"convert", dir / "in", "--dir", dir / "detected", "--new-master", "--detect"});
    EXPECT_EQ(detected.status, 0) << detected.err;
}

// One file given --symbol is that one security despite its symbol column, and the run is
// refused when the column names two: their lines, dated one after the other, would make one.
TEST_F(DatabaseTest, ASymbolGivenReadsTheFileAsOneSecurity) {
    const CliOutcome one =
        Convert("one.txt", std::string(kHeading) + Line("AAA", 2, 1) + Line("AAA", 3, 2),
                {"--new-master", "--symbol", "xx", "--name", "Ex Co"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(RunCli({"list", dir / "db", "--csv"}).out.find("XX,Ex Co"), std::string::npos);
    const std::string before = Db("MASTER");
    const CliOutcome two =
        Convert("two.txt", std::string(kHeading) + Line("BBB", 4, 1) + Line("CCC", 5, 2),
                {"--symbol", "YY"});
    EXPECT_EQ(two.status, 1);
    EXPECT_NE(two.err.find("Line 3 of " + (dir / "two.txt") + " is of CCC, and line 2 of BBB"),
              std::string::npos)
        << two.err;
    EXPECT_EQ(Db("MASTER"), before);
}

// A run past MASTER's 255: refused whole without --xmaster, with it the rest go to XMASTER; an
// update then reaches both.
TEST_F(DatabaseTest, ThreeHundredSecuritiesInOneRun) {
    std::string all = kHeading;
    std::string next = kHeading;
    for (int n = 1; n <= 300; ++n) {
        all += Line("S" + std::to_string(n), 2, n);
        next += Line("S" + std::to_string(n), 3, n + 0.5);
    }
    EXPECT_EQ(Convert("all.txt", all, {"--new-master"}).status, 1);
    EXPECT_TRUE(TakeSnapshot(dir / "db").empty());
    ASSERT_EQ(Convert("all.txt", all, {"--new-master", "--xmaster"}).status, 0);
    EXPECT_EQ(Db("XMASTER").size(), 150u * 46);
    const CliOutcome update = Convert("next.txt", next, {"--update"});
    ASSERT_EQ(update.status, 0) << update.err;
    EXPECT_NE(update.out.find("300 updated (300 price records appended"), std::string::npos);
    EXPECT_NE(Export("S300").find("2024-01-03,300.5"), std::string::npos) << Export("S300");
    ExpectSound();
}

// The progress of a run goes on while its securities are written out and its files are put in
// place, not only while the input is read, and ends at 1000.
TEST_F(DatabaseTest, ProgressCoversTheWholeRun) {
    std::string all;
    for (int n = 1; n <= 300; ++n) {
        all += "S" + std::to_string(n) + ",20240102," + std::to_string(n) + "\n";
    }
    WriteFileBytes(dir / "all.txt", all);
    engine::ConversionSettings settings = SymbolDateClose();
    settings.directory = dir / "db";
    settings.master = engine::MasterChoice::kMakeNew;
    settings.xmaster = true;
    std::vector<int> told;
    engine::JobServices services;
    services.progress = [&](int permille) { told.push_back(permille); };
    engine::DatabaseRun run(settings, {{dir / "all.txt", "", {}}}, {}, services);
    ASSERT_EQ(run.Run(), 0);
    ASSERT_FALSE(told.empty());
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), 1000);
    auto between = [&](int low, int high) {
        return std::count_if(told.begin(), told.end(), [&](int p) { return p > low && p < high; });
    };
    EXPECT_GE(between(500, 800), 5);   // writing out the securities
    EXPECT_GE(between(800, 1000), 3);  // putting the files in place
}

// XMASTER's file numbers pass over a file already on disk; two symbols of a run that find one
// security of XMASTER (one by its symbol, one by its name) are refused. A name longer than
// MASTER's 16 characters is kept whole in EMASTER and XMASTER.
TEST_F(DatabaseTest, XMasterNumbersAndSecuritiesAreTakenOnce) {
    std::string all = kHeading;
    for (int n = 1; n <= 257; ++n) {
        all += Line("S" + std::to_string(n), 2, n);
    }
    WriteFileBytes(dir / "db/F257.MWD", "not ours");
    WriteFileBytes(dir / "names.csv",
                   "S257,ZED\nS1,The First Security Of All\nS256,The Two Hundred Fifty-Sixth\n");
    const CliOutcome added = Convert(
        "all.txt", all, {"--new-master", "--emaster", "--xmaster", "--names", dir / "names.csv"});
    ASSERT_EQ(added.status, 0) << added.err;
    const std::string listed = RunCli({"list", dir / "db", "--csv"}).out;
    EXPECT_NE(listed.find(",S1,The First Security Of All,"), std::string::npos) << listed;
    EXPECT_NE(listed.find(",S256,The Two Hundred Fifty-Sixth,"), std::string::npos) << listed;
    EXPECT_EQ(RunCli({"check", dir / "db"}).status, 0);
    EXPECT_EQ(Db("F257.MWD"), "not ours");
    EXPECT_TRUE(std::filesystem::exists(dir / "db/F258.MWD"));
    const Snapshot before = TakeSnapshot(dir / "db");
    const CliOutcome both = Convert(
        "both.txt", std::string(kHeading) + Line("S257", 3, 1) + Line("ZED", 3, 1), {"--update"});
    EXPECT_NE(both.err.find("that another symbol of the run finds too"), std::string::npos)
        << both.err;
    EXPECT_TRUE(TakeSnapshot(dir / "db") == before);
}

// Another program that changes XMASTER while a run reads its input: the run reads XMASTER again
// for its backup, finds it changed, and refuses; the other program's change stays.
TEST_F(DatabaseTest, AnXMasterChangedDuringTheRunRefusesIt) {
    class ChangesXMaster final : public msdb::FileSystemWrapper {
    public:
        explicit ChangesXMaster(std::string xmaster)
            : FileSystemWrapper(Default()), xmaster_(std::move(xmaster)) {}
        msdb::Status OpenForRead(const std::string& path,
                                 std::unique_ptr<msdb::ReadableFile>* file) override {
            if (path.ends_with("next.txt")) {
                std::string bytes = ReadFileBytes(xmaster_);
                bytes[150 + 20] = bytes[150 + 20] == 'Z' ? 'Y' : 'Z';  // a letter of a name
                WriteFileBytes(xmaster_, bytes);
            }
            return FileSystemWrapper::OpenForRead(path, file);
        }

    private:
        std::string xmaster_;
    };
    engine::ConversionSettings settings = SymbolDateClose();
    settings.directory = dir / "db";
    settings.master = engine::MasterChoice::kMakeNew;
    settings.xmaster = true;
    std::string all;
    for (int n = 1; n <= 257; ++n) {
        all += "S" + std::to_string(n) + ",20240102," + std::to_string(n) + "\n";
    }
    WriteFileBytes(dir / "all.txt", all);
    ASSERT_EQ(RunAndTell(settings, {{dir / "all.txt", "", {}}}).first.substr(0, 2), "0\n");
    settings.master = engine::MasterChoice::kUseExisting;
    settings.update = true;
    WriteFileBytes(dir / "next.txt", "S257,20240103,1\n");
    Snapshot expected = TakeSnapshot(dir / "db");
    ChangesXMaster other(dir / "db/XMASTER");
    const auto [told, after] = RunAndTell(settings, {{dir / "next.txt", "", {}}}, &other);
    EXPECT_NE(told.find("XMASTER is not as when it was read: another program changed it."),
              std::string::npos)
        << told;
    expected["XMASTER"][150 + 20] = 'Z';
    EXPECT_EQ(after, expected);

    // A conversion of one file, which copies XMASTER's backup from the file, refuses it too.
    WriteFileBytes(dir / "one-next.txt", "20240103,1\n");
    engine::ConversionSettings one = SymbolDateClose();
    one.columns.symbol = 0;
    one.fields[engine::PriceField::kDate].column = 1;
    one.fields[engine::PriceField::kClose].column = 2;
    one.inputPath = dir / "one-next.txt";
    one.directory = dir / "db";
    one.symbol = "NEW";
    FixedClock clock;
    RecordingNotifier notifier;
    engine::JobServices services;
    services.fileSystem = &other;
    services.notifier = &notifier;
    services.clock = &clock;
    EXPECT_EQ(engine::ConversionJob(one, services).Run(), 1);
    EXPECT_NE(::testing::PrintToString(notifier.messages)
                  .find("XMASTER is not as when it was read: another program changed it."),
              std::string::npos)
        << ::testing::PrintToString(notifier.messages);
    // Nothing changed but what the other program wrote.
    expected["XMASTER"] = ReadFileBytes(dir / "db/XMASTER");
    EXPECT_EQ(TakeSnapshot(dir / "db"), expected);

    // So does the removal of a security of XMASTER, when the file changes after it was read.
    class ChangesOnSecondRead final : public msdb::FileSystemWrapper {
    public:
        ChangesOnSecondRead() : FileSystemWrapper(Default()) {}
        msdb::Status OpenForRead(const std::string& path,
                                 std::unique_ptr<msdb::ReadableFile>* file) override {
            if (path.ends_with("XMASTER") && ++reads_ == 2) {
                std::string bytes = ReadFileBytes(path);
                bytes[150 + 20] = 'X';
                WriteFileBytes(path, bytes);
            }
            return FileSystemWrapper::OpenForRead(path, file);
        }

    private:
        int reads_ = 0;
    } changing;
    notifier.messages.clear();
    services.fileSystem = &changing;
    engine::RemovalReport removal;
    EXPECT_EQ(engine::RemoveSecurity(dir / "db", "S257", services, &removal), 1);
    EXPECT_NE(::testing::PrintToString(notifier.messages)
                  .find("XMASTER is not as when it was read: another program changed it."),
              std::string::npos)
        << ::testing::PrintToString(notifier.messages);
    expected["XMASTER"][150 + 20] = 'X';
    EXPECT_EQ(TakeSnapshot(dir / "db"), expected);
}

// Files read ahead on other threads give what reading one after another gives: the same
// directory, report and messages, and a file that cannot be read stops the run at that file with
// nothing changed. (A file system wrapper does not take calls from many threads, so through one
// the run reads one file at a time.)
TEST_F(DatabaseTest, FilesReadAheadGiveWhatReadingOneAtATimeGives) {
    std::vector<engine::InputFile> inputs;
    for (int n = 1; n <= 24; ++n) {
        const std::string symbol = "S" + std::to_string(n);
        std::string text = "Date,Close\n";
        for (int day = 2; day <= 20; ++day) {
            text += "202401" + std::string(day < 10 ? "0" : "") + std::to_string(day) + "," +
                    std::to_string(n * 100 + day) + (n == 7 && day == 5 ? "x" : "") + "\n";
        }
        WriteFileBytes(dir / (symbol + ".csv"), text);
        inputs.push_back({dir / (symbol + ".csv"), symbol, {}});
    }
    engine::ConversionSettings settings;
    settings.master = engine::MasterChoice::kMakeNew;
    settings.skipOn = true;
    settings.skipRows = 1;
    settings.dateFormat = engine::DateFormat::CCYYMMDD;
    settings.acceptProblems = true;
    for (engine::PriceField field : msdb::kPriceFields) {
        settings.fields[field] = {false, 1};
    }
    settings.fields[engine::PriceField::kDate] = {true, 1};
    settings.fields[engine::PriceField::kClose] = {true, 2};
    auto run = [&](msdb::FileSystem& fs, const std::string& db) {
        std::filesystem::create_directory(db);
        settings.directory = db;
        return RunAndTell(settings, inputs, &fs);
    };
    msdb::FileSystem& threaded = msdb::FileSystem::Default();
    ASSERT_TRUE(threaded.TakesCallsFromManyThreads());
    msdb::FileSystemWrapper oneAtATime(threaded);
    const auto ahead = run(threaded, dir / "ahead");
    const auto inTurn = run(oneAtATime, dir / "in-turn");
    EXPECT_EQ(ahead.first, inTurn.first);
    EXPECT_EQ(ahead.second, inTurn.second);
    EXPECT_EQ(ahead.second.size(), 24u * 2 + 1) << ahead.first;  // F<n>.DAT and .DOP, MASTER

    WriteFileBytes(inputs[15].path, std::string("Date,Close\n20240102,1\0\n", 23));
    const auto stoppedAhead = run(threaded, dir / "stopped-ahead");
    const auto stoppedInTurn = run(oneAtATime, dir / "stopped-in-turn");
    EXPECT_EQ(stoppedAhead.first, stoppedInTurn.first);
    EXPECT_NE(stoppedAhead.first.find("S16.csv is not a plain text file"), std::string::npos)
        << stoppedAhead.first;
    EXPECT_TRUE(stoppedAhead.second.empty());
    EXPECT_TRUE(stoppedInTurn.second.empty());
}

// A large file is read twice, and each symbol's lines go out once they are all read: the run
// gives what reading the file once gives, whatever the order of its lines, for new securities,
// an update and its problems alike.
TEST_F(DatabaseTest, AFileReadTwiceGivesWhatReadingItOnceGives) {
    auto line = [](const std::string& symbol, int day, const std::string& close) {
        return symbol + ",202401" + (day < 10 ? "0" : "") + std::to_string(day) + "," + close +
               "\n";
    };
    // Grouped, newest first, interleaved, a line without a symbol and a price that is none.
    std::string first = "Symbol,Date,Close\n";
    for (int day = 2; day <= 6; ++day) {
        first += line("AAA", day, std::to_string(day));
    }
    for (int day = 6; day >= 2; --day) {
        first += line("BBB", day, std::to_string(10 + day));
    }
    for (int day = 2; day <= 6; ++day) {
        first += line("CCC", day, "3") + line("DDD", day, day == 4 ? "4x" : "4");
    }
    first += line("", 7, "1") + line("AAA", 7, "7");
    // Held days equal and not, new days, a new security.
    std::string update = "Symbol,Date,Close\n" + line("AAA", 6, "6") + line("AAA", 7, "7.5") +
                         line("AAA", 8, "8") + line("EEE", 8, "1") + line("BBB", 6, "16") +
                         line("BBB", 7, "17");
    engine::ConversionSettings settings = SymbolDateClose();
    settings.skipOn = true;
    settings.skipRows = 1;
    auto run = [&](const std::string& db, const std::string& text, std::uint64_t streamed) {
        WriteFileBytes(dir / "in.txt", text);
        settings.directory = db;
        return RunAndTell(settings, {{dir / "in.txt", "", {}}}, nullptr, streamed);
    };
    const std::string once = dir / "once";
    const std::string twice = dir / "twice";
    for (const std::string& db : {once, twice}) {
        std::filesystem::create_directory(db);
    }
    settings.master = engine::MasterChoice::kMakeNew;
    settings.acceptProblems = true;
    const auto made = run(once, first, engine::DatabaseRun::kStreamedFileSize);
    EXPECT_EQ(made, run(twice, first, 1));
    EXPECT_NE(made.first.find("4 added (20 price records)"), std::string::npos) << made.first;
    settings.master = engine::MasterChoice::kUseExisting;
    settings.update = true;
    settings.acceptProblems = false;
    const auto refused = run(once, update, engine::DatabaseRun::kStreamedFileSize);
    EXPECT_EQ(refused, run(twice, update, 1));
    EXPECT_NE(refused.first.find("close price stored 7, in the file 7.5"), std::string::npos)
        << refused.first;
    EXPECT_EQ(refused.second, made.second);
    settings.acceptProblems = true;
    const auto updated = run(once, update, engine::DatabaseRun::kStreamedFileSize);
    EXPECT_EQ(updated, run(twice, update, 1));
    EXPECT_NE(updated.first.find("1 added (1 price record), 2 updated (2 price records"),
              std::string::npos)
        << updated.first;
}

// Temporary files that cannot be written, or whose records cannot be read back.
class FailingScratch final : public msdb::FileSystemWrapper {
public:
    explicit FailingScratch(bool writes) : FileSystemWrapper(Default()), writes_(writes) {}

    msdb::Status OpenScratch(std::unique_ptr<msdb::UpdatableFile>* file) override {
        class File final : public msdb::UpdatableFile {
        public:
            explicit File(bool writes) : writes_(writes) {}
            msdb::Status WriteAt(std::uint64_t, std::string_view) override {
                return writes_ ? msdb::Status::Ok() : msdb::Status::NoSpace("full");
            }
            msdb::Status ReadAt(std::uint64_t, std::size_t, char*, std::size_t*) override {
                return msdb::Status::IoError("unreadable");
            }
            msdb::Status Truncate(std::uint64_t) override { return msdb::Status::Ok(); }
            msdb::Status Info(msdb::FileInfo*) override { return msdb::Status::Ok(); }
            msdb::Status Sync() override { return msdb::Status::Ok(); }
            msdb::Status Close() override { return msdb::Status::Ok(); }

        private:
            bool writes_;
        };
        *file = std::make_unique<File>(writes_);
        return msdb::Status::Ok();
    }

private:
    bool writes_;
};

// Records that cannot go out to the temporary file are held in memory instead, with the same
// result; records that cannot be read back from it stop the run before anything is changed.
TEST_F(DatabaseTest, ATemporaryFileThatFailsLosesNothing) {
    engine::ConversionSettings settings = SymbolDateClose();
    settings.master = engine::MasterChoice::kMakeNew;
    WriteFileBytes(dir / "in.txt",
                   "AAA,20240102,1\nBBB,20240102,2\nAAA,20240103,3\n"
                   "BBB,20240103,4\n");
    auto run = [&](const std::string& name, msdb::FileSystem* fs, std::uint64_t streamed) {
        settings.directory = dir / name;
        std::filesystem::create_directory(settings.directory);
        return RunAndTell(settings, {{dir / "in.txt", "", {}}}, fs, streamed);
    };
    const auto held = run("held", nullptr, engine::DatabaseRun::kStreamedFileSize);
    ASSERT_NE(held.first.find("2 added (4 price records)"), std::string::npos) << held.first;
    FailingScratch unwritable(false);
    EXPECT_EQ(run("unwritable", &unwritable, 1), held);
    FailingScratch unreadable(true);
    const auto stopped = run("unreadable", &unreadable, 1);
    EXPECT_NE(stopped.first.find("The records of AAA in " + dir / "in.txt" +
                                 " cannot be read back from the temporary file"),
              std::string::npos)
        << stopped.first;
    EXPECT_TRUE(stopped.second.empty());
}

}  // namespace
}  // namespace testing_support
