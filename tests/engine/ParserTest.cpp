// Input lines into price records: splitting, columns, dates, numbers and the messages of the parse.
#include <gtest/gtest.h>

#include <clocale>

#include <functional>

#include "engine/InputParser.h"
#include "engine/InputScan.h"
#include "engine/NumberText.h"
#include "engine/PriceFileWriter.h"
#include "engine/TextInput.h"
#include "msdb/Master.h"
#include "tests/support/JobFixture.h"

namespace testing_support {
namespace {

using namespace msdb;
using engine::PriceField;

// The price records of F1.DAT as hex, one string per record.
std::vector<std::string> Records(const std::string& dat, std::size_t length) {
    std::vector<std::string> records;
    for (std::size_t at = length; at + length <= dat.size(); at += length) {
        records.push_back(ToHex(dat.substr(at, length)));
    }
    return records;
}

// The price records that the parser reads from `text`, with the settings changed by `adjust`, as
// F<n>.DAT would hold them, one hex string per record; the problems, a line each as the message
// gives them, go to `problems`.
std::vector<std::string> Parse(const std::string& text,
                               const std::function<void(engine::ConversionSettings&)>& adjust,
                               std::vector<std::string>* problems = nullptr) {
    TempDir dir;
    WriteFileBytes(dir / "in.txt", text);
    engine::ConversionSettings settings;
    settings.inputPath = dir / "in.txt";
    adjust(settings);
    std::unique_ptr<msdb::ReadableFile> file;
    EXPECT_TRUE(FileSystem::Default().OpenForRead(settings.inputPath, &file).ok());
    engine::InputParser parser(settings, std::move(file));
    engine::PriceFileWriter writer(settings.FieldsOn());
    for (bool got = true;;) {
        EXPECT_TRUE(parser.NextLine(&got).ok());
        if (!got) {
            break;
        }
        writer.Append(parser.ReadRecord());
    }
    if (problems != nullptr) {
        problems->clear();
        for (const engine::InputProblem& p : parser.problems().first()) {
            problems->push_back("line " + std::to_string(p.line) + ", " + p.field +
                                (p.text.empty() ? "" : " \"" + p.text + "\"") + ": " + p.what);
        }
    }
    return Records(writer.bytes(), 4 * static_cast<std::size_t>(settings.FieldCount()));
}

void Comma(engine::ConversionSettings&) {}

void DateAndClose(engine::ConversionSettings& settings) {
    for (PriceField field : kPriceFields) {
        settings.fields[field] = {false, 1};
    }
    settings.fields[PriceField::kDate] = {true, 1};
    settings.fields[PriceField::kClose] = {true, 2};
}

const std::string kWorkedRecord =
    "E0 E6 71 94 00 00 40 81 00 00 00 82 00 00 00 81 00 00 60 81 00 00 7A 8A 00 00 48 86";

TEST_F(JobFixture, BlanksAsDelimiterGiveTheSameRecordAsCommas) {
    auto job = MakeJob("  083099   1.5 2  1\t 1.75 1000   50  \r\n");
    job->settings.delimiter = ' ';
    ASSERT_EQ(job->Run(), 0);
    // The tab belongs to the field "1\t", which reads as 1.
    EXPECT_EQ(Records(Dat(), 28), std::vector<std::string>{kWorkedRecord});
}

// Every comma separates two fields: an empty field is a field, and a field a line does not have
// is missing. Neither takes its value from another line.
TEST(FieldRulesTest, EmptyAndMissingFieldsAreProblemsAndNeverComeFromOtherLines) {
    std::vector<std::string> problems;
    const std::vector<std::string> records =
        Parse("083099,,2\n\n,,,\n083199,1,2,3,4,5,6\r\n090199,7\n", Comma, &problems);
    ASSERT_EQ(records.size(), 3u);  // the empty line and the line of empty fields give none
    EXPECT_EQ(records[0], ToHex(Hex("E0 E6 71 94") + std::string(4, '\0') + Hex("00 00 00 82") +
                                std::string(16, '\0')));
    EXPECT_EQ(records[2], ToHex(Hex("50 EB 71 94 00 00 60 83") + std::string(20, '\0')));
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "line 1, open price: is empty", "line 1, low price: is missing",
                            "line 1, close price: is missing", "line 1, volume: is missing",
                            "line 1, open interest: is missing", "line 5, high price: is missing",
                            "line 5, low price: is missing", "line 5, close price: is missing",
                            "line 5, volume: is missing", "line 5, open interest: is missing"}));
    // A field past the end of a line is missing, even when an earlier line had one there.
    Parse("083099,1,,3,4,5,6\n083199,1\n", Comma, &problems);
    EXPECT_EQ(problems.size(), 6u);  // line 1 high empty; line 2 high to open interest missing
    EXPECT_EQ(problems[1], "line 2, high price: is missing");
    // A close mapped past the line's fields is missing, never "123".
    Parse(
        "083099,1,2,3,4,5,6\n",
        [](engine::ConversionSettings& s) {
            DateAndClose(s);
            s.fields[PriceField::kClose].column = 9;
        },
        &problems);
    EXPECT_EQ(problems, std::vector<std::string>{"line 1, close price: is missing"});
}

