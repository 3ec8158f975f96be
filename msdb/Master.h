// The MASTER directory file: a 53-byte header (record count, add count) followed by one 53-byte
// record per security or sub-directory, all little-endian, without padding.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Status.h"

namespace msdb {

inline constexpr std::size_t kMasterRecordSize = 53;
inline constexpr std::size_t kNameFieldSize = 16;
inline constexpr std::size_t kSymbolFieldSize = 16;
inline constexpr int kMaxSecurities = 255;

// Offsets inside a MasterRecord.
inline constexpr std::size_t kFileNumberOffset = 0;
inline constexpr std::size_t kRecordLengthOffset = 3;
inline constexpr std::size_t kFieldCountOffset = 4;
inline constexpr std::size_t kNameOffset = 7;
inline constexpr std::size_t kDirMarkerOffset = 18;
inline constexpr std::size_t kFirstDateOffset = 25;
inline constexpr std::size_t kLastDateOffset = 29;
inline constexpr std::size_t kSymbolOffset = 36;

// The file name that Korvex gives a new directory file; an existing one is found in any case.
inline constexpr std::string_view kMasterFileName = "MASTER";

using MasterRecord = std::array<std::uint8_t, kMasterRecordSize>;

struct MasterHeader {
    std::int16_t recordCount = 0;
    std::int16_t addCount = 0;
};

// The counts of the header at the start of `bytes` (at least 53 bytes).
MasterHeader ReadMasterHeader(std::string_view bytes);

// Writes the two counts into the header at the start of `bytes`, leaving its other bytes.
void WriteMasterHeaderCounts(std::string* bytes, const MasterHeader& header);

// The contents of a new, empty MASTER: 53 zero bytes.
std::string MakeEmptyMaster();

// The record of a new security: file number, the constant bytes 00 65, record length and field
// count, name and symbol padded with spaces to 16 characters (cut at 16), first and last date, D.
MasterRecord MakeMasterRecord(std::uint8_t fileNumber, int fieldCount, std::string_view name,
                              std::string_view symbol, const MbfBytes& firstDate,
                              const MbfBytes& lastDate);

// True when the record lists a sub-directory: "<DIR>" at bytes 18 to 22 and byte 7 not a space.
bool IsSubdirectoryEntry(const std::uint8_t* record);

// The sub-directory name of such an entry: bytes 7 to 14 up to the first NUL, trailing spaces
// removed.
std::string SubdirectoryName(const std::uint8_t* record);

// True when `symbol` equals the record's name or its symbol, without regard to letter case; the
// stored symbol is cut before its k-th space, k being one more than the spaces in `symbol`.
bool SecurityMatches(const std::uint8_t* record, std::string_view symbol);

// The path of the directory file in `directory`, whatever the case of its name, or nothing.
Status LocateMaster(FileSystem& fs, const std::string& directory, std::optional<std::string>* path);

// The most levels of directories that FindSecurity searches: the start directory and 15 below it.
inline constexpr int kMaxSearchLevels = 16;

// The safety rules of every walk over a MASTER tree: a sub-directory entry is followed only when
// its name is a plain name (no separator, not "." or ".."), it leads to a directory inside the tree
// the walk started in that the walk has not entered yet, and the walk is not already
// kMaxSearchLevels levels deep. So no content of any MASTER can make a walk leave its tree or go
// round in a loop.
class TreeGuard {
public:
    // Starts a walk at `startDirectory` ("" for the current directory).
    TreeGuard(FileSystem& fs, const std::string& startDirectory);

    // The path of the sub-directory `name` of `parentPath` (which ends in a separator, or is empty)
    // when the walk may enter it at `depth` (the start directory is depth 0), marking it entered.
    // The directory is found whatever the case of its letters, the exact spelling first.
    std::optional<std::string> Enter(const std::string& parentPath, const std::string& name,
                                     int depth);

private:
    FileSystem& m_fs;
    std::string m_root;
    std::set<std::string> m_visited;
};

// Results of FindSecurity.
inline constexpr std::int16_t kSecurityFound = 0;
inline constexpr std::int16_t kSecurityNotFound = -8;
inline constexpr std::int16_t kMasterReadError = -4;

// Looks `symbol` up in the MASTER of `startDirectory` and, depth first in record order, in the
// sub-directories it lists; every security of a MASTER is compared before its first sub-directory
// is entered. Returns kSecurityFound with the record (its first and last dates turned into IEEE
// singles) and the directory it was found in, ending in a separator; kSecurityNotFound; or
// kMasterReadError when a MASTER record could not be read while sub-directory entries were looked
// for. The outputs are written only when the security is found. The walk never leaves the start
// directory's tree, never enters a directory twice and ends on any content.
std::int16_t FindSecurity(FileSystem& fs, std::string_view startDirectory, std::string_view symbol,
                          MasterRecord* record, std::string* directory);

}  // namespace msdb
