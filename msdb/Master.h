// The MASTER directory file: a 53-byte header (record count, add count) followed by one 53-byte
// record per security or sub-directory, all little-endian, without padding. `Master` owns the
// bytes of one such file; nothing else edits them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Status.h"

namespace msdb {

inline constexpr std::size_t kMasterRecordSize = 53;
inline constexpr std::size_t kNameFieldSize = 16;
inline constexpr std::size_t kSymbolFieldSize = 16;
inline constexpr std::size_t kSubdirectoryNameSize = 8;
inline constexpr int kMaxSecurities = 255;

// Offsets inside a MasterRecord.
inline constexpr std::size_t kFileNumberOffset = 0;
inline constexpr std::size_t kRecordLengthOffset = 3;
inline constexpr std::size_t kFieldCountOffset = 4;
inline constexpr std::size_t kNameOffset = 7;
inline constexpr std::size_t kDirMarkerOffset = 18;
inline constexpr std::size_t kFirstDateOffset = 25;
inline constexpr std::size_t kLastDateOffset = 29;
inline constexpr std::size_t kPeriodOffset = 33;
inline constexpr std::size_t kSymbolOffset = 36;

// The file name that Korvex gives a new directory file; an existing one is found in any case.
inline constexpr std::string_view kMasterFileName = "MASTER";

// The time frame of a security's prices, as its MASTER, EMASTER and XMASTER records hold it: one
// price record per day, per week or per month.
enum class Period : char { kDaily = 'D', kWeekly = 'W', kMonthly = 'M' };

constexpr bool IsPeriod(Period period) {
    return period == Period::kDaily || period == Period::kWeekly || period == Period::kMonthly;
}

using MasterRecord = std::array<std::uint8_t, kMasterRecordSize>;
// The bytes of one record as they lie in a MASTER.
using RecordBytes = std::span<const std::uint8_t, kMasterRecordSize>;

struct MasterHeader {
    std::int16_t recordCount = 0;
    // The highest file number in use, as the directories of other programs hold it (the run
    // sequence's "add count", which is the same number while numbers are given without gaps).
    std::int16_t highestFileNumber = 0;
};

// The counts of the header at the start of `bytes` (at least 53 bytes).
MasterHeader ReadMasterHeader(std::string_view bytes);

// Writes the two counts into the header at the start of `bytes`, leaving its other bytes.
void WriteMasterHeaderCounts(std::string* bytes, const MasterHeader& header);

// The contents of a new, empty MASTER: 53 zero bytes.
std::string MakeEmptyMaster();

// The record of a new security: file number, the constant bytes 00 65, record length and field
// count, name and symbol padded with spaces to 16 characters (cut at 16), first and last date,
// the period.
MasterRecord MakeMasterRecord(std::uint8_t fileNumber, int fieldCount, std::string_view name,
                              std::string_view symbol, const MbfBytes& firstDate,
                              const MbfBytes& lastDate, Period period);

// True when the record lists a sub-directory: "<DIR>" at bytes 18 to 22 and byte 7 not a space.
bool IsSubdirectoryEntry(RecordBytes record);

// The sub-directory name of such an entry: bytes 7 to 14 up to the first NUL, trailing spaces
// removed.
std::string SubdirectoryName(RecordBytes record);

// True when `symbol` equals the record's name or its symbol, without regard to letter case; the
// stored symbol is cut before its k-th space, k being one more than the spaces in `symbol`.
bool SecurityMatches(RecordBytes record, std::string_view symbol);

// The path of the directory file in `directory`, whatever the case of its name, or nothing.
Status LocateMaster(FileSystem& fs, const std::string& directory, std::optional<std::string>* path);

// One MASTER file's bytes: read whole, checked, changed in memory and written back through a
// temporary beside it.
class Master {
public:
    // An empty MASTER (53 zero bytes) that will be written to `path`.
    explicit Master(std::string path = {});

    // Reads the MASTER at `path` whole. Only a failure to read is an error; the contents are
    // judged by CheckHeader and the accessors.
    [[nodiscard]] static Status Read(FileSystem& fs, const std::string& path, Master* master);

    const std::string& path() const { return path_; }
    std::string_view bytes() const { return bytes_; }

    // False when the file is shorter than its 53-byte header; the header then reads as zeros.
    bool HasWholeHeader() const { return bytes_.size() >= kMasterRecordSize; }
    MasterHeader header() const;

    // The whole records after the header, whatever the header counts.
    std::size_t RecordsPresent() const;
    // The bytes after the last whole record.
    std::size_t TrailingBytes() const;
    // Record `i`, counted from 1; `i` must be at most RecordsPresent().
    RecordBytes Record(std::size_t i) const;

    // Refuses, as damaged, a MASTER shorter than its header or whose header counts a negative
    // number of records. The message names the file and says why.
    [[nodiscard]] Status CheckHeader() const;

    // The lowest file number (1 to 255) that no record present uses and `alsoUsed` does not mark,
    // or nothing when all are used.
    std::optional<std::uint8_t> LowestFreeFileNumber(
        const std::array<bool, 256>& alsoUsed = {}) const;

    // The records present, from 1, that are securities (not sub-directory entries) of file number
    // `fileNumber`.
    std::vector<std::size_t> RecordsOfFileNumber(std::uint8_t fileNumber) const;

    // Replaces record `i` (from 1, present) with `record`.
    void ReplaceRecord(std::size_t i, const MasterRecord& record);

    // Takes record `i` (from 1, present) out; the records behind it move up, the record count goes
    // down by one and the header holds the highest file number still in use.
    void RemoveRecord(std::size_t i);

    // Refuses, as damaged, what CheckHeader refuses and a MASTER whose header counts other than
    // the whole records it holds, or that ends in a partial record.
    [[nodiscard]] Status CheckConsistent() const;

    // Refuses, as damaged, a MASTER whose header cannot count one more record (32767 already).
    [[nodiscard]] Status CheckRoomForRecord() const;

    // Appends `record` behind the whole records present (a trailing partial record is dropped),
    // counts it and sets the highest file number in use. Refused as CheckHeader and
    // CheckRoomForRecord refuse.
    [[nodiscard]] Status AddRecord(const MasterRecord& record);

    // Puts the dates into every record (not the header) whose file number is `fileNumber`, and
    // drops a trailing partial record.
    void SetDates(std::uint8_t fileNumber, const MbfBytes& firstDate, const MbfBytes& lastDate);

private:
    Status DamagedBecause(const std::string& why) const;
    std::int16_t HighestFileNumber() const;
    void DropPartialRecord();

    std::string path_;
    std::string bytes_;
};

}  // namespace msdb