TEST(FieldRulesTest, QuotesBlanksAndDelimitersInsideQuotes) {
    std::vector<std::string> problems;
    // Blanks after the commas, quoted numbers, a quoted date, "" for a quote inside a text.
    EXPECT_EQ(Parse("\"083099\" , \"1.5\",2 , 1,\t1.75, \"1000\",50\n", Comma, &problems),
              std::vector<std::string>{kWorkedRecord});
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(Parse(
                  "SYM, \"A, \"\"B\"\"\", 083099, 1.75\n",
                  [](engine::ConversionSettings& s) {
                      DateAndClose(s);
                      s.fields[PriceField::kDate].column = 3;
                      s.fields[PriceField::kClose].column = 4;
                  },
                  &problems),
              std::vector<std::string>{"E0 E6 71 94 00 00 60 81"});
    EXPECT_TRUE(problems.empty());
    // An unclosed quote leaves the field as it stands: not a number.
    Parse("083099,\"1.75\n", DateAndClose, &problems);
    EXPECT_EQ(problems,
              std::vector<std::string>{"line 1, close price \"\"1.75\": is not a number"});
}

// Each column's text as the fields give it, until the next line: a quoted one without its
// quotes, its doubled quotes single, and nothing of an earlier, longer line.
TEST(FieldRulesTest, ColumnTextIsTheFieldOfTheLineReadLast) {
    TempDir dir;
    WriteFileBytes(dir / "in", "ABC, \"A, \"\"B\"\"\", 083099, 1.75\n\"X\",083199\n");
    std::unique_ptr<msdb::ReadableFile> file;
    ASSERT_TRUE(FileSystem::Default().OpenForRead(dir / "in", &file).ok());
    engine::ConversionSettings settings;
    engine::InputParser parser(settings, std::move(file));
    bool got = false;
    ASSERT_TRUE(parser.NextLine(&got).ok() && got);
    EXPECT_EQ(parser.ColumnText(1), "ABC");
    EXPECT_EQ(parser.ColumnText(2), "A, \"B\"");
    EXPECT_EQ(parser.ColumnText(4), "1.75");
    EXPECT_EQ(parser.ColumnText(5), "");
    EXPECT_EQ(parser.ColumnText(0), "");
    ASSERT_TRUE(parser.NextLine(&got).ok() && got);
    EXPECT_EQ(parser.ColumnText(1), "X");
    EXPECT_EQ(parser.ColumnText(2), "083199");
    EXPECT_EQ(parser.ColumnText(3), "");
}

// Fields of any length and any bytes, split at the delimiter alone; the slots of a longer line
// before are emptied.
TEST(FieldRulesTest, FieldsOfAnyLengthAndBytes) {
    engine::FieldViews fields;
    EXPECT_EQ(engine::SplitFields("1,2,3,4,5,6,7,8", ',', &fields), 8u);
    const std::string line = "\xAC\xAD,123456789012345,x\xFF,,\xE2\x82\xAC;7,";
    ASSERT_EQ(engine::SplitFields(line, ',', &fields), 6u);
    EXPECT_EQ(std::vector<std::string_view>(fields.text.begin(), fields.text.begin() + 8),
              (std::vector<std::string_view>{"\xAC\xAD", "123456789012345", "x\xFF", "",
                                             "\xE2\x82\xAC;7", "", "", ""}));
    // A blank at the end of a later field, with the semicolon.
    ASSERT_EQ(engine::SplitFields("1;2\t;3", ';', &fields), 3u);
    EXPECT_EQ(fields.text[1], "2");
}

TEST_F(JobFixture, SkippedLinesIncludeBlankOnesAndDateColumnCanFollowATicker) {
    auto job = MakeJob("Ticker,Date,Close\n\nXYZ,083099,1.75\nXYZ,083199,2\n");
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    job->settings.fields[engine::PriceField::kDate].column = 2;
    job->settings.fields[engine::PriceField::kClose].column = 3;
    job->settings.skipOn = true;
    job->settings.skipRows = 2;
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(Records(Dat(), 8),
              (std::vector<std::string>{"E0 E6 71 94 00 00 60 81", "F0 E6 71 94 00 00 00 82"}));
    EXPECT_EQ(ToHex(MasterRecordAt(1).substr(25, 8)), "E0 E6 71 94 F0 E6 71 94");
}

// Files joined one after another repeat their heading: the skipped line again is no problem; a
// line that only looks like it still is.
TEST(LineRulesTest, AHeadingRepeatedInsideTheFileIsPassedOver) {
    const auto skipOne = [](engine::ConversionSettings& settings) {
        DateAndClose(settings);
        settings.skipOn = true;
        settings.skipRows = 1;
    };
    std::vector<std::string> problems;
    EXPECT_EQ(Parse("Date,Close\n083099,1.75\nDate,Close\n083199,2\n", skipOne, &problems).size(),
              2u);
    EXPECT_TRUE(problems.empty());
    Parse("Date,Close\n083099,1.75\nDate,Close,Volume\n083199,2\n", skipOne, &problems);
    EXPECT_EQ(problems.size(), 2u);  // its date and its close
}

