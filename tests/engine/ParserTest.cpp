// Input lines into price records: splitting, columns, dates, numbers and the messages of the parse.
#include <gtest/gtest.h>

#include <clocale>

#include <functional>

#include "engine/InputParser.h"
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

// The price records that the parser reads from `text`, with the fixture's settings changed by
// `adjust`, as F<n>.DAT would hold them, one hex string per record; the parser's message about
// unreadable fields goes to `unreadable`.
std::vector<std::string> Parse(const std::string& text,
                               const std::function<void(engine::ConversionSettings&)>& adjust,
                               std::string* unreadable = nullptr) {
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
    if (unreadable != nullptr) {
        *unreadable = parser.UnreadableCount() > 0 ? parser.UnreadableMessage() : "";
    }
    return Records(writer.bytes(), 4 * static_cast<std::size_t>(settings.FieldCount()));
}

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

TEST_F(JobFixture, EmptyFieldsDoNotCountAndShortLinesReuseEarlierFields) {
    // Line 1 has two fields: the 2 is the open price. High to OI have never been seen: "123".
    // Line 2 is complete; line 3 reuses its fields 3 to 7; blank and delimiter-only lines vanish.
    auto job = MakeJob("083099,,2\n\n,,,\n083199,1,2,3,4,5,6\r\n090199,7\n");
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(Records(Dat(), 28),
              (std::vector<std::string>{
                  ToHex(Hex("E0 E6 71 94") + Hex("00 00 00 82") + std::string(Hex("00 00 76 87")) +
                        Hex("00 00 76 87") + Hex("00 00 76 87") + Hex("00 00 76 87") +
                        Hex("00 00 76 87")),
                  ToHex(Hex("F0 E6 71 94 00 00 00 81 00 00 00 82 00 00 40 82 00 00 00 83 "
                            "00 00 20 83 00 00 40 83")),
                  ToHex(Hex("50 EB 71 94 00 00 60 83 00 00 00 82 00 00 40 82 00 00 00 83 "
                            "00 00 20 83 00 00 40 83"))}));
    EXPECT_EQ(ToHex(Dat().substr(0, 4)), "00 00 04 00");
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
        {" 083099,1\n", 9,
         "You specified a numeric-only date format\nbut a non-numeric date character was found."},
        {"\"083099\",1\n", 9,
         "You specified a numeric-only date format\nbut a non-numeric date character was found."},
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
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(notifier.messages.empty());
        } else {
            EXPECT_EQ(result, 1);
            ASSERT_FALSE(notifier.messages.empty());
            EXPECT_EQ(notifier.messages[0], c.message);
        }
        // The records are written and counted all the same.
        std::string dat = ReadFileBytes(other / "F1.DAT");
        EXPECT_EQ(ReadLastRecordNumber(dat), dat.size() / 8);
    }
}

TEST_F(JobFixture, LongLinesAreReadInPiecesOf299) {
    std::string exact = "083099,1.75," + std::string(299 - 12, '9');  // 299 characters
    std::string longer = "083199,2," + std::string(300, '5') + ",7";  // 311 characters
    const std::string text = exact + "\n" + longer + "\n090199,3";    // no final line feed
    // 299 characters and their line feed: one record, then an empty line. The 311 characters:
    // the first 299, then "55,7" on its own, whose date is no day and whose close is 7.
    std::string unreadable;
    EXPECT_EQ(Parse(text, DateAndClose, &unreadable),
              (std::vector<std::string>{"E0 E6 71 94 00 00 60 81", "F0 E6 71 94 00 00 00 82",
                                        "00 00 00 00 00 00 60 83", "50 EB 71 94 00 00 40 82"}));
    const std::string message =
        "1 field of the input file could not be read, so nothing was converted:\nthe date in "
        "column 1 "
        "of line 2.";
    EXPECT_EQ(unreadable, message);
    // The run says so, fails and changes nothing.
    auto job = MakeJob(text);
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    ASSERT_EQ(job->Run(), 1);
    EXPECT_EQ(notifier.messages.back(), message);
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});
}

