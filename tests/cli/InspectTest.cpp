// korvex-cli list, export and check, in-process: what they print for sound directories, the
// round trip of conversion and export, and damaged directories, which they must survive.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <tuple>

#include "cli/Inspection.h"
#include "msdb/Encoding.h"
#include "msdb/SecurityFiles.h"
#include "tests/cli/RunCli.h"
#include "tests/support/JobFixture.h"
#include "tests/support/TestSupport.h"

namespace testing_support {
namespace {

using Outcome = CliOutcome;

class InspectTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "db/sub");
        WriteFileBytes(dir / "a.csv",
                       "083099,1.5,2,1,1.75,1000,50\n090199,1.6,2.1,1.1,1.8,1100,55\n");
        WriteFileBytes(dir / "b.csv", "19990830,7.25\n");
        Convert({"a.csv", "--dir", "db", "--new-master", "--symbol", "AAA", "--name", "Alpha"});
        Convert({"b.csv", "--dir", "db/sub", "--new-master", "--symbol", "BBB", "--date-format",
                 "CCYYMMDD", "--columns", "date=1,close=2", "--period", "W"});
        ListSubdirectory("sub");
    }

    // Lists a sub-directory of db in its MASTER as other programs do, with file number 9.
    void ListSubdirectory(const std::string& name) {
        std::string master = ReadFileBytes(dir / "db/MASTER");
        master[0] = static_cast<char>(master[0] + 1);
        master[2] = static_cast<char>(master[2] + 1);
        WriteFileBytes(dir / "db/MASTER", master + DirectoryEntry(9, name));
    }

    void Convert(std::vector<std::string> args) {
        for (std::string& arg : args) {
            if (arg.ends_with(".csv") || arg.starts_with("db")) {
                arg = dir / arg;
            }
        }
        args.insert(args.begin(), "convert");
        Outcome r = RunCli(args);
        ASSERT_EQ(r.status, 0) << r.err;
    }

    std::string Db() const { return dir / "db"; }

    TempDir dir;
};