TEST_F(JobFixture, DateCheckOfTheFirstRecord) {
    struct Case {
        const char* input;
        int format;
        const char* message;  // nullptr: the check passes
    } cases[] = {
        {"08/30/99,1\n", 9,
         "You specified a numeric-only date format\nbut a non-numeric date character was found."},
        {"08/30/99,1\n", 3, nullptr},
        {"083099,1\n", 3,
         "You specified a character-separated date format\nbut a only numeric date characters "
         "were found."},
        {" 083099,1\n", 9, nullptr},             // blanks around a field are not part of it
        {"\"083099\",1\n", 9, nullptr},          // nor are the quotes around it
        {"083099,1\n08/31/99,2\n", 9, nullptr},  // only the first record is checked
        {"Date,Close\n083099,1\n", 9,            // an unskipped heading is the first record
         "You specified a numeric-only date format\nbut a non-numeric date character was found."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        TempDir other;
        notifier.messages.clear();
        auto job = MakeJob(c.input);
        OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
        job->settings.directory = other.path();
        job->settings.dateFormat = static_cast<engine::DateFormat>(c.format);
        int result = job->Run();
        if (c.message == nullptr) {
            // 08/31/99 in MMDDYY is a problem of its own, but not a date check.
            for (const std::string& message : notifier.messages) {
                EXPECT_EQ(message.find("You specified"), std::string::npos) << message;
            }
        } else {
            // The check's message, then the problem it is, and nothing converted.
            EXPECT_EQ(result, 1);
            ASSERT_EQ(notifier.messages.size(), 2u);
            EXPECT_EQ(notifier.messages[0], c.message);
            EXPECT_NE(notifier.messages[1].find("line "), std::string::npos);
            EXPECT_EQ(ListNames(other.path()), std::vector<std::string>{});
        }
    }
}

TEST(LineRulesTest, LineEndsLongLinesAndTheByteOrderMark) {
    std::vector<std::string> problems;
    // LF, CR LF and a lone CR (old Mac files) each end a line; the last line needs no end.
    EXPECT_EQ(Parse("083099,1\r083199,2\r\n090199,3\n090299,4", DateAndClose, &problems).size(),
              4u);
    EXPECT_TRUE(problems.empty());
    // A UTF-8 byte order mark is not part of the first date.
    EXPECT_EQ(Parse("\xEF\xBB\xBF"
                    "083099,1.75\n",
                    DateAndClose, &problems),
              std::vector<std::string>{"E0 E6 71 94 00 00 60 81"});
    EXPECT_TRUE(problems.empty());
    // A line of 65,536 bytes is read whole; one byte more is a problem and gives no record.
    const std::string whole = "083099,1.75," + std::string(65536 - 12, '9');
    const std::string tooLong = "083199,2," + std::string(65536 - 8, '5');
    EXPECT_EQ(Parse(whole + "\n" + tooLong + "\r\n090199,3\n", DateAndClose, &problems),
              (std::vector<std::string>{"E0 E6 71 94 00 00 60 81", "50 EB 71 94 00 00 40 82"}));
    EXPECT_EQ(problems,
              std::vector<std::string>{"line 2, line: is longer than 65,536 bytes, and gives no "
                                       "record"});
}

TEST_F(JobFixture, FilesThatAreNotTextAreRefused) {
    const struct {
        std::string bytes;
        int skip;
        std::string why;
    } cases[] = {
        {std::string("\xFF\xFE\0\0", 4) + "x", 0, "it is UTF-32 text"},
        {std::string("083099,1,2,3,4,5,6\n08\0"
                     "3199,1\n",
                     27),
         0, "it holds a NUL byte (line 2)"},
        // A heading that holds a NUL byte, skipped or not: no plain text file holds one.
        {std::string("Head\0ing\n083099,1,2,3,4,5,6\n", 27), 1, "it holds a NUL byte (line 1)"},
    };
    for (const auto& [bytes, skip, why] : cases) {
        SCOPED_TRACE(why);
        TempDir other;
        notifier.messages.clear();
        auto job = MakeJob(bytes);
        job->settings.directory = other.path();
        job->settings.skipOn = skip > 0;
        job->settings.skipRows = skip;
        EXPECT_EQ(job->Run(), 1);
        ASSERT_EQ(notifier.messages.size(), 1u);
        EXPECT_EQ(
            notifier.messages[0].rfind(
                "The input file " + (dir / "input.txt") + " is not a plain text file: " + why, 0),
            0u)
            << notifier.messages[0];
        EXPECT_EQ(ListNames(other.path()), std::vector<std::string>{});
    }
}

// "Unicode Text" as spreadsheets save it converts as the same file in UTF-8 does: UTF-16 of
// either byte order, with its byte order mark or, without one, told by its zero bytes.
TEST_F(JobFixture, Utf16FilesAreReadAsText) {
    const std::u16string text = u"Date\tClose \u00e4\U0001F600\r\n083099\t1.5\r\n083199\t1.75\r\n";
    auto utf16 = [&](bool big, bool mark) {
        std::string bytes = mark ? (big ? "\xFE\xFF" : "\xFF\xFE") : "";
        for (char16_t unit : text) {
            const char high = static_cast<char>(unit >> 8);
            const char low = static_cast<char>(unit & 0xFF);
            bytes += big ? std::string{high, low} : std::string{low, high};
        }
        return bytes;
    };
    auto run = [&](const std::string& bytes) {
        TempDir out;
        auto job = MakeJob(bytes);
        OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
        job->settings.directory = out.path();
        job->settings.delimiter = '\t';
        job->settings.skipOn = true;
        job->settings.skipRows = 1;
        EXPECT_EQ(job->Run(), 0) << ::testing::PrintToString(notifier.messages);
        return ReadFileBytes(out / "F1.DAT");
    };
    const std::string expected = run("Date\tClose\r\n083099\t1.5\r\n083199\t1.75\r\n");
    ASSERT_EQ(expected.size(), 3u * 8);
    for (auto [big, mark] : {std::pair{false, true}, std::pair{true, true}, std::pair{false, false},
                             std::pair{true, false}}) {
        SCOPED_TRACE(std::string(big ? "big" : "little") + (mark ? " endian, marked" : " endian"));
        EXPECT_EQ(run(utf16(big, mark)), expected);
    }
    // A heading that is not ASCII comes out as UTF-8, a lone surrogate as U+FFFD.
    WriteFileBytes(dir / "in16.txt", utf16(false, true) + std::string("\x00\xD8", 2));
    std::unique_ptr<msdb::ReadableFile> file;
    ASSERT_TRUE(FileSystem::Default().OpenForRead(dir / "in16.txt", &file).ok());
    engine::LineReader reader(std::move(file));
    std::string_view line;
    bool got = false;
    ASSERT_TRUE(reader.Next(&line, &got).ok());
    EXPECT_EQ(line, "Date\tClose \xC3\xA4\xF0\x9F\x98\x80");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.Next(&line, &got).ok());
    }
    EXPECT_EQ(line, "\xEF\xBF\xBD");
}

