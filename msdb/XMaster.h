// The XMASTER file of directories with more than 255 securities, as other programs write it: a
// 150-byte header, then one 150-byte record per security, whose prices lie in F<n>.MWD (n from
// 256), laid out as F<n>.DAT. All numbers are little-endian.
//
// Header: the signature 5D FE 58 4D at bytes 0 to 3, the record count at 10 and again at 14 (two
// bytes each), and at 18 the next free file number, one more than the highest in use; the rest
// is kept as found (zeros in a new one).
// Record: the symbol at bytes 1 to 15 and the name at 16 to 60, each NUL-padded; the period (D, W
// or M) at 62; the file number at 65 (two bytes); the mask of the stored fields at 70 (bit 0 the
// date, then open, high, low, close, volume, open interest); the first and the last date as
// YYYYMMDD numbers at 108 and 116 (four bytes each); zeros elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/Status.h"

namespace msdb {

inline constexpr std::size_t kXMasterRecordSize = 150;
inline constexpr std::string_view kXMasterFileName = "XMASTER";
// The file numbers of XMASTER's securities: from one past MASTER's to what two bytes hold.
inline constexpr int kFirstXMasterFileNumber = 256;
inline constexpr int kLastXMasterFileNumber = 65535;
// The most records its two-byte count can count.
inline constexpr std::size_t kMaxXMasterRecords = 65535;
// The longest symbol and name a record holds.
inline constexpr std::size_t kXMasterSymbolWidth = 15;
inline constexpr std::size_t kXMasterNameWidth = 45;

// One security of an XMASTER.
struct XMasterEntry {
    std::size_t recordNumber = 0;  // from 1
    int fileNumber = 0;
    std::string symbol;
    std::string name;
    int fieldCount = 0;    // the bits set in the field mask
    MbfBytes firstDate{};  // as MASTER would hold them
    MbfBytes lastDate{};
    char period = 0;  // D, W or M as the record holds it
};

// The record of a security: `fieldMask` has bit i set for the i-th price field in canonical
// order; the dates as MASTER holds them (zeros: none). Symbol and name are cut to their widths.
std::string MakeXMasterRecord(int fileNumber, std::uint8_t fieldMask, std::string_view symbol,
                              std::string_view name, const MbfBytes& firstDate,
                              const MbfBytes& lastDate, Period period);

class XMaster {
public:
    // An empty XMASTER (its header, counting no records) that will be written to `path`.
    explicit XMaster(std::string path = {});

    [[nodiscard]] static Status Read(FileSystem& fs, const std::string& path, XMaster* xmaster);

    const std::string& path() const { return path_; }
    std::string_view bytes() const { return bytes_; }

    // Refuses, as damaged, a file without the XMASTER signature, shorter than its header, or
    // whose count disagrees with its records. The message says why.
    [[nodiscard]] Status Check() const;

    // The securities of the records present, as many as the header counts at most.
    std::vector<XMasterEntry> Entries() const;

    // True when the symbol or the name of `entry` is `symbol`, letter case aside.
    static bool Matches(const XMasterEntry& entry, std::string_view symbol);
    // The same for a record whose symbol and name are `entrySymbol` and `entryName`.
    static bool Matches(std::string_view entrySymbol, std::string_view entryName,
                        std::string_view symbol);

    // The lowest file number from 256 that no record uses and `alsoUsed` does not mark (a flag
    // per file number, from 0), or nothing when none is left.
    std::optional<int> LowestFreeFileNumber(std::vector<bool> alsoUsed = {}) const;

    // The changes below keep the header's counts and next free file number in step; they expect
    // an XMASTER that Check passes.

    // Appends `record` (MakeXMasterRecord) behind the last record. Refused, as full, when the
    // count is at its most.
    [[nodiscard]] Status AddRecord(const std::string& record);
    // Makes room for `records` records in all, so that adding that many moves the bytes at
    // most once.
    void Reserve(std::size_t records);

    // Replaces record `i` (from 1, present) with `record`.
    void ReplaceRecord(std::size_t i, const std::string& record);

    // Puts the dates into every record of file number `fileNumber`.
    void SetDates(int fileNumber, const MbfBytes& firstDate, const MbfBytes& lastDate);
    // Puts the dates into record `i` (from 1, present).
    void SetRecordDates(std::size_t i, const MbfBytes& firstDate, const MbfBytes& lastDate);