TEST_F(InspectTest, ListShowsEverySecurityOfTheTree) {
    Outcome table = RunCli({"list", Db()});
    EXPECT_EQ(table.status, 0);
    EXPECT_EQ(table.out,
              "Directory  File  Symbol  Name   Fields   First       Last        Records  Period\n"
              ".          F1    AAA     Alpha  DOHLCVI  1999-08-30  1999-09-01        2  D\n"
              "sub        F1    BBB            D---C--  1999-08-30  1999-08-30        1  W\n"
              "2 securities\n");
    EXPECT_EQ(RunCli({"list", Db(), "--csv"}).out,
              "Directory,File,Symbol,Name,Fields,First,Last,Records,Period\n"
              ".,F1,AAA,Alpha,DATE OPEN HIGH LOW CLOSE VOL OI,1999-08-30,1999-09-01,2,D\n"
              "sub,F1,BBB,,DATE CLOSE,1999-08-30,1999-08-30,1,W\n");
    EXPECT_EQ(nlohmann::ordered_json::parse(RunCli({"list", Db(), "--json"}).out),
              nlohmann::ordered_json::parse(R"([
                  {"directory": ".", "file": 1, "symbol": "AAA", "name": "Alpha",
                   "fields": ["DATE", "OPEN", "HIGH", "LOW", "CLOSE", "VOL", "OI"],
                   "first": "1999-08-30", "last": "1999-09-01", "records": 2, "period": "D"},
                  {"directory": "sub", "file": 1, "symbol": "BBB", "name": "",
                   "fields": ["DATE", "CLOSE"], "first": "1999-08-30", "last": "1999-08-30",
                   "records": 1, "period": "W"}])"));
    // A record of another program's that holds no period shows none, rather than a guess.
    std::string master = ReadFileBytes(dir / "db/sub/MASTER");
    master[msdb::kMasterRecordSize + msdb::kPeriodOffset] = '\0';
    WriteFileBytes(dir / "db/sub/MASTER", master);
    EXPECT_TRUE(RunCli({"list", Db(), "--csv"}).out.ends_with(",1,\n"));
    Outcome both = RunCli({"list", Db(), "--json", "--csv"});
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(both.err,
              "korvex: --csv and --json cannot be given together\nTry 'korvex-cli list --help'.\n");
    Outcome missing = RunCli({"list", dir / "nowhere"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("nowhere"), std::string::npos);
}

TEST_F(InspectTest, ExportWritesTheStoredFields) {
    Outcome all = RunCli({"export", Db(), "aaa"});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out,
              "Date,Open,High,Low,Close,Volume,OpenInterest\n"
              "1999-08-30,1.5,2,1,1.75,1000,50\n1999-09-01,1.6,2.1,1.1,1.8,1100,55\n");
    EXPECT_EQ(RunCli({"export", Db(), "BBB", "--date-format", "dd_mm_ccyy"}).out,
              "Date,Close\n30/08/1999,7.25\n");
    EXPECT_EQ(RunCli({"export", Db(), "alpha", "-o", dir / "out.csv"}).status, 0);
    EXPECT_EQ(ReadFileBytes(dir / "out.csv"), all.out);
    Outcome none = RunCli({"export", Db(), "ZZZ"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "korvex: " + Db() + " holds no security ZZZ\n");
}

// Large volumes and small prices are written in full: a reader of the export must not meet
// exponents, and each text must read back as the stored value.
TEST_F(InspectTest, ExportWritesEveryNumberInFull) {
    WriteFileBytes(dir / "big.csv",
                   "19990830,0.0001,123456.5,0.00015,100000,48000000,1000000000000000000000\n"
                   "19990831,12.5,13,12,12.75,3000000000,0\n");
    Convert({"big.csv", "--dir", "db", "--symbol", "BIG", "--date-format", "CCYYMMDD"});
    Outcome big = RunCli({"export", Db(), "BIG"});
    ASSERT_EQ(big.status, 0) << big.err;
    EXPECT_EQ(big.out,
              "Date,Open,High,Low,Close,Volume,OpenInterest\n"
              "1999-08-30,0.0001,123456.5,0.00015,100000,48000000,1000000000000000000000\n"
              "1999-08-31,12.5,13,12,12.75,3000000000,0\n");
}

TEST(FullNumberTest, EveryValueReadsBackWithoutAnExponent) {
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        float value = std::ldexp(static_cast<float>(random() % 16777216),
                                 static_cast<int>(random() % 220) - 150);
        if (i % 2 == 1) {
            value = -value;
        }
        const std::string text = cli::FullNumber(value);
        ASSERT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        ASSERT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
    }
    EXPECT_EQ(cli::FullNumber(0.f), "0");
    EXPECT_EQ(cli::FullNumber(1e-7f), "0.0000001");
    EXPECT_EQ(cli::FullNumber(-2.5f), "-2.5");
}

// The written formats convert and export back to the same text, so an exported file converts
// again with the same settings.
TEST(RoundTripTest, WrittenDateFormatsGiveBackTheirDates) {
    const std::pair<const char*, const char*> files[] = {
        {"M_D_CCYY", "8/30/1999,1.5\n12/1/2024,2\n"},
        {"D_M_CCYY", "30/8/1999,1.5\n1/12/2024,2\n"},
        {"CCYY_M_D", "1999/8/30,1.5\n2024/12/1,2\n"},
        {"DD_MON_CCYY", "30-Aug-1999,1.5\n01-Dec-2024,2\n"},
        {"DD_MON_YY", "30-Aug-99,1.5\n01-Dec-24,2\n"},
        {"MON_DD_CCYY", "Aug 30 1999,1.5\nDec 01 2024,2\n"},
    };
    for (const auto& [format, text] : files) {
        SCOPED_TRACE(format);
        TempDir dir;
        WriteFileBytes(dir / "in.csv", text);
        Outcome converted =
            RunCli({"convert", dir / "in.csv", "--dir", dir.path(), "--new-master", "--symbol", "W",
                    "--date-format", format, "--columns", "date=1,close=2"});
        ASSERT_EQ(converted.status, 0) << converted.err;
        EXPECT_EQ(RunCli({"export", dir.path(), "W", "--date-format", format}).out,
                  std::string("Date,Close\n") + text);
        EXPECT_EQ(RunCli({"export", dir.path(), "W"}).out,
                  "Date,Close\n1999-08-30,1.5\n2024-12-01,2\n");
    }
}

