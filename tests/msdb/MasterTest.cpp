#include "msdb/Master.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

using msdb::MasterRecord;
using testing_support::Hex;
using testing_support::ToHex;

std::string Bytes(const MasterRecord& record) {
    return std::string(record.begin(), record.end());
}

const msdb::MbfBytes k991231 = {0xF0, 0xFF, 0x71, 0x94};
const msdb::MbfBytes k1000103 = {0x70, 0x2A, 0x74, 0x94};

TEST(MasterRecordTest, ShortNameAndSymbolArePaddedWithSpaces) {
    MasterRecord record =
        msdb::MakeMasterRecord(1, 7, "ACME CORP", "ACM", k991231, k1000103, msdb::Period::kDaily);
    EXPECT_EQ(ToHex(Bytes(record)),
              ToHex(Hex("01 00 65 1C 07 00 00"                             // 0..6
                        "41 43 4D 45 20 43 4F 52 50 20 20 20 20 20 20 20"  // 7..22 name
                        "00 00 F0 FF 71 94 70 2A 74 94 44 00 00"           // 23..35
                        "41 43 4D 20 20 20 20 20 20 20 20 20 20 20 20 20"  // 36..51 symbol
                        "00")));
}

TEST(MasterRecordTest, SixteenCharactersFillTheFieldAndLongerTextIsCut) {
    MasterRecord record = msdb::MakeMasterRecord(255, 2, "ABCDEFGHIJKLMNOPQR", "0123456789ABCDEF",
                                                 k991231, k991231, msdb::Period::kDaily);
    EXPECT_EQ(ToHex(Bytes(record)), ToHex(Hex("FF 00 65 08 02 00 00"
                                              "41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50"
                                              "00 00 F0 FF 71 94 F0 FF 71 94 44 00 00"
                                              "30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46"
                                              "00")));
}

TEST(MasterHeaderTest, CountsAreSignedLittleEndian) {
    std::string bytes = Hex("FF 00 01 00") + std::string(49, '\x00');
    EXPECT_EQ(msdb::ReadMasterHeader(bytes).recordCount, 255);
    EXPECT_EQ(msdb::ReadMasterHeader(bytes).highestFileNumber, 1);
    bytes = Hex("FF FF 00 80") + std::string(49, '\x7E');
    EXPECT_EQ(msdb::ReadMasterHeader(bytes).recordCount, -1);
    EXPECT_EQ(msdb::ReadMasterHeader(bytes).highestFileNumber, -32768);

    msdb::WriteMasterHeaderCounts(&bytes, {0x0102, 0x0304});
    EXPECT_EQ(ToHex(bytes.substr(0, 6)), "02 01 04 03 7E 7E");
    EXPECT_EQ(bytes.size(), 53u);
    EXPECT_EQ(msdb::MakeEmptyMaster(), std::string(53, '\x00'));
}

// A record holding `nameField` from byte 7 (name, and the "<DIR>" marker at 18) and `symbol` from
// byte 36; every other byte 0.
MasterRecord RecordWith(const std::string& nameField, const std::string& symbol) {
    MasterRecord record{};
    std::memcpy(record.data() + 7, nameField.data(), nameField.size());
    std::memcpy(record.data() + 36, symbol.data(), symbol.size());
    return record;
}

TEST(SubdirectoryEntryTest, MarkerAndName) {
    struct Case {
        std::string name11;  // bytes 7..17
        std::string marker;  // bytes 18..
        bool isEntry;
        std::string dirName;
    };
    const Case cases[] = {
        {"SUB        ", "<DIR>", true, "SUB"},
        {"SUBDIR01XYZ", "<DIR>", true, "SUBDIR01"},  // only bytes 7..14 name the directory
        {"AB  CD     ", "<DIR>", true, "AB  CD"},
        {" SUB       ", "<DIR>", false, ""},  // byte 7 a space: a security entry
        {"SUB        ", "<dir>", false, ""},
        {"SUB        ", "<DIR ", false, ""},
        {"SUB       <", "DIR>", false, ""},  // marker one byte early
        {std::string("AB\0CD      ", 11), "<DIR>", true, "AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name11 + "|" + c.marker);
        MasterRecord record = RecordWith(c.name11 + c.marker, "");
        EXPECT_EQ(msdb::IsSubdirectoryEntry(record), c.isEntry);
        if (c.isEntry) {
            EXPECT_EQ(msdb::SubdirectoryName(record), c.dirName);
        }
    }
}

TEST(SecurityMatchesTest, NameOrSymbolWithoutRegardToCase) {
    struct Case {
        std::string name;    // 16 bytes
        std::string symbol;  // 16 bytes
        std::string sought;
        bool matches;
    };
    const std::string kName = "ACME CORP       ";
    const Case cases[] = {
        {kName, "ACM             ", "ACM", true},
        {kName, "ACM             ", "acm", true},
        {kName, "ACM             ", "AC", false},
        {kName, "ACM             ", "ACME", false},
        {kName, "ACM             ", "ACME CORP", true},  // the stored name
        {kName, "ACM             ", "acme corp", true},
        {kName, "ACM             ", "ACME CORP ", false},
        {kName, "0123456789ABCDEF", "0123456789abcdef", true},  // full field, no space
        {kName, "0123456789ABCDEF", "0123456789ABCDE", false},
        // The stored symbol is cut before its k-th space, k being one more than the spaces sought.
        {kName, "BRK A           ", "BRK A", true},
        {kName, "BRK A           ", "BRK", true},
        {kName, "BRK A           ", "BRK A ", true},
        {kName, "BRK A           ", "BRK  ", false},
        {kName, "BRK A           ", "BRK A  X", false},
        // Fewer spaces than k: all of the field.
        {kName, "AB CD EF GH IJ K", "AB CD EF GH IJ K", true},
        {kName, "AB CD EF GH IJ K", "AB CD EF GH IJ K ", false},
        // A NUL ends both fields.
        {kName, std::string("XY\0Z            ", 16), "XY", true},
        {kName, std::string("XY\0Z            ", 16), "XYZ", false},
        {std::string("NUL\0NAME        ", 16), "QQ              ", "NUL", true},
        {std::string("NUL\0NAME        ", 16), "QQ              ", "NULNAME", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("sought '" + c.sought + "' symbol '" + c.symbol + "'");
        MasterRecord record = RecordWith(c.name, c.symbol);
        EXPECT_EQ(msdb::SecurityMatches(record, c.sought), c.matches);
    }
}

}  // namespace
