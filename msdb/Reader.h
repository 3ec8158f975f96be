// Reading a MetaStock-format directory back: the securities its MASTER files list, each
// security's price records and stored fields. Nothing here writes; every read is bounded by the
// file's own size and no content can crash it. The walk over the MASTER files is MasterTree's.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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
    char period = 0;  // the time frame as the record holds it: D, W or M, or what another wrote
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

    auto operator<=>(const CalendarDay&) const = default;  // the earlier day first
};
std::optional<CalendarDay> StoredDateToDay(const MbfBytes& date);

// The day as "YYYY-MM-DD".
std::string IsoDateText(const CalendarDay& day);

// A stored value in full, never in exponent form ("48000000", "0.0001"): the shortest text that
// reads back as the same single-precision value.
std::string FullNumber(float value);

// The day written in `format`: in the twelve fixed formats every group with all its digits and '/'
// between the groups of the character-separated ones; M_D_CCYY, D_M_CCYY and CCYY_M_D without
// leading zeros ("1/2/2024"), DD_MON_CCYY and DD_MON_YY as "02-Jan-2024" and "02-Jan-24",
// MON_DD_CCYY as "Jan 02 2024". Such a text reads back as the same day.
std::string DateText(const CalendarDay& day, DateFormat format);

// The largest price file there can be at `recordLength` bytes a record: the header and 65,535
// records (the header counts them plus one in 16 bits). A larger file is not read past this.
std::uint64_t MaxPriceFileSize(std::size_t recordLength);

// Reads a price file record by record, in bounded memory whatever its size.
class PriceFileReader {
public:
    // Opens the file at `path` and reads its header record of `recordLength` bytes (at least 4).
    // A file shorter than its header is not an error: HeaderWhole() is false and no record follows.
    [[nodiscard]] Status Open(FileSystem& fs, const std::string& path, std::size_t recordLength);

    const std::string& path() const { return path_; }
    std::uint64_t FileSize() const { return size_; }
    // True when the file is larger than MaxPriceFileSize: what is past that is not read.
    bool TooLarge() const { return size_ > MaxPriceFileSize(recordLength_); }
    bool HeaderWhole() const { return headerWhole_; }
    std::uint16_t LastRecordNumber() const { return lastRecordNumber_; }

    // The next whole price record; `*got` is false at the end. After the end, TrailingBytes()
    // tells how many bytes followed the last whole record.
    [[nodiscard]] Status Next(std::string_view* record, bool* got);
    std::size_t TrailingBytes() const { return trailing_; }

    // The four-byte value `field` (0-based) of a record that Next gave; zeros past its end.
    static MbfBytes Value(std::string_view record, std::size_t field);

private:
    std::unique_ptr<ReadableFile> file_;
    std::string path_;
    std::size_t recordLength_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t left_ = 0;  // bytes still to read, within the limit
    bool headerWhole_ = false;
    std::uint16_t lastRecordNumber_ = 0;
    std::string block_;
    std::size_t at_ = 0;
    std::size_t trailing_ = 0;
};

}  // namespace msdb