// How the twelve date formats write a day, in their order: "cy" the year with its century, "yy" its
// last two digits, "mm" the month, "dd" the day, '-' a separator.
const char* const kLayouts[12] = {"yy-mm-dd", "cy-mm-dd", "mm-dd-yy", "mm-dd-cy",
                                  "dd-mm-yy", "dd-mm-cy", "yymmdd",   "cymmdd",
                                  "mmddyy",   "mmddcy",   "ddmmyy",   "ddmmcy"};

std::string WriteDate(std::string_view layout, int year, int month, int day) {
    std::string text;
    for (std::size_t i = 0; i < layout.size(); i += 2) {
        if (layout[i] == '-') {
            text += '-';
            --i;
            continue;
        }
        const std::string_view group = layout.substr(i, 2);
        char digits[8];
        std::snprintf(digits, sizeof digits, group == "cy" ? "%04d" : "%02d",
                      group == "cy"   ? year
                      : group == "yy" ? year % 100
                      : group == "mm" ? month
                                      : day);
        text += digits;
    }
    return text;
}

// Converting a generated file and exporting it with the same date format gives back the same
// dates and the same single-precision values, for every field set and date format.
TEST(RoundTripTest, ConvertThenExportGivesBackTheInput) {
    std::mt19937 random(20261207);
    const char* names[] = {"open", "high", "low", "volume", "oi"};
    int runs = 0;
    for (int format = 1; format <= 12; ++format) {
        for (int mask = 0; mask < 32; mask += 1 + format % 3) {
            TempDir dir;
            std::vector<std::string> columns = {"date"};
            for (int f = 0; f < 5; ++f) {
                if ((mask & (1 << f)) != 0) {
                    columns.push_back(names[f]);
                }
            }
            columns.push_back("close");
            std::string mapping;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                mapping += (c == 0 ? "" : ",") + columns[c] + "=" + std::to_string(c + 1);
            }
            std::string input;
            std::vector<std::vector<float>> values;
            std::vector<std::string> dates;
            int day = 1 + static_cast<int>(random() % 20000);
            for (int line = 0; line < 40; ++line) {
                day += 1 + static_cast<int>(random() % 5);
                std::int16_t y, m, d;
                msdb::DayNumberToYmd(static_cast<msdb::DayNumber>(day), &y, &m, &d);
                std::string date = WriteDate(kLayouts[format - 1], 1900 + y, m, d);
                dates.push_back(date);
                input += date;
                std::vector<float> row;
                for (std::size_t c = 1; c < columns.size(); ++c) {
                    char number[32];
                    std::snprintf(number, sizeof number, "%.*f", static_cast<int>(random() % 5),
                                  std::ldexp(static_cast<double>(random() % 1000000),
                                             -static_cast<int>(random() % 12)));
                    input += std::string(",") + number;
                    row.push_back(std::strtof(number, nullptr));
                }
                input += "\n";
                values.push_back(row);
            }
            WriteFileBytes(dir / "in.csv", input);
            std::string formatName(msdb::kDateFormatNames[static_cast<std::size_t>(format - 1)]);
            Outcome converted =
                RunCli({"convert", dir / "in.csv", "--dir", dir.path(), "--new-master", "--symbol",
                        "RT", "--date-format", formatName, "--columns", mapping});
            ASSERT_EQ(converted.status, 0) << converted.err << input;
            Outcome exported = RunCli({"export", dir.path(), "RT", "--date-format", formatName});
            ASSERT_EQ(exported.status, 0) << exported.err;
            std::istringstream csv(exported.out);
            std::string line;
            std::getline(csv, line);  // heading
            for (std::size_t row = 0; std::getline(csv, line); ++row) {
                ASSERT_LT(row, dates.size());
                std::vector<std::string> cells;
                std::stringstream split(line);
                for (std::string cell; std::getline(split, cell, ',');) {
                    cells.push_back(cell);
                }
                ASSERT_EQ(cells.size(), columns.size());
                std::string expectedDate = dates[row];
                std::replace(expectedDate.begin(), expectedDate.end(), '-', '/');
                EXPECT_EQ(cells[0], expectedDate);
                // The stored order is canonical; the input's columns were date, then the
                // optional fields in canonical order, then close.
                std::vector<float> stored;
                for (std::size_t c = 1; c < cells.size(); ++c) {
                    stored.push_back(std::strtof(cells[c].c_str(), nullptr));
                }
                std::vector<float> expected = values[row];
                // close moves to its canonical place, after low and before volume and oi
                float close = expected.back();
                expected.pop_back();
                std::size_t before = 0;
                for (int f = 0; f < 3; ++f) {
                    before += (mask & (1 << f)) != 0 ? 1 : 0;
                }
                expected.insert(expected.begin() + static_cast<std::ptrdiff_t>(before), close);
                EXPECT_EQ(stored, expected) << line;
            }
            ++runs;
        }
    }
    EXPECT_GT(runs, 100);
}

