#include "msdb/Encoding.h"

#include "msdb/CodePage.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using msdb::DayNumber;
using msdb::MbfBytes;
using testing_support::Hex;
using testing_support::ToHex;

std::string Bytes(const MbfBytes& mbf) {
    return std::string(mbf.begin(), mbf.end());
}

MbfBytes Mbf(const std::string& hex) {
    std::string bytes = Hex(hex);
    MbfBytes mbf{};
    std::memcpy(mbf.data(), bytes.data(), mbf.size());
    return mbf;
}

float FloatFromBits(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// ---- MBF singles ----

TEST(MbfTest, KnownValuesEncodeAndDecode) {
    struct Case {
        float value;
        const char* hex;
    };
    const Case cases[] = {
        {1.0f, "00 00 00 81"},       {-1.0f, "00 00 80 81"},     {0.5f, "00 00 00 80"},
        {100.25f, "00 80 48 87"},    {991231.0f, "F0 FF 71 94"}, {1000103.0f, "70 2A 74 94"},
        {1991231.0f, "F8 11 73 95"}, {-100.25f, "00 80 C8 87"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        MbfBytes out{};
        msdb::IeeeToMbf(c.value, &out);
        EXPECT_EQ(ToHex(Bytes(out)), ToHex(Hex(c.hex)));
        float back = 0.0f;
        msdb::MbfToIeee(Mbf(c.hex), &back);
        EXPECT_EQ(back, c.value);
    }
}

TEST(MbfTest, ZeroNanInfinityAndHugeValuesEncodeAsFourZeroBytes) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float big = std::ldexp(1.0f, 127);
    const float cases[] = {0.0f, -0.0f, nan, -nan, inf, -inf, big, -big, FLT_MAX};
    for (float value : cases) {
        SCOPED_TRACE(value);
        MbfBytes out{0xAA, 0xAA, 0xAA, 0xAA};
        msdb::IeeeToMbf(value, &out);
        EXPECT_EQ(ToHex(Bytes(out)), "00 00 00 00");
    }
}

TEST(MbfTest, ExponentByteZeroDecodesAsPositiveZero) {
    for (const char* hex : {"00 00 00 00", "FF FF FF 00", "01 00 80 00", "00 00 7F 00"}) {
        SCOPED_TRACE(hex);
        float out = 123.0f;
        msdb::MbfToIeee(Mbf(hex), &out);
        EXPECT_EQ(out, 0.0f);
        EXPECT_FALSE(std::signbit(out));
    }
}

// MBF reaches down to 2^-128 (exponent byte 1), two binary orders below the smallest IEEE normal;
// its largest value here is the largest single below 2^127.
TEST(MbfTest, EdgesOfTheRange) {
    struct Case {
        float value;
        const char* hex;
    };
    const Case cases[] = {
        {std::ldexp(1.0f, -126), "00 00 00 03"},
        {std::ldexp(1.0f, -127), "00 00 00 02"},
        {-std::ldexp(1.0f, -128), "00 00 80 01"},
        {std::nextafter(std::ldexp(1.0f, 127), 0.0f), "FF FF 7F FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ToHex(Bytes(msdb::ToMbf(c.value))), ToHex(Hex(c.hex)));
        EXPECT_EQ(msdb::FromMbf(Mbf(c.hex)), c.value);
    }
    EXPECT_EQ(ToHex(Bytes(msdb::ToMbf(std::ldexp(1.0f, -129)))), "00 00 00 00");
}

// Every normal single below 2^127, both signs: the bytes decode by the MBF rule
// (-1)^sign * (1 + mantissa / 2^23) * 2^(exponent - 129) to the same value, and convert back
// bit for bit.
TEST(MbfTest, NormalSinglesRoundTripBitForBit) {
    const std::uint32_t first = 0x00800000;  // 2^-126
    const std::uint32_t last = 0x7EFFFFFF;   // just below 2^127
    int failures = 0;
    for (std::uint32_t sign : {0u, 0x80000000u}) {
        std::uint32_t lastKey = msdb::MbfOrderKey(msdb::ToMbf(0.0f));
        for (std::uint64_t bits = first; bits <= last && failures < 10; bits += 4093) {
            float value = FloatFromBits(static_cast<std::uint32_t>(bits) | sign);
            MbfBytes mbf = msdb::ToMbf(value);
            // Positive numbers, as dates, order by their keys as by their values.
            if (sign == 0 &&
                msdb::MbfOrderKey(mbf) <= std::exchange(lastKey, msdb::MbfOrderKey(mbf))) {
                ADD_FAILURE() << "the order key of " << value << " is not above the one before";
                ++failures;
            }
            std::uint32_t mantissa = mbf[0] | (mbf[1] << 8) | ((mbf[2] & 0x7Fu) << 16);
            double decoded = std::ldexp(1.0 + mantissa / 8388608.0, mbf[3] - 129);
            if (mbf[2] & 0x80) {
                decoded = -decoded;
            }
            float back = msdb::FromMbf(mbf);
            if (decoded != static_cast<double>(value) ||
                std::memcmp(&back, &value, sizeof value) != 0) {
                ADD_FAILURE() << "value " << value << " -> " << ToHex(Bytes(mbf)) << " -> " << back;
                ++failures;
            }
        }
    }
}

// ---- Dates ----

TEST(DateTextTest, WorkedDatesAndTheirStoredBytes) {
    struct Case {
        const char* text;
        std::int16_t format;
        DayNumber day;
        const char* stored;  // MBF of the YYMMDD number
    };
    const Case cases[] = {
        {"12/31/99", 3, 14244, "F0 FF 71 94"},     // 991231
        {"01/03/00", 3, 14247, "70 2A 74 94"},     // 1000103
        {"20000103", 8, 14247, "70 2A 74 94"},     // same day, four-digit year
        {"000103", 7, 14247, "70 2A 74 94"},       // same day, numeric only
        {"02/30/99", 3, 13940, "E0 C5 71 94"},     // day past the month's end: 990302
        {"02/29/00", 3, 14304, "50 32 74 94"},     // 2000 is a leap year: 1000229
        {"12/31/2099", 4, 50769, "F8 11 73 95"},   // 1991231
        {" \"12/31/99", 3, 14244, "F0 FF 71 94"},  // blank, then one quote skipped
        {"   \"12/31/99\"", 3, 14244, "F0 FF 71 94"},
        {"01/01/61", 3, 1, nullptr},      // 61 is 1961
        {"01/01/59", 3, 35795, nullptr},  // 59 is 2059
        {"01/ 2/99", 3, 13881, nullptr},  // groups read as atoi reads: blank then digit
        {"1 -2 -99", 3, 13881, nullptr},  // digit then anything ends the number
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        DayNumber day = msdb::DateTextToDayNumber(c.text, static_cast<msdb::DateFormat>(c.format));
        EXPECT_EQ(day, c.day);
        if (c.stored != nullptr) {
            EXPECT_EQ(ToHex(Bytes(msdb::DayNumberToMbfDate(day))), ToHex(Hex(c.stored)));
        }
    }
}

// 2003-04-05 is day 15435; every group differs, so a group read at a wrong position shows.
TEST(DateTextTest, EachOfTheTwelveFormats) {
    const char* texts[12] = {"03/04/05", "2003-04-05", "04/05/03", "04/05/2003",
                             "05.04.03", "05-04-2003", "030405",   "20030405",
                             "040503",   "04052003",   "050403",   "05042003"};
    for (int format = 1; format <= 12; ++format) {
        SCOPED_TRACE(texts[format - 1]);
        EXPECT_EQ(
            msdb::DateTextToDayNumber(texts[format - 1], static_cast<msdb::DateFormat>(format)),
            15435);
    }
    EXPECT_EQ(msdb::DateTextToDayNumber("1965/07/14", static_cast<msdb::DateFormat>(2)), 1656);
    EXPECT_EQ(msdb::DateTextToDayNumber("14071965", static_cast<msdb::DateFormat>(12)), 1656);
}

TEST(DateTextTest, NoDate) {
    EXPECT_EQ(msdb::DateTextToDayNumber("12/31/99", static_cast<msdb::DateFormat>(0)), 0);
    EXPECT_EQ(msdb::DateTextToDayNumber("12/31/99", static_cast<msdb::DateFormat>(13)), 0);
    EXPECT_EQ(msdb::DateTextToDayNumber("12/31/99", static_cast<msdb::DateFormat>(-1)), 0);
    EXPECT_EQ(msdb::DateTextToDayNumber("00/00/00", static_cast<msdb::DateFormat>(3)), 0);
    EXPECT_EQ(msdb::DateTextToDayNumber("00000000", static_cast<msdb::DateFormat>(8)), 0);
    EXPECT_EQ(msdb::DateTextToDayNumber("", static_cast<msdb::DateFormat>(3)), 0);
    EXPECT_EQ(msdb::DateTextToDayNumber("    ", static_cast<msdb::DateFormat>(3)), 0);
    EXPECT_EQ(msdb::DateTextToDayNumber(" \"", static_cast<msdb::DateFormat>(3)), 0);
    // Only one quote is skipped; the second one leaves nothing readable.
    EXPECT_EQ(msdb::DateTextToDayNumber("\"\"12/31/99", static_cast<msdb::DateFormat>(3)), 0);
    EXPECT_EQ(ToHex(Bytes(msdb::DayNumberToMbfDate(0))), "00 00 00 00");
    // The text ends at a NUL, even among the digits of a date.
    EXPECT_EQ(msdb::DateTextToDayNumber(std::string_view("1999\0"
                                                         "102",
                                                         8),
                                        msdb::DateFormat::CCYYMMDD),
              0);
}

TEST(DayNumberTest, DayZeroIsTheLastDayOfTheMonthBefore) {
    EXPECT_EQ(msdb::YmdToDayNumber(100, 1, 0), msdb::YmdToDayNumber(99, 12, 31));
    EXPECT_EQ(msdb::YmdToDayNumber(100, 3, 0), msdb::YmdToDayNumber(100, 2, 29));
    EXPECT_EQ(msdb::YmdToDayNumber(99, 3, 0), msdb::YmdToDayNumber(99, 2, 28));
}

TEST(DayNumberTest, FullYearsAndSixteenBits) {
    EXPECT_EQ(msdb::YmdToDayNumber(1999, 12, 31), 14244);
    EXPECT_EQ(msdb::YmdToDayNumber(99, 12, 31), 14244);
    EXPECT_EQ(msdb::YmdToDayNumber(2000, 1, 1), 14245);
    // 2200-01-01: 239 * 1461 / 4 + 1 = 87295, which is 21759 in 16 bits.
    EXPECT_EQ(msdb::YmdToDayNumber(300, 1, 1), 21759);
    EXPECT_EQ(msdb::YmdToDayNumber(2200, 1, 1), 21759);
}

// Walks the calendar day by day from 1961-01-01 to 2099-12-31 and checks both directions.
TEST(DayNumberTest, EveryDayFrom1961To2099) {
    const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 61, month = 1, day = 1;
    int failures = 0;
    for (int n = 1; n <= msdb::kLastDay2099 && failures < 10; ++n) {
        std::int16_t y = -1, m = -1, d = -1;
        msdb::DayNumberToYmd(static_cast<DayNumber>(n), &y, &m, &d);
        DayNumber back =
            msdb::YmdToDayNumber(static_cast<std::int16_t>(year), static_cast<std::int16_t>(month),
                                 static_cast<std::int16_t>(day));
        if (y != year || m != month || d != day || back != n) {
            ADD_FAILURE() << "day " << n << ": expected " << year << "-" << month << "-" << day
                          << ", got " << y << "-" << m << "-" << d << ", back " << back;
            ++failures;
        }
        if (msdb::YmdToMbfDate(year, month, day) !=
            msdb::DayNumberToMbfDate(static_cast<DayNumber>(n))) {
            ADD_FAILURE() << "day " << n << ": YmdToMbfDate differs from DayNumberToMbfDate";
            ++failures;
        }
        int length = monthDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0);
        if (++day > length) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
    EXPECT_EQ(year, 200);  // the walk ended at 2100-01-01
    std::int16_t y = 0, m = 0, d = 0;
    msdb::DayNumberToYmd(1, &y, &m, &d);
    EXPECT_EQ((std::array<int, 3>{y, m, d}), (std::array<int, 3>{61, 1, 1}));
    msdb::DayNumberToYmd(50769, &y, &m, &d);
    EXPECT_EQ((std::array<int, 3>{y, m, d}), (std::array<int, 3>{199, 12, 31}));
}

// Every byte a code page defines reads back as itself; a character it lacks is named, never written
// as something else.
TEST(CodePageTest, EveryDefinedByteRoundTripsAndMissingCharactersAreNamed) {
    for (int page = msdb::kFirstCodePage; page <= msdb::kLastCodePage; ++page) {
        SCOPED_TRACE(page);
        for (int byte = 0x20; byte <= 0xFF; ++byte) {
            const std::string one(1, static_cast<char>(byte));
            const std::string text = msdb::DecodeText(one, page);
            std::string back;
            if (text != "\xEF\xBF\xBD") {  // U+FFFD: a byte the page leaves undefined
                EXPECT_EQ(msdb::EncodeText(text, page, &back), std::nullopt) << byte;
                EXPECT_EQ(back, one);
            }
        }
    }
    std::string bytes;
    EXPECT_EQ(msdb::EncodeText("M\xC3\x9CNCHEN", 1252, &bytes), std::nullopt);  // MÜNCHEN
    EXPECT_EQ(bytes, "M\xDCNCHEN");
    EXPECT_EQ(msdb::EncodeText("\xC5\x81\xC3\x93"
                               "D\xC5\xB9",
                               1252, &bytes),  // ŁÓDŹ
              std::string("\xC5\x81"));
    EXPECT_EQ(msdb::CodePageHolding("\xC5\x81\xC3\x93"
                                    "D\xC5\xB9"),
              1250);
    EXPECT_EQ(msdb::EncodeText("a\xFFz", 1252, &bytes), std::string("\xFF"));  // not UTF-8
    EXPECT_EQ(msdb::DecodeText("\x80\xC4", 1251), "\xD0\x82\xD0\x94");         // Ђ Д
}

}  // namespace
