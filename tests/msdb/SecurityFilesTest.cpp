#include "msdb/SecurityFiles.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using testing_support::Hex;
using testing_support::ToHex;

TEST(SecurityFileNamesTest, NoLeadingZeros) {
    EXPECT_EQ(msdb::DatFileName(1), "F1.DAT");
    EXPECT_EQ(msdb::DatFileName(7), "F7.DAT");
    EXPECT_EQ(msdb::DopFileName(7), "F7.DOP");
    EXPECT_EQ(msdb::DopFileName(12), "F12.DOP");
    EXPECT_EQ(msdb::DatFileName(255), "F255.DAT");
}

TEST(DatHeaderTest, OneSlotPerField) {
    EXPECT_EQ(ToHex(msdb::MakeDatHeader(7)),
              ToHex(Hex("00 00 01 00 00 00 01 00 00 00 01 00 00 00 01 00"
                        "00 00 01 00 00 00 01 00 00 00 01 00")));
    EXPECT_EQ(ToHex(msdb::MakeDatHeader(2)), "00 00 01 00 00 00 01 00");
    EXPECT_EQ(msdb::ReadLastRecordNumber(msdb::MakeDatHeader(2)), 1);
}

TEST(DatHeaderTest, LastRecordNumberIsTheLittleEndianWordAtOffsetTwo) {
    std::string dat = msdb::MakeDatHeader(4) + std::string(8, '\x55');
    msdb::WriteLastRecordNumber(&dat, 251);
    EXPECT_EQ(ToHex(dat), ToHex(Hex("00 00 FB 00 00 00 01 00 00 00 01 00 00 00 01 00") +
                                std::string(8, '\x55')));
    EXPECT_EQ(msdb::ReadLastRecordNumber(dat), 251);
    msdb::WriteLastRecordNumber(&dat, 0xFFFF);
    EXPECT_EQ(ToHex(dat.substr(0, 6)), "00 00 FF FF 00 00");
    EXPECT_EQ(msdb::ReadLastRecordNumber(dat), 0xFFFF);
}

TEST(DopTextTest, OneLinePerStoredFieldInCanonicalOrder) {
    struct Case {
        std::array<bool, msdb::kPriceFieldCount> on;
        std::string text;
    };
    const Case cases[] = {
        {{1, 1, 1, 1, 1, 1, 1},
         "\"DATE\",0,0\r\n\"OPEN\",4,4\r\n\"HIGH\",4,4\r\n\"LOW\",4,4\r\n"
         "\"CLOSE\",4,4\r\n\"VOL\",4,4\r\n\"OI\",4,4\r\n"},
        {{1, 0, 0, 0, 1, 0, 0}, "\"DATE\",0,0\r\n\"CLOSE\",4,4\r\n"},
        {{1, 1, 0, 0, 1, 1, 0}, "\"DATE\",0,0\r\n\"OPEN\",4,4\r\n\"CLOSE\",4,4\r\n\"VOL\",4,4\r\n"},
        {{1, 0, 1, 1, 1, 0, 1},
         "\"DATE\",0,0\r\n\"HIGH\",4,4\r\n\"LOW\",4,4\r\n\"CLOSE\",4,4\r\n\"OI\",4,4\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(msdb::MakeDopText(msdb::PerField<bool>{c.on}), c.text);
    }
}

}  // namespace