TEST_F(InspectTest, CheckFindsASoundDirectorySound) {
    Outcome r = RunCli({"check", Db()});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, Db() + ": sound; 2 securities checked\n");
    EXPECT_EQ(RunCli({"check", dir / "nowhere"}).status, 2);

    // Sub-directory entries may share a file number; only securities may not.
    std::filesystem::create_directories(dir / "db/other");
    Convert({"b.csv", "--dir", "db/other", "--new-master", "--symbol", "CCC", "--date-format",
             "CCYYMMDD", "--columns", "date=1,close=2"});
    ListSubdirectory("other");
    r = RunCli({"check", Db()});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, Db() + ": sound; 3 securities checked\n");
}

TEST_F(InspectTest, CheckNamesEachKindOfDamage) {
    std::string db = Db();
    std::string dat = ReadFileBytes(dir / "db/F1.DAT");
    // The second record dated before the first, and a header counting three records.
    std::string swapped = dat.substr(0, 28) + dat.substr(56, 28) + dat.substr(28, 28);
    swapped[2] = 4;
    WriteFileBytes(dir / "db/F1.DAT", swapped);
    WriteFileBytes(dir / "db/F1.DOP", "\"DATE\",0,0\r\n\"CLOSE\",4,4\r\n");
    std::filesystem::remove(dir / "db/sub/F1.DOP");
    WriteFileBytes(dir / "db/MASTER.NEW", "left");
    WriteFileBytes(dir / "db/sub/F7.NEW", "left");
    for (bool verbose : {false, true}) {
        SCOPED_TRACE(verbose);
        Outcome r = verbose ? RunCli({"check", db, "--verbose"}) : RunCli({"check", db});
        EXPECT_EQ(r.status, 1);
        // One line for each problem or note, naming the file and, where there is one, the
        // offset; then the count of the problems. Temporaries are notes; a missing F<n>.DOP is a
        // note only with --verbose.
        std::vector<std::string> where = {
            dir / "db/MASTER.NEW: note: ",    dir / "db/F1.DOP: ",
            dir / "db/F1.DAT at offset 2: ",  dir / "db/F1.DAT at offset 56: ",
            dir / "db/MASTER at offset 78: ", dir / "db/MASTER at offset 82: ",
            dir / "db/sub/F7.NEW: note: "};
        if (verbose) {
            where.push_back(dir / "db/sub/F1.DOP: note: missing");
        }
        std::istringstream lines(r.out);
        std::string line;
        for (const std::string& prefix : where) {
            ASSERT_TRUE(std::getline(lines, line));
            EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
        }
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line, "5 problems found in " + db);
        EXPECT_FALSE(std::getline(lines, line));
    }
}

