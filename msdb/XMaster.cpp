#include "msdb/XMaster.h"

#include <bitset>
#include <optional>

namespace msdb {
namespace {

constexpr std::string_view kSignature = "\x5D\xFE\x58\x4D";
constexpr std::size_t kCountAt = 10;
constexpr std::size_t kSymbolAt = 1;
constexpr std::size_t kSymbolWidth = 15;
constexpr std::size_t kNameAt = 16;
constexpr std::size_t kNameWidth = 45;
constexpr std::size_t kFileNumberAt = 65;
constexpr std::size_t kFieldMaskAt = 70;
constexpr std::size_t kFirstDateAt = 108;
constexpr std::size_t kLastDateAt = 116;

std::uint32_t ReadUInt(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
    }
    return value;
}

std::string TextAt(std::string_view record, std::size_t at, std::size_t width) {
    std::string_view text = record.substr(at, width);
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

// A YYYYMMDD number as the stored date of MASTER: the MBF single of its YYMMDD number.
MbfBytes StoredDate(std::uint32_t yyyymmdd) {
    return yyyymmdd == 0 ? MbfBytes{} : ToMbf(static_cast<float>(yyyymmdd - 19000000));
}

}  // namespace

std::string MwdFileName(int fileNumber) {
    return "F" + std::to_string(fileNumber) + ".MWD";
}

Status XMaster::Read(FileSystem& fs, const std::string& path, XMaster* xmaster) {
    xmaster->path_ = path;
    return ReadWholeFile(fs, path, &xmaster->bytes_);
}

Status XMaster::Check() const {
    if (bytes_.size() < kXMasterRecordSize || bytes_.compare(0, 4, kSignature) != 0) {
        return Status::Damaged("The XMASTER file " + path_ + " is damaged:\nit " +
                               (bytes_.size() < kXMasterRecordSize
                                    ? "is shorter than its 150-byte header."
                                    : "does not begin with the XMASTER signature."));
    }
    const std::size_t counted = ReadUInt(bytes_, kCountAt, 2);
    const std::size_t present = bytes_.size() / kXMasterRecordSize - 1;
    if (counted != present || bytes_.size() % kXMasterRecordSize != 0) {
        return Status::Damaged("The XMASTER file " + path_ + " is damaged:\nits header counts " +
                               std::to_string(counted) + " records, but it holds " +
                               std::to_string(present) + ".");
    }
    return Status::Ok();
}

std::vector<XMasterEntry> XMaster::Entries() const {
    std::vector<XMasterEntry> entries;
    if (bytes_.size() < kXMasterRecordSize) {
        return entries;
    }
    const std::size_t counted = ReadUInt(bytes_, kCountAt, 2);
    const std::size_t present = bytes_.size() / kXMasterRecordSize - 1;
    for (std::size_t i = 1; i <= std::min(counted, present); ++i) {
        const std::string_view record =
            std::string_view(bytes_).substr(kXMasterRecordSize * i, kXMasterRecordSize);
        XMasterEntry entry;
        entry.recordNumber = i;
        entry.fileNumber = static_cast<int>(ReadUInt(record, kFileNumberAt, 2));
        entry.symbol = TextAt(record, kSymbolAt, kSymbolWidth);
        entry.name = TextAt(record, kNameAt, kNameWidth);
        entry.fieldCount = static_cast<int>(
            std::bitset<8>(static_cast<std::uint8_t>(record[kFieldMaskAt])).count());
        entry.firstDate = StoredDate(ReadUInt(record, kFirstDateAt, 4));
        entry.lastDate = StoredDate(ReadUInt(record, kLastDateAt, 4));
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool XMaster::Matches(const XMasterEntry& entry, std::string_view symbol) {
    return EqualsNoCase(entry.symbol, symbol) || EqualsNoCase(entry.name, symbol);
}

Status ReadXMasterOf(FileSystem& fs, const std::string& directory, XMaster* xmaster) {
    std::optional<std::string> name;
    Status s = FindEntryNoCase(fs, directory.empty() ? "." : directory, kXMasterFileName, &name);
    if (!s.ok()) {
        return s;
    }
    if (!name) {
        return Status::NotFound("No XMASTER file in " + directory);
    }
    return XMaster::Read(fs, JoinPath(directory, *name), xmaster);
}

}  // namespace msdb