TEST_F(JobFixture, UnreadableFieldsAreStoredAsZeroAndReported) {
    const std::string text =
        "083099,abc,2,1,1.75,1000,50\n"          // open: not a number
        "083199,12.5abc,inf,1e39,-2,nan,0x10\n"  // high infinite, low too large, vol NaN
        "133199,1,2,1,1.75,1000,50\n"            // month 13
        "083160,1,2,1,1.75,1000,50\n"            // 1960: before the first day
        "000000,1,2,1,1.75,1000,50\n"            // no date at all
        "023099,1,2,1,1.75,1e-40,1e-45\n";       // 30 February rolls over; tiny numbers are 0
    std::string unreadable;
    std::vector<std::string> records = Parse(
        text, [](engine::ConversionSettings&) {}, &unreadable);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0].substr(12, 11), "00 00 00 00");
    EXPECT_EQ(records[1], ToHex(Hex("F0 E6 71 94 00 00 48 84 00 00 00 00 00 00 00 00") +
                                Hex("00 00 80 82 00 00 00 00 00 00 00 85")));
    EXPECT_EQ(records[2].substr(0, 11), "00 00 00 00");
    EXPECT_EQ(records[3].substr(0, 11), "00 00 00 00");
    EXPECT_EQ(records[4].substr(0, 11), "00 00 00 00");
    EXPECT_EQ(records[5].substr(0, 11), "E0 C5 71 94");  // 990302
    EXPECT_EQ(records[5].substr(60), "00 00 00 00 00 00 00 00");
    const std::string message =
        "7 fields of the input file could not be read, so nothing was converted;\nthe first is the "
        "open price in column 2 of line 1.";
    EXPECT_EQ(unreadable, message);
    // The run says so, fails and changes nothing.
    auto job = MakeJob(text);
    ASSERT_EQ(job->Run(), 1);
    EXPECT_EQ(notifier.messages, std::vector<std::string>{message});
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});
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
        EXPECT_EQ(job->Run(), 1);
        EXPECT_EQ(notifier.messages,
                  std::vector<std::string>{"The input file " + (dir / "input.txt") +
                                           " holds no price records."});
        EXPECT_EQ(ListNames(other.path()), std::vector<std::string>{});
    }
}

TEST_F(JobFixture, NewestFirstAndRepeatedDatesAreKeptInFileOrder) {
    auto job = MakeJob("083199,2\n083099,1\n083099,1\n");
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    ASSERT_EQ(job->Run(), 0);
    EXPECT_EQ(ToHex(MasterRecordAt(1).substr(25, 8)), "F0 E6 71 94 E0 E6 71 94");
    EXPECT_EQ(Records(Dat(), 8).size(), 3u);
}

TEST_F(JobFixture, AtMost65534PriceRecords) {
    std::string input;
    for (int i = 0; i < 65536; ++i) {
        input += "083099,1\n";
    }
    input.replace(input.size() - 18, 9, "083199,2\n");  // line 65535, one too many
    auto job = MakeJob(input);
    OnlyFields(job.get(), {PriceField::kDate, PriceField::kClose});
    EXPECT_EQ(job->Run(), 1);
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"input.txt"});
    EXPECT_EQ(notifier.messages,
              std::vector<std::string>{
                  "The input file holds more than 65534 price records, and one security holds at "
                  "most 65534 price records.\nNothing was converted."});
    // One fewer converts whole.
    input.resize(input.size() - 27);
    auto fits = MakeJob(input + "083199,2\n");
    OnlyFields(fits.get(), {PriceField::kDate, PriceField::kClose});
    EXPECT_EQ(fits->Run(), 0);
    std::string dat = Dat();
    EXPECT_EQ(dat.size(), 65535u * 8);
    EXPECT_EQ(ToHex(dat.substr(0, 4)), "00 00 FF FF");
    EXPECT_EQ(ToHex(MasterRecordAt(1).substr(25, 8)), "E0 E6 71 94 F0 E6 71 94");
}

TEST(LineReaderTest, PiecesLinesAndNulBytes) {
    TempDir dir;
    std::string text = std::string(298, 'a') + "\r\n" + std::string("b\0c\n", 4) + "tail";
    WriteFileBytes(dir / "in", text);
    std::unique_ptr<msdb::ReadableFile> file;
    ASSERT_TRUE(FileSystem::Default().OpenForRead(dir / "in", &file).ok());
    engine::LineReader reader(std::move(file));
    std::vector<std::string> lines;
    std::vector<int> numbers;
    std::string_view piece;
    bool got = true;
    while (reader.Next(&piece, &got).ok() && got) {
        lines.emplace_back(engine::LineText(piece));
        numbers.push_back(reader.LineNumber());
    }
    // 298 characters and CR make a piece of 299 that keeps its CR; the LF is a line of its own.
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(298, 'a') + "\r", "", "b", "tail"}));
    EXPECT_EQ(numbers, (std::vector<int>{1, 1, 2, 3}));
}

}  // namespace
}  // namespace testing_support