// A directory as vendors' programs make it, without any F<n>.DOP: sound.
TEST_F(InspectTest, CheckFindsADirectoryWithoutFieldListsSound) {
    std::filesystem::remove(dir / "db/F1.DOP");
    std::filesystem::remove(dir / "db/sub/F1.DOP");
    Outcome r = RunCli({"check", Db()});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, Db() + ": sound; 2 securities checked\n");
    EXPECT_EQ(
        RunCli({"check", Db(), "--verbose"}).out.find(": sound; 2 securities checked, 2 notes\n") !=
            std::string::npos,
        true);
}

TEST_F(InspectTest, CheckComparesEMasterWithMasterSlotBySlot) {
    const std::string em = dir / "em";
    std::filesystem::create_directory(em);
    Convert({"a.csv", "--dir", em, "--new-master", "--emaster", "--symbol", "AAA"});
    Convert({"b.csv", "--dir", em, "--symbol", "BBB", "--date-format", "CCYYMMDD", "--columns",
             "date=1,close=2"});
    EXPECT_EQ(RunCli({"check", em}).out, em + ": sound; 2 securities checked\n");
    std::string emaster = ReadFileBytes(em + "/EMASTER");
    emaster[2 * 192 + 11] = 'Z';  // the symbol of slot 2
    emaster[2 * 192 + 6] = 3;     // its field count
    WriteFileBytes(em + "/EMASTER", emaster);
    Outcome r = RunCli({"check", em});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, dir / "em/EMASTER" +
                         ": does not agree with MASTER: record 2 gives the symbol ZBB, "
                         "MASTER BBB\n" +
                         dir / "em/EMASTER" +
                         ": does not agree with MASTER: record 2 gives 3 fields, "
                         "MASTER 2\n2 problems found in " +
                         em + "\n");
}

// An XMASTER as the layout gives it: header signature and counts, then per security its symbol,
// name, file number, field mask and dates (YYYYMMDD).
std::string XMasterWith(const std::vector<std::tuple<std::string, std::string, int, int>>& items) {
    std::string bytes(150, '\0');
    bytes.replace(0, 4, "\x5D\xFE\x58\x4D");
    auto put16 = [](std::string* b, std::size_t at, int v) {
        (*b)[at] = static_cast<char>(v & 0xFF);
        (*b)[at + 1] = static_cast<char>(v >> 8);
    };
    put16(&bytes, 10, static_cast<int>(items.size()));
    put16(&bytes, 14, static_cast<int>(items.size()));
    int next = 256;
    for (const auto& [symbol, name, number, fields] : items) {
        std::string record(150, '\0');
        record.replace(1, symbol.size(), symbol);
        record.replace(16, name.size(), name);
        record[62] = 'D';
        put16(&record, 65, number);
        record[70] = static_cast<char>((1 << fields) - 1);
        for (auto [at, day] : {std::pair{108, 19990830u}, std::pair{116, 19990831u}}) {
            for (int i = 0; i < 4; ++i) {
                record[static_cast<std::size_t>(at + i)] =
                    static_cast<char>((day >> (8 * i)) & 0xFF);
            }
        }
        bytes += record;
        next = std::max(next, number + 1);
    }
    put16(&bytes, 18, next);
    return bytes;
}

