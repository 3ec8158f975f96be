// Reading a MetaStock-format directory back: the securities its MASTER files list, each
// security's price records and stored fields. Nothing here writes; every read is bounded by the
// file's own size and no content can crash it. The walk over the MASTER files is MasterTree's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/SecurityFiles.h"
#include "msdb/Status.h"

namespace msdb {

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
                               RecordBytes record);

// The fields a price record holds, in canonical order.
using FieldSet = PerField<bool>;

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

// The day as "YYYY-MM-DD".
std::string IsoDateText(const CalendarDay& day);

// The day written in `format`, one of the twelve, every group with all its digits and '/' between
// the groups of the character-separated formats; such a text reads back as the same day.
std::string DateText(const CalendarDay& day, DateFormat format);

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
