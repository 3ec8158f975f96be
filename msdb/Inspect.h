// Reading a MetaStock-format directory back: the MASTER files of a tree with the securities they
// list, each security's price records and stored fields. Nothing here writes; every read is
// bounded by the file's own size and no content can crash it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/SecurityFiles.h"
#include "msdb/Status.h"

namespace msdb {

// A MASTER file as it lies on disk.
struct MasterFile {
    std::string path;
    std::string bytes;
    MasterHeader header;  // all zero when the file is shorter than its header
    bool headerWhole = false;
    // The whole records after the header, whatever the header counts.
    std::size_t RecordsPresent() const;
    const std::uint8_t* Record(std::size_t i) const;  // i from 1
    std::size_t TrailingBytes() const;                // bytes after the last whole record
};

// Reads the MASTER of `directory` (found in any letter case). A missing MASTER is an error.
Status ReadMasterFile(FileSystem& fs, const std::string& directory, MasterFile* master);

// One security entry of a MASTER, as its record describes it.
struct SecurityEntry {
    std::string directory;     // where its MASTER lies (as the walk reached it)
    std::size_t recordNumber;  // 1-based position in that MASTER
    int fileNumber;
    int fieldCount;
    int recordLength;
    std::string symbol;  // up to the first NUL, trailing blanks removed
    std::string name;
    MbfBytes firstDate;
    MbfBytes lastDate;
};

SecurityEntry DescribeSecurity(const std::string& directory, std::size_t recordNumber,
                               const std::uint8_t* record);

// Visits the MASTER of `startDirectory` and of every sub-directory its "<DIR>" entries list, depth
// first in record order, under the walk's safety rules. Every security of a MASTER is visited
// before its sub-directories. `onMaster` gets each MASTER read (or the reason it could not be);
// `onSecurity` each security entry of the MASTER files that could be read.
void WalkMasterTree(FileSystem& fs, const std::string& startDirectory,
                    const std::function<void(const std::string& directory, const Status& status,
                                             const MasterFile& master)>& onMaster,
                    const std::function<void(const SecurityEntry& security)>& onSecurity);

// The fields a price record holds, in canonical order.
using FieldSet = std::array<bool, kPriceFieldCount>;

// The fields listed by an F<n>.DOP text, or nothing when a line is not one of the seven labels in
// the stored form, when a label repeats or the order is not canonical.
std::optional<FieldSet> FieldsFromDop(std::string_view dop);

// The fields that a record of `fieldCount` fields holds by the usual orders: 5 date, high, low,
// close, volume; 6 adds open; 7 adds open interest; 2 date and close; 3 adds volume; 4 date, high,
// low, close. Nothing for other counts.
std::optional<FieldSet> FieldsFromCount(int fieldCount);

int CountFields(const FieldSet& fields);

// The calendar date of a stored date value, or nothing when it is not a valid date (zero, not a
// whole YYMMDD number, month or day out of range, before 1961 or after 2099).
struct CalendarDay {
    int year;
    int month;
    int day;
};
std::optional<CalendarDay> StoredDateToDay(const MbfBytes& date);

// A price file: the bytes and what they hold at `recordLength` bytes a record.
struct PriceFile {
    std::string path;
    std::string bytes;
    std::size_t recordLength = 0;
    std::size_t RecordsPresent() const;  // whole records after the header
    std::uint16_t LastRecordNumber() const;
    // The four-byte value `field` (0-based within the record) of price record `i` (from 1);
    // zeros when the file ends before it.
    MbfBytes Value(std::size_t i, std::size_t field) const;
};

Status ReadPriceFile(FileSystem& fs, const std::string& path, std::size_t recordLength,
                     PriceFile* file);

}  // namespace msdb