TEST(DateRulesTest, DatesThatDoNotFitOrDoNotExist) {
    std::vector<std::string> problems;
    auto format = [](int code) {
        return [code](engine::ConversionSettings& s) {
            DateAndClose(s);
            s.dateFormat = static_cast<engine::DateFormat>(code);
        };
    };
    // 01/02/2025 read as MM_DD_YY: the format ends before the year does.
    Parse("01/02/2025,1\n", format(3), &problems);
    EXPECT_EQ(problems, std::vector<std::string>{
                            "line 1, date \"01/02/2025\": has more digits than MM_DD_YY reads"});
    // A group of one digit would shift the ones after it.
    Parse("12/5/99,1\n", format(3), &problems);
    EXPECT_EQ(problems, std::vector<std::string>{"line 1, date \"12/5/99\": is shorter than "
                                                 "MM_DD_YY, whose groups have two digits each"});
    // 30 February and day 00 do not exist: problems, never rolled over into another day. The day
    // before the first of 1961, which no day number counts, is no date at all.
    EXPECT_EQ(Parse("02/30/2023,1\n03/00/2023,2\n01/00/1961,3\n", format(4), &problems),
              (std::vector<std::string>{"00 00 00 00 00 00 00 81", "00 00 00 00 00 00 00 82",
                                        "00 00 00 00 00 00 40 82"}));
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "line 1, date \"02/30/2023\": does not exist",
                            "line 2, date \"03/00/2023\": does not exist",
                            "line 3, date \"01/00/1961\": is not a date in MM_DD_CCYY"}));
    Parse("13/01/2023,1\n01/01/1960,1\n,1\n", format(4), &problems);
    EXPECT_EQ(problems,
              (std::vector<std::string>{"line 1, date \"13/01/2023\": is not a date in MM_DD_CCYY",
                                        "line 2, date \"01/01/1960\": lies outside the years "
                                        "1961 to 2099",
                                        "line 3, date: is empty"}));
}

TEST(NumberRulesTest, UnreadableNumbersAreProblemsStoredAsZero) {
    std::vector<std::string> problems;
    std::vector<std::string> records = Parse(
        "083099,abc,2,1,1.75,1000,50\n"          // open: not a number
        "083199,12.5abc,inf,1e39,-2,nan,0x10\n"  // text after a number, infinite, too large, NaN
        "090199,1,2,1,1.75,1e-40,1e-45\n",       // not 0, but smaller than can be stored
        Comma, &problems);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].substr(12, 11), "00 00 00 00");
    EXPECT_EQ(records[1], ToHex(Hex("F0 E6 71 94 00 00 00 00 00 00 00 00 00 00 00 00") +
                                Hex("00 00 80 82 00 00 00 00 00 00 00 85")));
    EXPECT_EQ(records[2].substr(60), "00 00 00 00 00 00 00 00");
    EXPECT_EQ(problems,
              (std::vector<std::string>{"line 1, open price \"abc\": is not a number",
                                        "line 2, open price \"12.5abc\": is not a number",
                                        "line 2, high price \"inf\": is too large to be stored",
                                        "line 2, low price \"1e39\": is too large to be stored",
                                        "line 2, volume \"nan\": is too large to be stored",
                                        "line 3, volume \"1e-40\": is too small to be stored",
                                        "line 3, open interest \"1e-45\": is too small to be "
                                        "stored"}));
}