    // The whole records present.
    std::size_t RecordsPresent() const { return bytes_.size() / kXMasterRecordSize - 1; }

    // Takes record `i` (from 1, present) out; the records behind it move up.
    void RemoveRecord(std::size_t i);

    // The file's bytes, taken out: the XMASTER is empty of records afterwards.
    std::string TakeBytes();

private:
    void SetHeader();

    std::string path_;
    std::string bytes_;
    std::optional<int> highest_;  // the highest file number of a record, once looked for
};

// The changes a run makes to an XMASTER, kept without its records: a directory may list tens of
// thousands of securities. The records it adds or replaces are kept as the few fields they hold,
// the dates it sets as dates; Write makes the new file a part at a time, taking the records left
// alone from the file as it stands. The header is kept as found but for its counts and its next
// free file number, as XMaster keeps them.
class XMasterChanges {
public:
    // `header`: the first 150 bytes of the file as it stands, which holds `records` records whose
    // highest file number is `highestFileNumber`; nothing for a new XMASTER.
    XMasterChanges(std::string path, std::optional<std::string> header = std::nullopt,
                   std::size_t records = 0, int highestFileNumber = kFirstXMasterFileNumber - 1);

    const std::string& path() const { return path_; }
    // There is a file: Write needs its bytes.
    bool replaces() const { return header_.has_value(); }
    std::size_t RecordsPresent() const { return before_ + added_.size(); }

    // As MakeXMasterRecord makes them: refused, as full, when the count is at its most.
    [[nodiscard]] Status AddRecord(int fileNumber, std::uint8_t fieldMask, std::string_view symbol,
                                   std::string_view name, const MbfBytes& firstDate,
                                   const MbfBytes& lastDate, Period period);
    // Makes room for `records` records in all.
    void Reserve(std::size_t records);
    // Record `i` (from 1, present) made anew.
    void ReplaceRecord(std::size_t i, int fileNumber, std::uint8_t fieldMask,
                       std::string_view symbol, std::string_view name, const MbfBytes& firstDate,
                       const MbfBytes& lastDate, Period period);
    // Puts the dates into record `i` (from 1, present).
    void SetRecordDates(std::size_t i, const MbfBytes& firstDate, const MbfBytes& lastDate);

    // Hands the new file to `write` in order, a part at a time. `read` gives the bytes of the
    // file as it stands from its start, as ReadableFile::Read does; a file shorter than its header
    // counted is refused as Busy, changed by another program.
    [[nodiscard]] Status Write(
        const std::function<Status(std::size_t n, char* buffer, std::size_t* got)>& read,
        const std::function<Status(std::string_view part)>& write);

private:
    // A record as the run makes it: its symbol and then its name in texts_ from `text`.
    struct Made {
        std::uint32_t text = 0;
        std::uint16_t fileNumber = 0;
        std::uint8_t fieldMask = 0;
        std::uint8_t symbolSize = 0;
        std::uint8_t nameSize = 0;
        char period = 0;
        MbfBytes firstDate{};
        MbfBytes lastDate{};
    };
    struct Dated {
        std::uint32_t record = 0;
        MbfBytes firstDate{};
        MbfBytes lastDate{};
    };
    Made Make(int fileNumber, std::uint8_t fieldMask, std::string_view symbol,
              std::string_view name, const MbfBytes& firstDate, const MbfBytes& lastDate,
              Period period);
    std::string RecordOf(const Made& made) const;
    std::string Header() const;

    std::string path_;
    std::optional<std::string> header_;
    std::size_t before_ = 0;  // the records of the file as it stands
    int highest_ = kFirstXMasterFileNumber - 1;
    std::string texts_;
    std::vector<Made> added_;
    std::vector<std::pair<std::uint32_t, Made>> replaced_;  // by record, in the order made
    std::vector<Dated> dated_;                              // of records of the file, in order set
};

// "F<n>.MWD" for file number n.
std::string MwdFileName(int fileNumber);

// The XMASTER of `directory` (found in any letter case), read; NotFound when there is none.
Status ReadXMasterOf(FileSystem& fs, const std::string& directory, XMaster* xmaster);

}  // namespace msdb
