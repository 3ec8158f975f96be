// Layout detection on files shaped like those users download: the settings proposed for each,
// what stays undecided, and the files no layout can be proposed for.
#include "engine/Detect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace engine {
namespace {

// The columns of the fields switched on, as --columns lists them; "-" for a field switched off.
std::string Columns(const DetectedLayout& layout) {
    std::string text;
    for (PriceField field : msdb::kPriceFields) {
        text += (text.empty() ? "" : " ") + (layout.fields[field].on
                                                 ? std::to_string(layout.fields[field].column)
                                                 : std::string("-"));
    }
    return text;
}

struct Expected {
    char delimiter;
    bool decimalComma;
    int skip;
    DateFormat format;
    std::string columns;  // date open high low close volume oi
};

void ExpectLayout(const std::string& text, const Expected& expected) {
    DetectionResult result = DetectLayoutOfText(text);
    ASSERT_TRUE(result.found) << result.failure;
    EXPECT_EQ(result.layout.delimiter, expected.delimiter);
    EXPECT_EQ(result.layout.decimalComma, expected.decimalComma);
    EXPECT_EQ(result.layout.skipRows, expected.skip);
    EXPECT_EQ(result.layout.dateFormat, expected.format);
    EXPECT_EQ(Columns(result.layout), expected.columns);
    EXPECT_EQ(result.confidence, Confidence::kHigh);
    EXPECT_TRUE(result.undecided.empty()) << result.undecided.front();
}

// One line that no format reads, among forty, does not defeat detection: the layout that reads
// the others is proposed, with that line as its problem.
TEST(DetectTest, OneBadLineIsAProblemOfTheLayoutThatReadsTheRest) {
    std::string text = "Date,Close\n";
    for (int day = 0; day < 40; ++day) {
        char date[16];
        std::snprintf(date, sizeof date, "%02d/%02d/2024", day < 31 ? 1 : 2, day % 31 + 1);
        text += (day == 19 ? std::string("02/30/2024") : std::string(date)) + "," +
                std::to_string(day) + ".5\n";
    }
    const DetectionResult result = DetectLayoutOfText(text);
    ASSERT_TRUE(result.found) << result.failure;
    EXPECT_EQ(result.layout.dateFormat, DateFormat::MM_DD_CCYY);
    EXPECT_EQ(Columns(result.layout), "1 - - - 2 - -");
    EXPECT_EQ(result.confidence, Confidence::kLow);
    EXPECT_NE(std::find_if(result.reasons.begin(), result.reasons.end(),
                           [](const std::string& reason) {
                               return reason.find(
                                          "finds 1 problem, the first on line 21: date "
                                          "does not exist") != std::string::npos;
                           }),
              result.reasons.end())
        << ::testing::PrintToString(result.reasons);
}

// Two downloads of a symbol joined with cat, overlapping by a day: the day that comes again is
// a problem of the proposal, as the conversion finds it, and the range is that of all the days.
TEST(DetectTest, ADayThatComesAgainIsAProblemOfTheProposal) {
    std::string text = "Ticker,Date,Close\n";
    for (const char* symbol : {"AAA", "BBB"}) {
        for (int day = 1; day <= 20; ++day) {
            text += std::string(symbol) + ",2024-03-" + (day < 10 ? "0" : "") +
                    std::to_string(day) + "," + std::to_string(day) + "\n";
            if (day == 12 && symbol[0] == 'B') {
                text += "BBB,2024-03-11,11\n";  // line 34
            }
        }
    }
    const DetectionResult result = DetectLayoutOfText(text);
    ASSERT_TRUE(result.found) << result.failure;
    EXPECT_EQ(result.confidence, Confidence::kLow);
    const std::string reasons = ::testing::PrintToString(result.reasons);
    EXPECT_NE(reasons.find("finds 1 problem, the first on line 34: date is not later than "
                           "2024-03-12"),
              std::string::npos)
        << reasons;
    EXPECT_NE(reasons.find("(2024-03-01 to 2024-03-20, oldest first)"), std::string::npos)
        << reasons;
    // However short the file.
    const DetectionResult tiny =
        DetectLayoutOfText("Date,Close\n2024-01-02,1.5\n2024-01-03,1.5\n2024-01-03,1.5\n");
    ASSERT_TRUE(tiny.found) << tiny.failure;
    EXPECT_NE(::testing::PrintToString(tiny.reasons).find("the first on line 4: date"),
              std::string::npos);
}

TEST(DetectTest, DownloadsWithAHeadingLine) {
    // Yahoo: Adj Close is not the close and is not stored.
    ExpectLayout(
        "Date,Open,High,Low,Close,Adj Close,Volume\n"
        "2024-01-02,187.15,188.44,183.89,185.64,184.94,82488700\n"
        "2024-01-03,184.22,185.88,183.43,184.25,183.55,58414500\n"
        "2024-01-04,182.15,183.09,180.88,181.91,181.22,71983600\n",
        {',', false, 1, DateFormat::CCYY_MM_DD, "1 2 3 4 5 7 -"});
    // Stooq, with CR LF line ends and a byte order mark.
    ExpectLayout(
        "\xEF\xBB\xBF"
        "Date,Open,High,Low,Close,Volume\r\n"
        "2024-01-02,10.5,11,10,10.75,1200\r\n2024-01-03,10.75,11.5,10.5,11.25,1300\r\n",
        {',', false, 1, DateFormat::CCYY_MM_DD, "1 2 3 4 5 6 -"});
    // Ticker, period and time columns are left off; the dates are digits only.
    ExpectLayout(
        "<TICKER>,<PER>,<DTYYYYMMDD>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
        "ACME,D,20240102,000000,10.5,11,10,10.75,1200,7\n"
        "ACME,D,20240103,000000,10.75,11.5,10.5,11.25,1300,8\n",
        {',', false, 1, DateFormat::CCYYMMDD, "3 5 6 7 8 9 10"});
    // Blanks after the commas, US dates.
    ExpectLayout(
        "SYMBOL, INTERVAL, DATE, OPEN, HIGH, LOW, CLOSE, VOLUME\n"
        "ACME, D, 01/12/2024, 10.5, 11, 10, 10.75, 1200\n"
        "ACME, D, 01/16/2024, 10.75, 11.5, 10.5, 11.25, 1300\n",
        {',', false, 1, DateFormat::MM_DD_CCYY, "3 4 5 6 7 8 -"});
    // Semicolons, decimal commas and day-first dates with points.
    ExpectLayout(
        "Date;Open;High;Low;Close;Volume\n"
        "29.12.2023;10,5;11;10;10,75;1200\n"
        "02.01.2024;10,75;11,5;10,5;11,25;1300\n",
        {';', true, 1, DateFormat::DD_MM_CCYY, "1 2 3 4 5 6 -"});
    // The same with points between the thousands of the volume.
    ExpectLayout(
        "Date;Open;High;Low;Close;Volume\n"
        "29.12.2023;10,5;11;10;10,75;1.200\n"
        "02.01.2024;10,75;11,5;10,5;11,25;21.300\n",
        {';', true, 1, DateFormat::DD_MM_CCYY, "1 2 3 4 5 6 -"});
    // Quoted, newest first, with Last and Price: Close wins, wherever it stands.
    ExpectLayout(
        "\"Timestamp\",\"Last\",\"Price\",\"Close\",\"Vol.\"\n"
        "\"2024/01/16\",\"1\",\"2\",\"11.25\",\"1300\"\n"
        "\"2024/01/15\",\"1\",\"2\",\"10.75\",\"1200\"\n"
        "\"2024/01/12\",\"1\",\"2\",\"10.5\",\"900\"\n",
        {',', false, 1, DateFormat::CCYY_MM_DD, "1 - - - 4 5 -"});
}

TEST(DetectTest, FilesWithoutAHeadingFollowTheUsualOrder) {
    // Tab-separated: open, high, low, close, volume, open interest.
    ExpectLayout(
        "20240102\t10.5\t11\t10\t10.75\t1200\t7\n"
        "20240103\t10.75\t11.5\t10.5\t11.25\t1300\t8\n"
        "20240104\t11.25\t11.5\t11\t11\t1000\t8\n",
        {'\t', false, 0, DateFormat::CCYYMMDD, "1 2 3 4 5 6 7"});
    // Four columns of numbers, the last a volume above the high: high, low, close, volume.
    ExpectLayout("990830 11 10 10.75 1200\n990831 11.5 10.5 11.25 1300\n",
                 {' ', false, 0, DateFormat::YYMMDD, "1 - 2 3 4 5 -"});
    // Four prices within high and low: open, high, low, close.
    ExpectLayout("2024-01-02,10.5,11,10,10.75\n2024-01-03,10.75,11.5,10.5,11.25\n",
                 {',', false, 0, DateFormat::CCYY_MM_DD, "1 2 3 4 5 - -"});
    // The date need not come first; text columns are passed over.
    ExpectLayout("ACME;15/01/2024;10,5;1200\nACME;16/01/2024;10,75;1300\n",
                 {';', true, 0, DateFormat::DD_MM_CCYY, "2 - - - 3 4 -"});
}

// The columns that are not prices, as "symbol name period time series", each 0 when there is
// none, then the series to keep.
std::string Others(const DetectedLayout& layout) {
    const OtherColumns& c = layout.columns;
    std::string text = std::to_string(c.symbol) + " " + std::to_string(c.name) + " " +
                       std::to_string(c.period) + " " + std::to_string(c.time) + " " +
                       std::to_string(c.series);
    for (const std::string& series : layout.series) {
        text += " " + series;
    }
    return text;
}

void ExpectSecurities(const std::string& text, const Expected& expected,
                      const std::string& others) {
    ExpectLayout(text, expected);
    EXPECT_EQ(Others(DetectLayoutOfText(text).layout), others) << text;
}

// Files of many securities: the days come again for each symbol, in any order of the lines.
TEST(DetectTest, FilesOfManySecuritiesNameTheirColumns) {
    // MetaStock ASCII, a symbol after another, each in its own order (AAPL newest first).
    ExpectSecurities(
        "<TICKER>,<PER>,<DATE>,<TIME>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>,<OPENINT>\n"
        "AAPL,D,20240103,000000,184.22,185.88,183.43,184.25,58414500,0\n"
        "AAPL,D,20240102,000000,187.15,188.44,183.89,185.64,82488700,0\n"
        "MSFT,D,20240102,000000,373.86,375.9,366.77,370.87,25258600,0\n"
        "MSFT,D,20240103,000000,369.01,373.26,368.51,370.6,23083500,0\n",
        {',', false, 1, DateFormat::CCYYMMDD, "3 5 6 7 8 9 10"}, "1 0 2 4 0");
    // A vendor's, a day after another, with a name.
    ExpectSecurities(
        "Ticker,Name,Date,Open,High,Low,Close,Volume\n"
        "MSFT,Microsoft Corp,2024-01-02,373.86,375.9,366.77,370.87,25258600\n"
        "AAPL,Apple Inc,2024-01-02,187.15,188.44,183.89,185.64,82488700\n"
        "MSFT,Microsoft Corp,2024-01-03,369.01,373.26,368.51,370.6,23083500\n"
        "AAPL,Apple Inc,2024-01-03,184.22,185.88,183.43,184.25,58414500\n",
        {',', false, 1, DateFormat::CCYY_MM_DD, "3 4 5 6 7 8 -"}, "1 2 0 0 0");
    // Blanks after the commas; the interval is the period.
    ExpectSecurities(
        "SYMBOL, INTERVAL, DATE, OPEN, HIGH, LOW, CLOSE, VOLUME\n"
        "ACME, D, 01/12/2024, 10.5, 11, 10, 10.75, 1200\n"
        "ACME, D, 01/16/2024, 10.75, 11.5, 10.5, 11.25, 1300\n"
        "BOLT, D, 01/12/2024, 20.5, 21, 20, 20.75, 2200\n"
        "BOLT, D, 01/16/2024, 20.75, 21.5, 20.5, 21.25, 2300\n",
        {',', false, 1, DateFormat::MM_DD_CCYY, "3 4 5 6 7 8 -"}, "1 0 2 0 0");
}

// An exchange's file of one day: the date is far from column 1, and the close is not the last. A
// symbol listed in two series that day (a block deal) leaves the series most lines have.
TEST(DetectTest, ABhavcopyReadsItsTimestampAndTheCloseNotTheLast) {
    const std::string heading =
        "SYMBOL,SERIES,OPEN,HIGH,LOW,CLOSE,LAST,PREVCLOSE,TOTTRDQTY,TOTTRDVAL,TIMESTAMP,"
        "TOTALTRADES,ISIN,\n";
    const std::string lines =
        "RELIANCE,EQ,2600,2625.5,2590.1,2610.35,2611,2598.7,4523187,11812345678.9,02-JAN-2024,"
        "152341,INE002A01018,\n"
        "TCS,EQ,3800,3850,3790.05,3842.6,3840,3795.2,1987654,7612345678.15,02-JAN-2024,98765,"
        "INE467B01029,\n"
        "INFY,EQ,1540,1555,1532.4,1550.25,1551,1538.9,5123456,7923456789.5,02-JAN-2024,123456,"
        "INE009A01021,\n";
    const std::string block =
        "RELIANCE,BL,2605,2605,2605,2605,2605,2598.7,250000,651250000,02-JAN-2024,1,"
        "INE002A01018,\n";
    const Expected expected = {',', false, 1, DateFormat::DD_MON_CCYY, "11 3 4 5 6 9 -"};
    ExpectSecurities(heading + lines, expected, "1 0 0 0 2");
    ExpectSecurities(heading + lines + block, expected, "1 0 0 0 2 EQ");
    // Several series without such a day: every line is read, and the choice is the user's.
    const std::string other =
        "ZEEL,BE,280,284,278,283,283,279.5,120000,33960000,02-JAN-2024,4012,INE256A01028,\n";
    const DetectionResult result = DetectLayoutOfText(heading + lines + other);
    EXPECT_TRUE(result.layout.series.empty());
    ASSERT_EQ(result.undecided.size(), 1u);
    EXPECT_NE(result.undecided.front().find("--series"), std::string::npos);
    // Headings with "price" after the field, and underscores; the previous close is none.
    ExpectSecurities(
        "SYMBOL, SERIES, DATE1, PREV_CLOSE, OPEN_PRICE, HIGH_PRICE, LOW_PRICE, LAST_PRICE, "
        "CLOSE_PRICE, AVG_PRICE, TTL_TRD_QNTY\n"
        "ACC, EQ, 01-Jan-2024, 185.95, 186.60, 192.80, 185.00, 190.10, 190.45, 190.54, 188463\n"
        "BIG, EQ, 01-Jan-2024, 2584.95, 2590.00, 2610.35, 2581.10, 2601.00, 2600.45, 2597.12, "
        "3410254\n",
        {',', false, 1, DateFormat::DD_MON_CCYY, "3 5 6 7 9 11 -"}, "1 0 0 0 2");
    // The exchanges' unified layout of 2024 (its columns past the 20th are not read).
    const std::string unified =
        "TradDt,BizDt,Sgmt,Src,FinInstrmTp,FinInstrmId,ISIN,TckrSymb,SctySrs,XpryDt,"
        "FininstrmActlXpryDt,StrkPric,OptnTp,FinInstrmNm,OpnPric,HghPric,LwPric,ClsPric,LastPric,"
        "PrvsClsgPric,UndrlygPric,SttlmPric,OpnIntrst,ChngInOpnIntrst,TtlTradgVol\n";
    const std::string row = "2024-07-01,2024-07-01,CM,NSE,STK,1,INE0,";
    const std::string unifiedText =
        unified + row + "TCS,EQ,,,,,TCS LTD,3919,3975,3912.1,3960.4,3962,3918.85\n" + row +
        "INFY,EQ,,,,,INFOSYS,1715,1730.45,1706.5,1725.2,1726,1712.6\n" + row +
        "INFY,BL,,,,,INFOSYS,1720,1720,1720,1720,1720,1712.6\n";
    ExpectSecurities(unifiedText, {',', false, 1, DateFormat::CCYY_MM_DD, "1 15 16 17 18 - -"},
                     "8 14 0 0 9 EQ");
    // The volume and open interest it names past the columns read are said to be left out.
    const std::vector<std::string> reasons = DetectLayoutOfText(unifiedText).reasons;
    EXPECT_NE(std::find(reasons.begin(), reasons.end(),
                        "The heading names the volume in column 25 ('TtlTradgVol') and open "
                        "interest in column 23 ('OpnIntrst'), but only the first 20 columns are "
                        "read: not stored."),
              reasons.end());
}

// Without a heading, the symbol is only the column whose codes tell apart the lines of a day.
TEST(DetectTest, WithoutAHeadingTheSymbolIsTheColumnThatTellsTheDaysApart) {
    // MetaStock ASCII without its heading: the ticker tells the days apart, midnight is the time.
    ExpectSecurities(
        "AAPL,D,20240102,000000,187.15,188.44,183.89,185.64,82488700\n"
        "AAPL,D,20240103,000000,184.22,185.88,183.43,184.25,58414500\n"
        "MSFT,D,20240102,000000,373.86,375.9,366.77,370.87,25258600\n"
        "MSFT,D,20240103,000000,369.01,373.26,368.51,370.6,23083500\n",
        {',', false, 0, DateFormat::CCYYMMDD, "3 5 6 7 8 9 -"}, "1 0 0 4 0");
    // One security: the days do not repeat, and its code is passed over as before.
    ExpectSecurities("ACME;15/01/2024;10,5;1200\nACME;16/01/2024;10,75;1300\n",
                     {';', true, 0, DateFormat::DD_MM_CCYY, "2 - - - 3 4 -"}, "0 0 0 0 0");
}

// A file of one security keeps the proposal it had: nothing but prices is named.
TEST(DetectTest, OneSecurityWithAPlainHeadingHasNoOtherColumns) {
    ExpectSecurities(
        "Date,Open,High,Low,Close,Volume\n"
        "2024-01-02,10.5,11,10,10.75,1200\n2024-01-03,10.75,11.5,10.5,11.25,1300\n",
        {',', false, 1, DateFormat::CCYY_MM_DD, "1 2 3 4 5 6 -"}, "0 0 0 0 0");
}

TEST(DetectTest, DayAndMonthThatCannotBeToldApartAreNamed) {
    // Read day first, the dates are a month apart; month first, a day apart.
    DetectionResult result = DetectLayoutOfText(
        "Date,Close\n01/02/2024,10\n01/03/2024,11\n01/04/2024,12\n01/05/2024,12\n");
    ASSERT_TRUE(result.found) << result.failure;
    EXPECT_EQ(result.layout.dateFormat, DateFormat::MM_DD_CCYY);
    EXPECT_EQ(result.confidence, Confidence::kLow);
    ASSERT_EQ(result.undecided.size(), 1u);
    EXPECT_NE(result.undecided[0].find("DD_MM_CCYY"), std::string::npos) << result.undecided[0];
    EXPECT_NE(result.undecided[0].find("day and month cannot be told apart"), std::string::npos);
    // With no steps to compare, European files put the day first, others the month.
    EXPECT_EQ(DetectLayoutOfText("Date,Close\n01/02/2024,10\n").layout.dateFormat,
              DateFormat::MM_DD_CCYY);
    result = DetectLayoutOfText("Date;Close\n01/02/2024;10,5\n");
    EXPECT_EQ(result.layout.dateFormat, DateFormat::DD_MM_CCYY);
    ASSERT_EQ(result.undecided.size(), 1u);
    EXPECT_NE(result.undecided[0].find("puts the day first, as files with a decimal comma"),
              std::string::npos)
        << result.undecided[0];
    // Only the order that keeps the dates going one way is proposed.
    result = DetectLayoutOfText("01.02.2024;10\n15.01.2024;11\n");
    ASSERT_TRUE(result.found) << result.failure;
    EXPECT_EQ(result.layout.dateFormat, DateFormat::DD_MM_CCYY);
}

TEST(DetectTest, WhatNoLayoutReads) {
    struct Case {
        const char* text;
        const char* failure;
    };
    const Case cases[] = {
        {"", "no delimiter"},
        {"just some words\nand more words\n", "no delimiter"},
        {"Date,Close\n13/45/2024,10\n14/46/2024,11\n", "does not read as dates"},
        {"Date,Close\nyesterday,10\ntoday,11\n", "holds a date and a number"},
        // Dates out of order in every format.
        {"2024-01-02,10,11\n2024-01-01,10,11\n2024-01-03,10,11\n", "no column reads as dates"},
        {"Date,Close\n2024-01-02,n/a\n2024-01-03,n/a\n", "holds a date and a number"},
        {"Date,Open,Close\n2024-01-02,1,-\n2024-01-03,1,-\n2024-01-04,1,5\n",
         "the column headed 'Close' does not hold numbers"},
    };
    for (const Case& c : cases) {
        DetectionResult result = DetectLayoutOfText(c.text);
        EXPECT_FALSE(result.found) << c.text;
        EXPECT_NE(result.failure.find(c.failure), std::string::npos)
            << c.text << ": " << result.failure;
    }
}

TEST(DetectTest, DoubtsLowerTheConfidence) {
    // High below low on one line; a heading that names no known field.
    // A day without prices, as some downloads hold.
    for (const char* text : {"2024-01-02,10,9,11,10\n2024-01-03,10,11,9,10\n",
                             "Date,Close\n2024-01-02,10\n2024-01-03,null\n2024-01-04,11\n",
                             "Datum;Kurs\n15.01.2024;10,5\n16.01.2024;10,75\n"}) {
        DetectionResult result = DetectLayoutOfText(text);
        ASSERT_TRUE(result.found) << result.failure;
        EXPECT_EQ(result.confidence, Confidence::kLow) << text;
    }
}

// A dash where a day had no trade, in a column its heading names, is a problem of its line: the
// column is read, not lost, and the proposal is not refused.
TEST(DetectTest, AFewValuesThatAreNotNumbersInANamedColumnAreProblems) {
    DetectionResult result = DetectLayoutOfText(
        "Date,Open,High,Low,Close,Volume\n2024-01-02,10,11,9,10,100\n2024-01-03,10,11,9,-,100\n"
        "2024-01-04,10,11,9,10,-\n2024-01-05,10,11,9,10,100\n2024-01-08,10,11,9,10,100\n"
        "2024-01-09,10,11,9,10,100\n");
    ASSERT_TRUE(result.found) << result.failure;
    EXPECT_EQ(Columns(result.layout), "1 2 3 4 5 6 -");
    EXPECT_EQ(result.confidence, Confidence::kLow);
    EXPECT_NE(std::find_if(result.reasons.begin(), result.reasons.end(),
                           [](const std::string& reason) {
                               return reason.find("finds 2 problems") != std::string::npos;
                           }),
              result.reasons.end())
        << ::testing::PrintToString(result.reasons);
}

TEST(DetectTest, ADelimiterGivenIsTheOnlyOneTried) {
    const std::vector<std::string> lines = {"2024-01-02;10,5", "2024-01-03;11,5"};
    EXPECT_EQ(DetectLayout(lines).layout.delimiter, ';');
    DetectionResult tab = DetectLayout(lines, '\t');
    EXPECT_FALSE(tab.found);
    EXPECT_EQ(tab.failure, "the tab does not split the lines into a steady number of fields");
}

TEST(DetectTest, SampleLinesEndAsTheConverterEndsThem) {
    EXPECT_EQ(SplitSampleLines("\xEF\xBB\xBF"
                               "a\r\nb\rc\n\nd"),
              (std::vector<std::string>{"a", "b", "c", "", "d"}));
    std::string many;
    for (int i = 0; i < 1500; ++i) {
        many += "x\n";
    }
    EXPECT_EQ(SplitSampleLines(many).size(), kDetectionLines);
}

}  // namespace
}  // namespace engine