// A number is read whole, with the grouping separators, decimal mark and suffixes of its format,
// or it is a problem that says what is wrong.
TEST(NumberRulesTest, GroupsDecimalMarksAndSuffixes) {
    const engine::NumberFormat point{false, false};
    const engine::NumberFormat comma{true, false};
    const engine::NumberFormat volume{false, true};
    const struct {
        engine::NumberFormat format;
        const char* text;
        float value;  // when read
        const char* what;
    } cases[] = {
        {point, "1,234.50", 1234.5f, ""},
        {point, " 1,234,567 ", 1234567.0f, ""},
        {point, "1'234.5", 1234.5f, ""},
        {point, "-1,234", -1234.0f, ""},
        {point, "0x10", 16.0f, ""},
        {point, "1,23,456.7", 0, "is not a number: \",\" does not separate groups of three digits"},
        {point, "1,5", 0,
         "is not a number; if \",\" is its decimal mark, read the file with the "
         "decimal comma"},
        {point, "1,234.5.6", 0, "is not a number"},
        {point, "12.5 USD", 0, "is not a number"},
        {point, "850.5K", 0, "is not a number"},  // suffixes only for volume and open interest
        {point, "1,234", 1234.0f, ""},            // in a comma-separated file, from a quoted field
        {comma, "1.234,50", 1234.5f, ""},
        {comma, "1 234,50", 1234.5f, ""},
        {comma,
         "1\xC2\xA0"
         "234,5",
         1234.5f, ""},
        {comma, "1'234", 1234.0f, ""},
        {comma, "12,5", 12.5f, ""},
        {comma, "1.5", 0, "holds a point, but numbers are read with a decimal comma"},
        {comma, "1.23,4", 0, "is not a number: \".\" does not separate groups of three digits"},
        {volume, "2.52B", 2.52e9f, ""},
        {volume, "850.5K", 850500.0f, ""},
        {volume, "1.2m", 1.2e6f, ""},
        {volume, "1e3K", 0, "is not a number"},
        {volume, "K", 0, "is not a number"},
        {volume, "2.9e-39", 0, "is too small to be stored"},
        {volume, "3e-39", 3e-39f, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        float value = -1;
        std::string what;
        const bool read = engine::ReadNumberText(c.text, c.format, &value, &what);
        EXPECT_EQ(read, what.empty());
        EXPECT_EQ(what, c.what);
        if (std::string(c.what).empty()) {
            EXPECT_EQ(value, c.value);
        }
    }
}

// The written formats: one-digit groups and month names read the day that the fixed formats read,
// and a text of another shape is a problem, never a different day.
TEST(DateRulesTest, WrittenDatesWithShortGroupsAndMonthNames) {
    using engine::DateFormat;
    const DayNumber day = DateTextToDayNumber("2024-01-02", DateFormat::CCYY_MM_DD);
    const std::pair<DateFormat, const char*> same[] = {
        {DateFormat::M_D_CCYY, "1/2/2024"},       {DateFormat::M_D_CCYY, " \"01/02/2024"},
        {DateFormat::D_M_CCYY, "2.1.2024"},       {DateFormat::CCYY_M_D, "2024-1-2"},
        {DateFormat::DD_MON_CCYY, "02-Jan-2024"}, {DateFormat::DD_MON_CCYY, "2 january 2024"},
        {DateFormat::DD_MON_YY, "2-JAN-24"},      {DateFormat::MON_DD_CCYY, "Jan 02 2024"},
        {DateFormat::MON_DD_CCYY, "jan 2, 2024"},
    };
    for (const auto& [format, text] : same) {
        EXPECT_EQ(DateTextToDayNumber(text, format), day) << text;
    }
    EXPECT_EQ(DateTextToDayNumber("02-Jan-99", DateFormat::DD_MON_YY),
              DateTextToDayNumber("990102", DateFormat::YYMMDD));

    std::vector<std::string> problems;
    auto format = [](DateFormat code) {
        return [code](engine::ConversionSettings& s) {
            DateAndClose(s);
            s.dateFormat = code;
        };
    };
    EXPECT_EQ(Parse("1/2/2024,1\n1/3/2024,2\n", format(DateFormat::M_D_CCYY), &problems).size(),
              2u);
    EXPECT_TRUE(problems.empty());
    Parse("02-Jan-2024,1\n", format(DateFormat::DD_MON_YY), &problems);
    EXPECT_EQ(problems, std::vector<std::string>{
                            "line 1, date \"02-Jan-2024\": has more digits than DD_MON_YY reads"});
    Parse("1/2/24,1\n123/2/2024,1\n31/2/2024,1\nJam 02 2024,1\n2024-1-2,1\n",
          format(DateFormat::D_M_CCYY), &problems);
    EXPECT_EQ(problems,
              (std::vector<std::string>{"line 1, date \"1/2/24\": is not a date in D_M_CCYY",
                                        "line 2, date \"123/2/2024\": is not a date in D_M_CCYY",
                                        "line 3, date \"31/2/2024\": does not exist",
                                        "line 4, date \"Jam 02 2024\": is not a date in D_M_CCYY",
                                        "line 5, date \"2024-1-2\": is not a date in D_M_CCYY"}));
    Parse("Jam 02 2024,1\n", format(DateFormat::MON_DD_CCYY), &problems);
    EXPECT_EQ(problems, std::vector<std::string>{
                            "line 1, date \"Jam 02 2024\": is not a date in MON_DD_CCYY"});
}

// A European file, semicolons between the columns and decimal commas, gives the records of the
// same file written with points and commas; a point that is not a grouping separator is a problem
// then, never read as a decimal point.
TEST(NumberRulesTest, SemicolonsAndDecimalCommas) {
    auto european = [](engine::ConversionSettings& settings) {
        settings.delimiter = ';';
        settings.decimalComma = true;
    };
    std::vector<std::string> problems;
    EXPECT_EQ(Parse("083099; \"1,5\";2;1 ;1,75;1000;50\n083199;1,6;2,125;;1,8;0,5;55\n", european,
                    &problems),
              Parse("083099,1.5,2,1,1.75,1000,50\n083199,1.6,2.125,,1.8,0.5,55\n", Comma));
    EXPECT_EQ(problems, std::vector<std::string>{"line 2, low price: is empty"});
    Parse("090199;1.5;2;1;1,75;1000;50\n", european, &problems);
    EXPECT_EQ(problems, std::vector<std::string>{"line 1, open price \"1.5\": holds a point, but "
                                                 "numbers are read with a decimal comma"});

    engine::ConversionSettings settings;
    settings.inputPath = "in.txt";
    settings.directory = "db";
    settings.symbol = "EU";
    settings.decimalComma = true;
    std::vector<engine::SettingsProblem> refused = settings.Validate();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].field, engine::SettingsField::kDecimalComma);
    settings.delimiter = '\t';
    EXPECT_TRUE(settings.Validate().empty());
}

