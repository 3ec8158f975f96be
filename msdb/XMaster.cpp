#include "msdb/XMaster.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <optional>

namespace msdb {
namespace {

constexpr std::string_view kSignature = "\x5D\xFE\x58\x4D";
constexpr std::size_t kCountAt = 10;
constexpr std::size_t kCountAgainAt = 14;
constexpr std::size_t kNextFileNumberAt = 18;
constexpr std::size_t kSymbolAt = 1;
constexpr std::size_t kSymbolWidth = kXMasterSymbolWidth;
constexpr std::size_t kNameAt = 16;
constexpr std::size_t kNameWidth = kXMasterNameWidth;
constexpr std::size_t kTimeFrameAt = 62;
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

void WriteUInt(std::string* bytes, std::size_t at, std::size_t width, std::uint32_t value) {
    for (std::size_t i = 0; i < width; ++i) {
        (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
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

// The inverse of StoredDate: the YYYYMMDD number of a stored date, 0 for none.
std::uint32_t YyyymmddOf(const MbfBytes& stored) {
    if (stored == MbfBytes{}) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::lround(FromMbf(stored))) + 19000000;
}

}  // namespace

std::string MakeXMasterRecord(int fileNumber, std::uint8_t fieldMask, std::string_view symbol,
                              std::string_view name, const MbfBytes& firstDate,
                              const MbfBytes& lastDate, Period period) {
    std::string record(kXMasterRecordSize, '\0');
    symbol = symbol.substr(0, std::min(symbol.size(), kSymbolWidth));
    name = name.substr(0, std::min(name.size(), kNameWidth));
    record.replace(kSymbolAt, symbol.size(), symbol);
    record.replace(kNameAt, name.size(), name);
    record[kTimeFrameAt] = static_cast<char>(period);
    WriteUInt(&record, kFileNumberAt, 2, static_cast<std::uint32_t>(fileNumber));
    record[kFieldMaskAt] = static_cast<char>(fieldMask);
    WriteUInt(&record, kFirstDateAt, 4, YyyymmddOf(firstDate));
    WriteUInt(&record, kLastDateAt, 4, YyyymmddOf(lastDate));
    return record;
}

XMaster::XMaster(std::string path) : path_(std::move(path)), bytes_(kXMasterRecordSize, '\0') {
    bytes_.replace(0, kSignature.size(), kSignature);
    SetHeader();
}

std::string MwdFileName(int fileNumber) {
    return "F" + std::to_string(fileNumber) + ".MWD";
}

Status XMaster::Read(FileSystem& fs, const std::string& path, XMaster* xmaster) {
    xmaster->path_ = path;
    xmaster->highest_.reset();
    // Read into room for a few records more: the first one added to an XMASTER of tens of
    // thousands of securities would otherwise move all of them.
    constexpr std::size_t kRoom = 64 * kXMasterRecordSize;
    FileInfo info;
    if (fs.GetInfo(path, &info).ok() && info.size < (std::size_t{1} << 30)) {
        xmaster->bytes_.reserve(static_cast<std::size_t>(info.size) + kRoom);
    }
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
    entries.reserve(std::min(counted, present));
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
        entry.period = record[kTimeFrameAt];
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool XMaster::Matches(const XMasterEntry& entry, std::string_view symbol) {
    return Matches(entry.symbol, entry.name, symbol);
}

bool XMaster::Matches(std::string_view entrySymbol, std::string_view entryName,
                      std::string_view symbol) {
    return EqualsNoCase(entrySymbol, symbol) || EqualsNoCase(entryName, symbol);
}

std::optional<int> XMaster::LowestFreeFileNumber(std::vector<bool> alsoUsed) const {
    // The numbers of the records Entries() gives, read where they lie: an XMASTER of tens of
    // thousands of securities is not made into entries for this.
    std::vector<bool> used = std::move(alsoUsed);
    used.resize(kLastXMasterFileNumber + 1, false);
    if (bytes_.size() >= kXMasterRecordSize) {
        const std::size_t records = std::min<std::size_t>(ReadUInt(bytes_, kCountAt, 2),
                                                          bytes_.size() / kXMasterRecordSize - 1);
        for (std::size_t i = 1; i <= records; ++i) {
            used[ReadUInt(bytes_, kXMasterRecordSize * i + kFileNumberAt, 2)] = true;
        }
    }
    for (int n = kFirstXMasterFileNumber; n <= kLastXMasterFileNumber; ++n) {
        if (!used[static_cast<std::size_t>(n)]) {
            return n;
        }
    }
    return std::nullopt;
}

Status XMaster::AddRecord(const std::string& record) {
    if (ReadUInt(bytes_, kCountAt, 2) >= kMaxXMasterRecords) {
        return Status::Damaged("The XMASTER file " + path_ + " is full: it lists " +
                               std::to_string(kMaxXMasterRecords) +
                               " securities, the most it can count.");
    }
    if (bytes_.capacity() < bytes_.size() + record.size()) {
        // Grown by a quarter, not doubled as a string grows itself: a run may add tens of
        // thousands of records, and while the bytes move they are held twice.
        std::string grown;
        grown.reserve(bytes_.size() + std::max(bytes_.size() / 4, 64 * kXMasterRecordSize));
        grown = bytes_;
        bytes_ = std::move(grown);
    }
    bytes_ += record;
    if (highest_) {
        // Only the new record can raise the highest file number: a run that adds thousands
        // does not look at all the others again each time.
        highest_ = std::max(*highest_, static_cast<int>(ReadUInt(record, kFileNumberAt, 2)));
    }
    SetHeader();
    return Status::Ok();
}

void XMaster::Reserve(std::size_t records) {
    const std::size_t size = (records + 1) * kXMasterRecordSize;  // the header is a record's size
    if (bytes_.capacity() < size) {
        std::string grown;
        grown.reserve(size);
        grown = bytes_;
        bytes_ = std::move(grown);
    }
}

void XMaster::ReplaceRecord(std::size_t i, const std::string& record) {
    bytes_.replace(kXMasterRecordSize * i, kXMasterRecordSize, record);
    highest_.reset();
    SetHeader();
}

void XMaster::SetDates(int fileNumber, const MbfBytes& firstDate, const MbfBytes& lastDate) {
    for (std::size_t at = kXMasterRecordSize; at + kXMasterRecordSize <= bytes_.size();
         at += kXMasterRecordSize) {
        if (static_cast<int>(ReadUInt(bytes_, at + kFileNumberAt, 2)) == fileNumber) {
            WriteUInt(&bytes_, at + kFirstDateAt, 4, YyyymmddOf(firstDate));
            WriteUInt(&bytes_, at + kLastDateAt, 4, YyyymmddOf(lastDate));
        }
    }
}

void XMaster::SetRecordDates(std::size_t i, const MbfBytes& firstDate, const MbfBytes& lastDate) {
    const std::size_t at = kXMasterRecordSize * i;
    WriteUInt(&bytes_, at + kFirstDateAt, 4, YyyymmddOf(firstDate));
    WriteUInt(&bytes_, at + kLastDateAt, 4, YyyymmddOf(lastDate));
}

void XMaster::RemoveRecord(std::size_t i) {
    bytes_.erase(kXMasterRecordSize * i, kXMasterRecordSize);
    highest_.reset();
    SetHeader();
}

// The count, twice, and the next free file number: one past the highest in use, 256 when none is.
void XMaster::SetHeader() {
    if (!highest_) {
        int highest = kFirstXMasterFileNumber - 1;
        for (std::size_t at = kXMasterRecordSize; at + kXMasterRecordSize <= bytes_.size();
             at += kXMasterRecordSize) {
            highest = std::max(highest, static_cast<int>(ReadUInt(bytes_, at + kFileNumberAt, 2)));
        }
        highest_ = highest;
    }
    const std::size_t records = bytes_.size() / kXMasterRecordSize - 1;
    WriteUInt(&bytes_, kCountAt, 2, static_cast<std::uint32_t>(records));
    WriteUInt(&bytes_, kCountAgainAt, 2, static_cast<std::uint32_t>(records));
    WriteUInt(&bytes_, kNextFileNumberAt, 2,
              static_cast<std::uint32_t>(std::min(*highest_ + 1, kLastXMasterFileNumber)));
}

std::string XMaster::TakeBytes() {
    std::string bytes = std::move(bytes_);  // a quarter more room at most: see AddRecord
    *this = XMaster(path_);
    return bytes;
}

XMasterChanges::XMasterChanges(std::string path, std::optional<std::string> header,
                               std::size_t records, int highestFileNumber)
    : path_(std::move(path)),
      header_(std::move(header)),
      before_(header_ ? records : 0),
      highest_(header_ ? std::max(highestFileNumber, kFirstXMasterFileNumber - 1)
                       : kFirstXMasterFileNumber - 1) {}

XMasterChanges::Made XMasterChanges::Make(int fileNumber, std::uint8_t fieldMask,
                                          std::string_view symbol, std::string_view name,
                                          const MbfBytes& firstDate, const MbfBytes& lastDate,
                                          Period period) {
    symbol = symbol.substr(0, std::min(symbol.size(), kSymbolWidth));
    name = name.substr(0, std::min(name.size(), kNameWidth));
    Made made;
    made.text = static_cast<std::uint32_t>(texts_.size());
    made.fileNumber = static_cast<std::uint16_t>(fileNumber);
    made.fieldMask = fieldMask;
    made.symbolSize = static_cast<std::uint8_t>(symbol.size());
    made.nameSize = static_cast<std::uint8_t>(name.size());
    made.period = static_cast<char>(period);
    made.firstDate = firstDate;
    made.lastDate = lastDate;
    texts_ += symbol;
    texts_ += name;
    highest_ = std::max(highest_, fileNumber);
    return made;
}

std::string XMasterChanges::RecordOf(const Made& made) const {
    const std::string_view texts(texts_);
    return MakeXMasterRecord(made.fileNumber, made.fieldMask,
                             texts.substr(made.text, made.symbolSize),
                             texts.substr(made.text + made.symbolSize, made.nameSize),
                             made.firstDate, made.lastDate, static_cast<Period>(made.period));
}

Status XMasterChanges::AddRecord(int fileNumber, std::uint8_t fieldMask, std::string_view symbol,
                                 std::string_view name, const MbfBytes& firstDate,
                                 const MbfBytes& lastDate, Period period) {
    if (RecordsPresent() >= kMaxXMasterRecords) {
        return Status::Damaged("The XMASTER file " + path_ + " is full: it lists " +
                               std::to_string(kMaxXMasterRecords) +
                               " securities, the most it can count.");
    }
    added_.push_back(Make(fileNumber, fieldMask, symbol, name, firstDate, lastDate, period));
    return Status::Ok();
}

void XMasterChanges::Reserve(std::size_t records) {
    if (records > before_) {
        added_.reserve(records - before_);
    }
}

void XMasterChanges::ReplaceRecord(std::size_t i, int fileNumber, std::uint8_t fieldMask,
                                   std::string_view symbol, std::string_view name,
                                   const MbfBytes& firstDate, const MbfBytes& lastDate,
                                   Period period) {
    Made made = Make(fileNumber, fieldMask, symbol, name, firstDate, lastDate, period);
    if (i > before_) {
        added_[i - before_ - 1] = made;
    } else {
        replaced_.emplace_back(static_cast<std::uint32_t>(i), made);
    }
}

void XMasterChanges::SetRecordDates(std::size_t i, const MbfBytes& firstDate,
                                    const MbfBytes& lastDate) {
    if (i > before_) {
        added_[i - before_ - 1].firstDate = firstDate;
        added_[i - before_ - 1].lastDate = lastDate;
    } else {
        dated_.push_back({static_cast<std::uint32_t>(i), firstDate, lastDate});
    }
}

std::string XMasterChanges::Header() const {
    std::string header = header_.value_or(XMaster().TakeBytes());
    const auto records = static_cast<std::uint32_t>(RecordsPresent());
    WriteUInt(&header, kCountAt, 2, records);
    WriteUInt(&header, kCountAgainAt, 2, records);
    WriteUInt(&header, kNextFileNumberAt, 2,
              static_cast<std::uint32_t>(std::min(highest_ + 1, kLastXMasterFileNumber)));
    return header;
}

Status XMasterChanges::Write(
    const std::function<Status(std::size_t n, char* buffer, std::size_t* got)>& read,
    const std::function<Status(std::string_view part)>& write) {
    // A record replaced or dated more than once takes what was made last.
    std::stable_sort(replaced_.begin(), replaced_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::stable_sort(dated_.begin(), dated_.end(),
                     [](const Dated& a, const Dated& b) { return a.record < b.record; });
    constexpr std::size_t kPartRecords = 436;  // about 64 KB
    std::string part;
    std::size_t record = 0;  // the first of the part; the header counts as record 0
    auto replaced = replaced_.cbegin();
    auto dated = dated_.cbegin();
    while (header_ && record <= before_) {
        const std::size_t count = std::min(kPartRecords, before_ + 1 - record);
        part.resize(count * kXMasterRecordSize);
        for (std::size_t at = 0; at < part.size();) {
            std::size_t got = 0;
            if (Status s = read(part.size() - at, part.data() + at, &got); !s.ok()) {
                return s;
            }
            if (got == 0) {
                return Status::Busy("The file " + path_ +
                                    " is not as when it was read: another program changed it.");
            }
            at += got;
        }
        if (record == 0) {
            part.replace(0, kXMasterRecordSize, Header());
        }
        for (; replaced != replaced_.cend() && replaced->first < record + count; ++replaced) {
            part.replace((replaced->first - record) * kXMasterRecordSize, kXMasterRecordSize,
                         RecordOf(replaced->second));
        }
        for (; dated != dated_.cend() && dated->record < record + count; ++dated) {
            const std::size_t at = (dated->record - record) * kXMasterRecordSize;
            WriteUInt(&part, at + kFirstDateAt, 4, YyyymmddOf(dated->firstDate));
            WriteUInt(&part, at + kLastDateAt, 4, YyyymmddOf(dated->lastDate));
        }
        if (Status s = write(part); !s.ok()) {
            return s;
        }
        record += count;
    }
    part = header_ ? std::string() : Header();
    for (const Made& made : added_) {
        part += RecordOf(made);
        if (part.size() >= kPartRecords * kXMasterRecordSize) {
            if (Status s = write(part); !s.ok()) {
                return s;
            }
            part.clear();
        }
    }
    return part.empty() ? Status::Ok() : write(part);
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
