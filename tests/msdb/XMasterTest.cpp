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
    std::vector<bool> onDisk(258, false);
    onDisk[257] = true;
    EXPECT_EQ(xmaster.LowestFreeFileNumber(onDisk), 258);
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

// The changes kept without the records give the file that XMaster makes holding them all: the
// records left alone and the header's other bytes as found, the replaced and dated ones and the
// new ones as made, handed over in parts of whole records; a file shorter than counted is
// refused.
TEST(XMasterTest, ChangesWrittenOutGiveTheFileTheWholeRecordsGive) {
    msdb::XMaster whole;
    for (int i = 0; i < 900; ++i) {
        ASSERT_TRUE(
            whole
                .AddRecord(msdb::MakeXMasterRecord(256 + i, kDateClose, "S" + std::to_string(i),
                                                   "Name", {}, {}, msdb::Period::kDaily))
                .ok());
    }
    std::string before = whole.TakeBytes();
    before[30] = '\x7F';          // a header byte of another program's
    before[150 * 5 + 140] = 'x';  // and one of a record
    const std::string header = before.substr(0, 150);
    testing_support::TempDir dir;
    testing_support::WriteFileBytes(dir / "XMASTER", before);
    ASSERT_TRUE(msdb::XMaster::Read(msdb::FileSystem::Default(), dir / "XMASTER", &whole).ok());

    msdb::XMasterChanges changes(dir / "XMASTER", header, 900, 256 + 899);
    whole.ReplaceRecord(700, msdb::MakeXMasterRecord(955, 0x7F, "NEW", "New Name", k20240115,
                                                     k20240115, msdb::Period::kWeekly));
    whole.SetRecordDates(3, k20240115, k20240116);
    whole.SetRecordDates(700, k20240116, k20240116);
    ASSERT_TRUE(whole
                    .AddRecord(msdb::MakeXMasterRecord(5000, kDateClose, "ADDED", "", {}, {},
                                                       msdb::Period::kMonthly))
                    .ok());
    whole.SetRecordDates(901, k20240115, k20240115);
    changes.ReplaceRecord(700, 955, 0x7F, "NEW", "New Name", k20240115, k20240115,
                          msdb::Period::kWeekly);
    changes.SetRecordDates(3, k20240115, k20240116);
    changes.SetRecordDates(700, k20240116, k20240116);
    ASSERT_TRUE(
        changes.AddRecord(5000, kDateClose, "ADDED", "", {}, {}, msdb::Period::kMonthly).ok());
    changes.SetRecordDates(901, k20240115, k20240115);
    EXPECT_EQ(changes.RecordsPresent(), 901u);

    auto writeOut = [&](std::string_view from, std::string* out) {
        std::size_t at = 0;
        return changes.Write(
            [&](std::size_t n, char* buffer, std::size_t* got) {
                *got = std::min(n, from.size() - at);
                std::copy_n(from.data() + at, *got, buffer);
                at += *got;
                return msdb::Status::Ok();
            },
            [&](std::string_view part) {
                EXPECT_EQ(part.size() % 150, 0u);
                *out += part;
                return msdb::Status::Ok();
            });
    };
    std::string written;
    ASSERT_TRUE(writeOut(before, &written).ok());
    EXPECT_EQ(ToHex(written.substr(0, 150)), ToHex(std::string(whole.bytes().substr(0, 150))));
    EXPECT_TRUE(written == whole.bytes());
    std::string cut;
    EXPECT_TRUE(writeOut(std::string_view(before).substr(0, 150 * 600), &cut).IsBusy());

    msdb::XMasterChanges made(dir / "XMASTER");
    msdb::XMaster fresh;
    ASSERT_TRUE(made.AddRecord(256, kDateClose, "ONE", "", {}, {}, msdb::Period::kDaily).ok());
    ASSERT_TRUE(fresh
                    .AddRecord(msdb::MakeXMasterRecord(256, kDateClose, "ONE", "", {}, {},
                                                       msdb::Period::kDaily))
                    .ok());
    std::string madeBytes;
    ASSERT_TRUE(made.Write({},
                           [&](std::string_view part) {
                               madeBytes += part;
                               return msdb::Status::Ok();
                           })
                    .ok());
    EXPECT_EQ(madeBytes, fresh.bytes());
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