// A directory of more than 255 securities keeps the others in XMASTER, their prices in F<n>.MWD:
// list, export and check read them, and a conversion sees their symbols.
TEST_F(InspectTest, SecuritiesOfAnXMasterAreListedExportedAndChecked) {
    WriteFileBytes(dir / "db/XMASTER", XMasterWith({{"BIG", "Big Company Limited", 256, 2}}));
    // The MWD: date and close, two records.
    std::string mwd = msdb::MakeDatHeader(2);
    mwd[2] = 3;
    for (auto [date, close] : {std::pair{990830.0f, 7.25f}, std::pair{990831.0f, 7.5f}}) {
        msdb::MbfBytes d = msdb::ToMbf(date);
        msdb::MbfBytes c = msdb::ToMbf(close);
        mwd.append(reinterpret_cast<const char*>(d.data()), 4);
        mwd.append(reinterpret_cast<const char*>(c.data()), 4);
    }
    WriteFileBytes(dir / "db/F256.MWD", mwd);
    Outcome listed = RunCli({"list", Db(), "--csv"});
    EXPECT_EQ(listed.out,
              "Directory,File,Symbol,Name,Fields,First,Last,Records,Period\n"
              ".,F1,AAA,Alpha,DATE OPEN HIGH LOW CLOSE VOL OI,1999-08-30,1999-09-01,2,D\n"
              ".,F256,BIG,Big Company Limited,DATE CLOSE,1999-08-30,1999-08-31,2,D\n"
              "sub,F1,BBB,,DATE CLOSE,1999-08-30,1999-08-30,1,W\n");
    Outcome exported = RunCli({"export", Db(), "big"});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, "Date,Close\n1999-08-30,7.25\n1999-08-31,7.5\n");
    Outcome checked = RunCli({"check", Db()});
    EXPECT_EQ(checked.status, 0) << checked.out;
    EXPECT_EQ(checked.out, Db() + ": sound; 3 securities checked\n");
    WriteFileBytes(dir / "db/F256.MWD", mwd.substr(0, 20));
    EXPECT_EQ(RunCli({"check", Db()}).status, 1);

    WriteFileBytes(dir / "c.csv", "083099,1\n");
    Outcome duplicate = RunCli({"convert", dir / "c.csv", "--dir", Db(), "--symbol", "BIG",
                                "--columns", "date=1,close=2"});
    EXPECT_EQ(duplicate.status, 1);
    EXPECT_EQ(duplicate.err.rfind("korvex: Duplicate Symbol\n", 0), 0u);
}

// Truncated files, wrong counts and flipped bytes: list, export and check never crash, and check
// never calls a damaged directory sound when the damage touched what it reads.
TEST_F(InspectTest, DamagedDirectoriesNeverCrashTheReaders) {
    const std::vector<std::string> files = {"MASTER", "F1.DAT", "F1.DOP", "sub/MASTER",
                                            "sub/F1.DAT"};
    std::map<std::string, std::string> original;
    for (const std::string& f : files) {
        original[f] = ReadFileBytes(dir / ("db/" + f));
    }
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        for (const auto& [f, bytes] : original) {
            WriteFileBytes(dir / ("db/" + f), bytes);
        }
        const std::string& f = files[random() % files.size()];
        std::string bytes = original[f];
        switch (random() % 3) {
            case 0:
                bytes.resize(random() % (bytes.size() + 1));
                break;
            case 1:
                for (int flips = 0; flips < 3 && !bytes.empty(); ++flips) {
                    bytes[random() % bytes.size()] ^= static_cast<char>(1 << (random() % 8));
                }
                break;
            default:
                if (bytes.size() > 4) {
                    bytes[random() % 4] = static_cast<char>(random());
                }
        }
        WriteFileBytes(dir / ("db/" + f), bytes);
        SCOPED_TRACE(f + " damaged in round " + std::to_string(round));
        // Each command ends with one of its documented exit statuses and, when it fails, says why.
        auto expectStatus = [](const Outcome& r, std::initializer_list<int> allowed) {
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), r.status), allowed.end())
                << r.status;
            if (r.status != 0 && r.out.find("problem") == std::string::npos) {
                EXPECT_NE(r.err, "");
            }
        };
        Outcome checked = RunCli({"check", Db()});
        expectStatus(checked, {0, 1, 2});
        if (bytes != original[f] && (f == "F1.DAT" || f == "sub/F1.DAT") && bytes.size() % 4 != 0) {
            EXPECT_EQ(checked.status, 1) << checked.out;
        }
        expectStatus(RunCli({"list", Db()}), {0, 2});
        expectStatus(RunCli({"list", Db(), "--json"}), {0, 2});
        expectStatus(RunCli({"export", Db(), "AAA"}), {0, 1});
        expectStatus(RunCli({"export", Db(), "BBB", "--date-format", "YYMMDD"}), {0, 1});
    }
}

}  // namespace
}  // namespace testing_support
