// The EMASTER file that other programs keep beside MASTER: a 192-byte header record, then one
// 192-byte record per security in the same slots as MASTER's records, with more detail (the
// full name, dates as IEEE singles and as YYYYMMDD). All numbers are little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/Status.h"

namespace msdb {

inline constexpr std::size_t kEMasterRecordSize = 192;
inline constexpr std::string_view kEMasterFileName = "EMASTER";

class EMaster {
public:
    // An empty EMASTER (a header of zeros) that will be written to `path`.
    explicit EMaster(std::string path = {});

    [[nodiscard]] static Status Read(FileSystem& fs, const std::string& path, EMaster* emaster);

    const std::string& path() const { return path_; }
    std::string_view bytes() const { return bytes_; }
    std::size_t RecordsPresent() const;

    // The full name that record `i` (from 1) holds beside the short one, for a name longer than
    // 16 characters; empty when it holds none.
    std::string LongName(std::size_t i) const;

    // Refuses, as damaged, an EMASTER that does not agree with `master`: another record count, a
    // size that is not its records, or another file number in a slot. The message names the first
    // disagreement.
    [[nodiscard]] Status CheckAgrees(const Master& master) const;

    // Every way in which a record disagrees with the record of the same slot of `master`, which
    // CheckAgrees passes: symbol, name, field count, first and last date. A line each, such as
    // "record 2 gives the symbol ABC, MASTER DEF".
    std::vector<std::string> Differences(const Master& master) const;

    // Adds the record of a security, in the slot after the last, and sets the header from
    // `master` (its count and highest file number), which already holds the security.
    void AddRecord(const Master& master, std::uint8_t fileNumber, int fieldCount,
                   std::string_view symbol, std::string_view name, const MbfBytes& firstDate,
                   const MbfBytes& lastDate, Period period);

    // Writes record `i` (from 1) anew for the security of that slot.
    void ReplaceRecord(std::size_t i, std::uint8_t fileNumber, int fieldCount,
                       std::string_view symbol, std::string_view name, const MbfBytes& firstDate,
                       const MbfBytes& lastDate, Period period);

    // Sets the first and last dates of every record of `fileNumber`.
    void SetDates(std::uint8_t fileNumber, const MbfBytes& firstDate, const MbfBytes& lastDate);

    // Takes record `i` (from 1) out and sets the header from `master`, which no longer holds it.
    void RemoveRecord(std::size_t i, const Master& master);

private:
    Status DamagedBecause(const std::string& why) const;
    void SetHeader(const Master& master);

    std::string path_;
    std::string bytes_;
};

// The bytes of the EMASTER record of a security.
std::string MakeEMasterRecord(std::uint8_t fileNumber, int fieldCount, std::string_view symbol,
                              std::string_view name, const MbfBytes& firstDate,
                              const MbfBytes& lastDate, Period period);

}  // namespace msdb