// A run with problems shows them and changes nothing, unless they are accepted: then only what
// check accepts is stored. Lines whose date or price cannot be read, whose day does not exist or
// whose date does not go forward are left out; a volume or open interest that cannot be read is
// stored as 0. The question says so before it is answered.
TEST_F(JobFixture, ProblemsFailTheRunUnlessAcceptedAndThenOnlyWhatCheckAcceptsIsStored) {
    const std::string input =
        "010224,1,2,1,1.5,100,10\n"    // stored
        "010324,1,x,1,1.5,100,10\n"    // a high that cannot be read: left out
        "023024,1,2,1,1.5,100,10\n"    // 30 February: left out
        "010524,1,2,1,1.5,abc,10\n"    // a volume that cannot be read: stored as 0
        "010424,1,2,1,1.5,100,10\n"    // not later than 5 January: left out
        "010624,1,2,1,1.5,100,n/a\n";  // an open interest that cannot be read: stored as 0
    auto job = MakeJob(input);
    EXPECT_EQ(job->Run(), 1);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].find("line 5, date \"010424\": is not later than 2024-01-05, "
                                        "the date stored before it"),
              std::string::npos)
        << notifier.messages[0];
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});

    for (bool asked : {true, false}) {
        SCOPED_TRACE(asked ? "answered Yes" : "--accept-problems");
        TempDir out;
        class Yes final : public engine::Notifier {
        public:
            void ShowMessage(const std::string& text) override { messages.push_back(text); }
            std::optional<bool> Ask(const std::string& question) override {
                messages.push_back(question);
                return true;
            }
            std::vector<std::string> messages;
        } yes;
        auto accepted = MakeJob(input);
        accepted->settings.directory = out.path();
        accepted->settings.acceptProblems = !asked;
        accepted->services.notifier = &yes;
        ASSERT_EQ(accepted->Run(), 0);
        ASSERT_EQ(yes.messages.size(), 1u);
        const std::string consequences =
            asked ? "\n\nStore the file anyway? 3 lines will be left out; 1 volume will be "
                    "stored as 0; 1 open interest will be stored as 0."
                  : "\nThe problems are accepted, as asked: 3 lines will be left out; 1 volume "
                    "will be stored as 0; 1 open interest will be stored as 0.";
        EXPECT_TRUE(yes.messages[0].ends_with(consequences)) << yes.messages[0];
        EXPECT_EQ(engine::ConversionSummary(*accepted->job),
                  "Converted 3 price records of XYZ into " + (out / "F1.DAT") +
                      " (2024-01-02 to 2024-01-06). 3 lines were left out; 1 volume was stored "
                      "as 0; 1 open interest was stored as 0.");
        // The dates of the lines stored, in order: what check accepts.
        const std::vector<std::string> records = Records(ReadFileBytes(out / "F1.DAT"), 28);
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].substr(0, 11) + " " + records[1].substr(0, 11) + " " +
                      records[2].substr(0, 11),
                  Parse("010224,1\n010524,1\n010624,1\n", DateAndClose)[0].substr(0, 11) + " " +
                      Parse("010524,1\n", DateAndClose)[0].substr(0, 11) + " " +
                      Parse("010624,1\n", DateAndClose)[0].substr(0, 11));
        EXPECT_EQ(records[1].substr(60, 11), "00 00 00 00");  // the volume
        EXPECT_EQ(records[2].substr(72), "00 00 00 00");      // the open interest
    }
}

// Only the lines dated in the range asked for are converted; the others are passed over, their
// fields unread, and are no problems.
TEST_F(JobFixture, ARangeOfDatesConverts) {
    auto range = MakeJob(DailyLines(300) + "not a line of prices\n");
    range->settings.from = engine::ParseIsoDate("1961-01-10");
    range->settings.to = engine::ParseIsoDate("1961-01-19");
    ASSERT_EQ(range->Run(), 1);  // the line that holds no date is a problem all the same
    // The first line is the only one in the range; the others' closes cannot be read.
    range = MakeJob(DailyLines(1) + DailyLines(300, ",1,2,3,x,5,6").substr(DailyLines(1).size()));
    range->settings.from = engine::ParseIsoDate("1961-01-02");
    range->settings.to = engine::ParseIsoDate("1961-01-02");
    ASSERT_EQ(range->Run(), 0) << ::testing::PrintToString(notifier.messages);
    EXPECT_EQ(range->job->RecordCount(), 1);
    EXPECT_EQ(engine::ParseIsoDate("1961-02-30"), std::nullopt);
    EXPECT_EQ(engine::ParseIsoDate("2100-01-01"), std::nullopt);
    EXPECT_EQ(engine::ParseIsoDate("1961-1-10"), std::nullopt);
}

// A file that lists the newest day first is one whose dates mostly go backward: a date out of
// that order is a problem of its own, and the rest is stored oldest first.
TEST_F(JobFixture, NewestFirstIsWhatMostDatesSay) {
    auto job = MakeJob("010524,5\n010424,4\n010424,4\n010324,3\n");
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    job->settings.acceptProblems = true;
    ASSERT_EQ(job->Run(), 0);
    EXPECT_TRUE(job->job->Reversed());
    EXPECT_EQ(job->job->RecordCount(), 3);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].find("line 3, date \"010424\": is not earlier than 2024-01-04, "
                                        "the date stored before it in a file that lists the "
                                        "newest day first"),
              std::string::npos)
        << notifier.messages[0];
}

TEST_F(JobFixture, ManyProblemsShowTheFirstTen) {
    // Twelve problems: the first ten are shown, and how many more there are.
    std::string many;
    for (int i = 0; i < 12; ++i) {
        many += "0830" + std::to_string(61 + i) + ",1,x,1,1,1,1\n";
    }
    notifier.messages.clear();
    TempDir other;
    auto lots = MakeJob(many);
    lots->settings.directory = other.path();
    EXPECT_EQ(lots->Run(), 1);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_EQ(std::count(notifier.messages[0].begin(), notifier.messages[0].end(), '\n'), 12);
    EXPECT_NE(notifier.messages[0].find("\nand 2 more.\n"), std::string::npos);
}

