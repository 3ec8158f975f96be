#include "msdb/XMaster.h"

#include <string>

#include <gtest/gtest.h>

#include "msdb/SecurityFiles.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::Hex;
using testing_support::ToHex;

const msdb::MbfBytes k20240115 = msdb::ToMbf(1240115.0f);
const msdb::MbfBytes k20240116 = msdb::ToMbf(1240116.0f);

// Date and close: bits 0 and 4.
constexpr std::uint8_t kDateClose = 0x11;

// Two securities, numbered 256 and 2853 as another program numbered them: the header counts two
// records, twice, and names 2854 the next free number; the reader gives back what was written.
TEST(XMasterTest, WrittenAsTheLayoutGivesAndReadBackExactly) {
    testing_support::TempDir dir;
    msdb::XMaster xmaster(dir / "XMASTER");
    ASSERT_TRUE(
        xmaster
            .AddRecord(msdb::MakeXMasterRecord(256, kDateClose, "BIG", "Big Company Limited",
                                               k20240115, k20240116, msdb::Period::kDaily))
            .ok());
    ASSERT_TRUE(xmaster
                    .AddRecord(msdb::MakeXMasterRecord(2853, 0x7F, "0123456789ABCDEF", "N", {}, {},
                                                       msdb::Period::kDaily))
                    .ok());
    const std::string bytes(xmaster.bytes());
    ASSERT_EQ(bytes.size(), 3u * 150);
    EXPECT_EQ(ToHex(bytes.substr(0, 20)),
              "5D FE 58 4D 00 00 00 00 00 00 02 00 00 00 02 00 00 00 26 0B");
    EXPECT_EQ(bytes.substr(20, 130), std::string(130, '\0'));
    std::string record(150, '\0');
    record.replace(1, 3, "BIG");
    record.replace(16, 19, "Big Company Limited");
    record.replace(62, 1, "D");
    record.replace(65, 2, Hex("00 01"));
    record.replace(70, 1, Hex("11"));
    record.replace(108, 4, Hex("F3 D6 34 01"));
    record.replace(116, 4, Hex("F4 D6 34 01"));
    EXPECT_EQ(ToHex(bytes.substr(150, 150)), ToHex(record));
    // A symbol is cut at 15 characters; no dates are zeros.
    EXPECT_EQ(bytes.substr(301, 16), "0123456789ABCDEN");
    EXPECT_EQ(bytes.substr(408, 12), std::string(12, '\0'));

    testing_support::WriteFileBytes(dir / "XMASTER", bytes);
    msdb::XMaster read;
    ASSERT_TRUE(msdb::ReadXMasterOf(msdb::FileSystem::Default(), dir.path(), &read).ok());
    ASSERT_TRUE(read.Check().ok());
    const std::vector<msdb::XMasterEntry> entries = read.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].symbol, "BIG");
    EXPECT_EQ(entries[0].name, "Big Company Limited");
    EXPECT_EQ(entries[0].fileNumber, 256);
    EXPECT_EQ(entries[0].fieldCount, 2);
    EXPECT_EQ(entries[0].firstDate, k20240115);
    EXPECT_EQ(entries[0].lastDate, k20240116);
    EXPECT_EQ(entries[1].fieldCount, 7);
    EXPECT_EQ(entries[1].firstDate, msdb::MbfBytes{});
}

// The lowest number from 256 that neither a record nor a file on disk has; a removal leaves the
// next free number one past the highest still in use.
TEST(XMasterTest, NumbersAndCountsFollowTheRecords) {
    msdb::XMaster xmaster;
    EXPECT_EQ(xmaster.LowestFreeFileNumber(), 256);
    ASSERT_TRUE(xmaster
                    .AddRecord(msdb::MakeXMasterRecord(256, kDateClose, "A", "", {}, {},
                                                       msdb::Period::kDaily))
                    .ok());
    ASSERT_TRUE(xmaster
                    .AddRecord(msdb::MakeXMasterRecord(300, kDateClose, "B", "", {}, {},
                                                       msdb::Period::kDaily))
                    .ok());
    EXPECT_EQ(xmaster.LowestFreeFileNumber({257}), 258);
    xmaster.SetDates(300, k20240115, k20240116);
    EXPECT_EQ(xmaster.Entries()[1].lastDate, k20240116);
    EXPECT_EQ(xmaster.Entries()[0].lastDate, msdb::MbfBytes{});
    xmaster.RemoveRecord(2);
    EXPECT_EQ(ToHex(std::string(xmaster.bytes().substr(10, 10))), "01 00 00 00 01 00 00 00 01 01");
    EXPECT_TRUE(xmaster.Check().ok());
    ASSERT_TRUE(xmaster
                    .AddRecord(msdb::MakeXMasterRecord(270, kDateClose, "C", "", {}, {},
                                                       msdb::Period::kDaily))
                    .ok());
    EXPECT_EQ(ToHex(std::string(xmaster.bytes().substr(10, 10))), "02 00 00 00 02 00 00 00 0F 01");
}

TEST(XMasterTest, FileNumbersPastMastersAreReadFromTheirNames) {
    std::string extension;
    EXPECT_EQ(msdb::XMasterFileNumber("f2853.mwd", &extension), 2853);
    EXPECT_EQ(extension, "MWD");
    EXPECT_EQ(msdb::XMasterFileNumber("F255.MWD"), std::nullopt);
    EXPECT_EQ(msdb::XMasterFileNumber("F65536.MWD"), std::nullopt);
    EXPECT_EQ(msdb::XMasterFileNumber("F0256.MWD"), std::nullopt);
    EXPECT_EQ(msdb::SecurityFileNumber("F256.DAT"), std::nullopt);
}

}  // namespace