TEST_F(JobFixture, NumbersReadTheSameWithADecimalCommaLocale) {
    const char* locale = std::setlocale(LC_ALL, "de_DE.UTF-8");
    auto job = MakeJob("083099,1.5,2,1,1.75,1000,50\n");
    EXPECT_EQ(job->Run(), 0);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(Records(Dat(), 28), std::vector<std::string>{kWorkedRecord});
    if (locale == nullptr) {
        GTEST_SKIP() << "no de_DE locale on this machine; read in the C locale only";
    }
}

TEST_F(JobFixture, NothingToConvertChangesNothing) {
    for (const char* input : {"", "\n\n,,,\n", "heading\n"}) {
        SCOPED_TRACE(input);
        TempDir other;
        notifier.messages.clear();
        auto job = MakeJob(input);
        job->settings.directory = other.path();
        job->settings.skipOn = true;
        job->settings.skipRows = 1;
        job->settings.acceptProblems = true;  // no records fail whatever is accepted
        EXPECT_EQ(job->Run(), 1);
        EXPECT_EQ(notifier.messages,
                  std::vector<std::string>{"The input file " + (dir / "input.txt") +
                                           " holds no price records."});
        EXPECT_EQ(ListNames(other.path()), std::vector<std::string>{});
    }
}

// A file whose every date is earlier than the one before is written oldest first; a date that is
// not later than the one before is a problem otherwise.
TEST_F(JobFixture, NewestFirstIsReversedAndOtherOrdersAreProblems) {
    auto job = MakeJob("090199,3\n083199,2\n083099,1\n");
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    ASSERT_EQ(job->Run(), 0);
    EXPECT_TRUE(job->job->Reversed());
    EXPECT_EQ(Records(Dat(), 8),
              (std::vector<std::string>{"E0 E6 71 94 00 00 00 81", "F0 E6 71 94 00 00 00 82",
                                        "50 EB 71 94 00 00 40 82"}));
    EXPECT_EQ(ToHex(MasterRecordAt(1).substr(25, 8)), "E0 E6 71 94 50 EB 71 94");

    std::vector<std::string> problems;
    auto ordered = [](engine::ConversionSettings& s) { DateAndClose(s); };
    (void)ordered;
    TempDir other;
    notifier.messages.clear();
    auto repeated = MakeJob("083099,1\n083199,2\n083199,2\n083099,1\n");
    OnlyFields(repeated.get(), {PriceField::kDate, PriceField::kClose});
    repeated->settings.directory = other.path();
    EXPECT_EQ(repeated->Run(), 1);
    ASSERT_EQ(notifier.messages.size(), 1u);
    EXPECT_NE(notifier.messages[0].find(
                  "\nline 3, date \"083199\": is not later than 1999-08-31, the date stored before "
                  "it\nline 4, date \"083099\": is not later than 1999-08-31, the date stored "
                  "before it\n"),
              std::string::npos)
        << notifier.messages[0];
}

// The lines past the first of a file of one date, as intraday files are, are left out, never
// stored with dates that go nowhere, nor cut short without a word.
TEST_F(JobFixture, RepeatedDatesAreLeftOutNotStored) {
    std::string input;
    for (int line = 1; line <= 65535; ++line) {
        input += "083099,1\n";
    }
    auto job = MakeJob(input);
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    job->settings.acceptProblems = true;
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(Dat().size(), 2u * 8);
    EXPECT_EQ(engine::ConversionSummary(*job->job),
              "Converted 1 price record of XYZ into " + (dir / "F1.DAT") +
                  " (1999-08-30 to 1999-08-30). 65534 lines were left out.");
}

TEST(LineReaderTest, LinesTheirNumbersAndWhatTheyHold) {
    TempDir dir;
    struct Lines {
        std::vector<std::string> texts;
        std::vector<engine::LineNumber> numbers;
        std::vector<bool> nul;
    };
    auto read = [&](const std::string& text) {
        WriteFileBytes(dir / "in", text);
        std::unique_ptr<msdb::ReadableFile> file;
        EXPECT_TRUE(FileSystem::Default().OpenForRead(dir / "in", &file).ok());
        engine::LineReader reader(std::move(file));
        Lines lines;
        std::string_view line;
        bool got = true;
        while (reader.Next(&line, &got).ok() && got) {
            lines.texts.emplace_back(line);
            lines.numbers.push_back(reader.LineNumber());
            lines.nul.push_back(reader.HoldsNul());
        }
        return lines;
    };
    const std::string kinds = "a\r\nb\rc\n\n" + std::string("d\0e\n", 4) + "tail";
    Lines lines = read("\xEF\xBB\xBF" + kinds);
    EXPECT_EQ(lines.texts,
              (std::vector<std::string>{"a", "b", "c", "", std::string("d\0e", 3), "tail"}));
    EXPECT_EQ(lines.numbers, (std::vector<engine::LineNumber>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(lines.nul, (std::vector<bool>{false, false, false, false, true, false}));
    // The same lines twice behind two long ones that fill more than a block of the reader: the
    // carriage returns and NULs are found again in each block, and only where they are.
    const std::string filler(40000, 'x');
    lines = read(filler + "\n" + filler + "\n" + kinds + "\n" + kinds);
    EXPECT_EQ(lines.texts, (std::vector<std::string>{filler, filler, "a", "b", "c", "",
                                                     std::string("d\0e", 3), "tail", "a", "b", "c",
                                                     "", std::string("d\0e", 3), "tail"}));
    EXPECT_EQ(lines.nul, (std::vector<bool>{false, false, false, false, false, false, true, false,
                                            false, false, false, false, true, false}));
}

}  // namespace
}  // namespace testing_support

namespace testing_support {
namespace {

// The preview's records are the conversion's: the stored values of the first lines after the
// skipped ones, each with its own problems.
TEST(PreviewRowsTest, FirstRecordsWithTheirProblems) {
    TempDir dir;
    WriteFileBytes(dir / "in.txt", "Date,Close\n083099,1.5\n083199,x\n090199,2\n");
    engine::ConversionSettings settings;
    settings.inputPath = dir / "in.txt";
    settings.skipOn = true;
    settings.skipRows = 1;
    settings.dateFormat = engine::DateFormat::MMDDYY;
    for (PriceField field : kPriceFields) {
        settings.fields[field] = {false, 1};
    }
    settings.fields[PriceField::kDate] = {true, 1};
    settings.fields[PriceField::kClose] = {true, 2};
    std::vector<engine::PreviewRow> rows;
    ASSERT_TRUE(engine::ReadPreviewRows(FileSystem::Default(), settings, 2, &rows).ok());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].line, 2);
    EXPECT_EQ(FromMbf(rows[0].record.values[PriceField::kClose]), 1.5f);
    EXPECT_TRUE(rows[0].problems.empty());
    EXPECT_EQ(rows[1].line, 3);
    ASSERT_EQ(rows[1].problems.size(), 1u);
    EXPECT_EQ(rows[1].problems[0].field, "close price");
    EXPECT_EQ(rows[1].problems[0].text, "x");

    settings.inputPath = dir / "missing.txt";
    EXPECT_TRUE(engine::ReadPreviewRows(FileSystem::Default(), settings, 2, &rows).IsNotFound());

    // Put in the order stored, a day that comes again gets the conversion's problem, on the line
    // the conversion names: newest first, the later line of the two. A line left out for its
    // price does not count.
    WriteFileBytes(dir / "in.txt", "Date,Close\n090399,3\n090299,2\n090299,x\n090299,9\n");
    settings.inputPath = dir / "in.txt";
    ASSERT_TRUE(engine::ReadPreviewRows(FileSystem::Default(), settings, 4, &rows).ok());
    EXPECT_TRUE(engine::OrderAsStored(&rows));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].line, 5);
    ASSERT_EQ(rows[0].problems.size(), 1u);
    EXPECT_EQ(engine::ProblemText(rows[0].problems[0]),
              "line 5, date \"090299\": is not earlier than 1999-09-02, the date stored before it "
              "in a file that lists the newest day first");
    EXPECT_FALSE(rows[0].unread[PriceField::kDate]);
    EXPECT_TRUE(rows[1].unread[PriceField::kClose]);
    EXPECT_TRUE(rows[2].problems.empty());
}

// The whole-file reading: the order of the dates decides the reversal, and dates out of order
// are problems once the scan is over.
TEST(ScanInputTest, DateOrderReversesOrBecomesProblems) {
    TempDir dir;
    engine::ConversionSettings settings;
    settings.dateFormat = engine::DateFormat::MMDDYY;
    settings.inputPath = dir / "in.txt";
    for (PriceField field : kPriceFields) {
        settings.fields[field] = {false, 1};
    }
    settings.fields[PriceField::kDate] = {true, 1};
    settings.fields[PriceField::kClose] = {true, 2};
    int limit = 100;
    auto scan = [&](const std::string& text, std::int64_t* problems, int* seen) {
        WriteFileBytes(dir / "in.txt", text);
        std::unique_ptr<ReadableFile> file;
        EXPECT_TRUE(FileSystem::Default().OpenForRead(settings.inputPath, &file).ok());
        engine::InputParser parser(settings, std::move(file));
        *seen = 0;
        const engine::ScanResult result =
            engine::ScanInput(parser, [&](const engine::PriceRecord&, const engine::InputParser&) {
                return ++*seen < limit;
            });
        *problems = parser.problems().count();
        return result;
    };
    std::int64_t problems = 0;
    int seen = 0;
    engine::ScanResult newestFirst = scan("090199,2\n083199,1\n083099,1\n", &problems, &seen);
    EXPECT_TRUE(newestFirst.reversed);
    EXPECT_EQ(newestFirst.recordCount, 3);
    EXPECT_EQ(FromMbf(newestFirst.firstDate), 990830.0f);  // the oldest day
    EXPECT_EQ(problems, 0);
    engine::ScanResult mixed = scan("083099,2\n090199,1\n083199,1\n", &problems, &seen);
    EXPECT_FALSE(mixed.reversed);
    EXPECT_EQ(problems, 1);
    // The callback stops the scan: the fourth record is never read.
    limit = 3;
    engine::ScanResult stopped = scan("083099,1\n083199,1\n090199,1\n090299,1\n", &problems, &seen);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(seen, 3);
}

// A file can have more lines than an int counts; a problem's line number never wraps.
TEST(InputProblemsTest, LineNumbersPastTwoToTheThirtyFirstStayWhole) {
    engine::InputProblems problems;
    problems.Add({engine::LineNumber{1} << 31 | 11, "close price", "x", "is not a number"});
    EXPECT_NE(problems.Message("in.txt").find("\nline 2147483659, close price"), std::string::npos)
        << problems.Message("in.txt");
}

}  // namespace
}  // namespace testing_support
