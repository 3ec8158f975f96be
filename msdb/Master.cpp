#include "msdb/Master.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace msdb {
namespace {

constexpr std::string_view kDirMarker = "<DIR>";

std::int16_t ReadInt16(const char* p) {
    auto lo = static_cast<std::uint8_t>(p[0]);
    auto hi = static_cast<std::uint8_t>(p[1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
}

void WriteInt16(char* p, std::int16_t value) {
    auto bits = static_cast<std::uint16_t>(value);
    p[0] = static_cast<char>(bits & 0xFF);
    p[1] = static_cast<char>(bits >> 8);
}

void PutPadded(MasterRecord* record, std::size_t offset, std::string_view text, std::size_t width) {
    text = text.substr(0, std::min(text.size(), width));
    for (std::size_t i = 0; i < width; ++i) {
        (*record)[offset + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
}

// The text of a fixed-width field up to its first NUL.
std::string_view FieldText(RecordBytes record, std::size_t offset, std::size_t width) {
    std::string_view text(reinterpret_cast<const char*>(record.data() + offset), width);
    return text.substr(0, text.find('\0'));
}

std::string_view TrimTrailingSpaces(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

MasterHeader ReadMasterHeader(std::string_view bytes) {
    return MasterHeader{ReadInt16(bytes.data()), ReadInt16(bytes.data() + 2)};
}

void WriteMasterHeaderCounts(std::string* bytes, const MasterHeader& header) {
    WriteInt16(bytes->data(), header.recordCount);
    WriteInt16(bytes->data() + 2, header.highestFileNumber);
}

std::string MakeEmptyMaster() {
    return std::string(kMasterRecordSize, '\0');
}

MasterRecord MakeMasterRecord(std::uint8_t fileNumber, int fieldCount, std::string_view name,
                              std::string_view symbol, const MbfBytes& firstDate,
                              const MbfBytes& lastDate, Period period) {
    MasterRecord record{};
    record[kFileNumberOffset] = fileNumber;
    record[1] = 0x00;
    record[2] = 0x65;
    record[kRecordLengthOffset] = static_cast<std::uint8_t>((4 * fieldCount) & 0xFF);
    record[kFieldCountOffset] = static_cast<std::uint8_t>(fieldCount);
    PutPadded(&record, kNameOffset, name, kNameFieldSize);
    std::copy(firstDate.begin(), firstDate.end(), record.begin() + kFirstDateOffset);
    std::copy(lastDate.begin(), lastDate.end(), record.begin() + kLastDateOffset);
    record[kPeriodOffset] = static_cast<std::uint8_t>(period);
    PutPadded(&record, kSymbolOffset, symbol, kSymbolFieldSize);
    return record;
}

bool IsSubdirectoryEntry(RecordBytes record) {
    return std::memcmp(record.data() + kDirMarkerOffset, kDirMarker.data(), kDirMarker.size()) ==
               0 &&
           record[kNameOffset] != ' ';
}

std::string SubdirectoryName(RecordBytes record) {
    return std::string(TrimTrailingSpaces(FieldText(record, kNameOffset, kSubdirectoryNameSize)));
}

bool SecurityMatches(RecordBytes record, std::string_view symbol) {
    std::size_t k = 1 + static_cast<std::size_t>(std::count(symbol.begin(), symbol.end(), ' '));
    std::string_view name = TrimTrailingSpaces(FieldText(record, kNameOffset, kNameFieldSize));
    std::string_view stored = FieldText(record, kSymbolOffset, kSymbolFieldSize);
    std::size_t spaces = 0;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == ' ' && ++spaces == k) {
            stored = stored.substr(0, i);
            break;
        }
    }
    return EqualsNoCase(symbol, name) || EqualsNoCase(symbol, stored);
}

Status LocateMaster(FileSystem& fs, const std::string& directory,
                    std::optional<std::string>* path) {
    std::optional<std::string> name;
    Status s = FindEntryNoCase(fs, directory, kMasterFileName, &name);
    if (!s.ok()) {
        return s;
    }
    path->reset();
    if (name) {
        *path = JoinPath(directory, *name);
    }
    return Status::Ok();
}

Master::Master(std::string path) : path_(std::move(path)), bytes_(MakeEmptyMaster()) {}

Status Master::Read(FileSystem& fs, const std::string& path, Master* master) {
    master->path_ = path;
    return ReadWholeFile(fs, path, &master->bytes_);
}

MasterHeader Master::header() const {
    return HasWholeHeader() ? ReadMasterHeader(bytes_) : MasterHeader{};
}

std::size_t Master::RecordsPresent() const {
    return HasWholeHeader() ? bytes_.size() / kMasterRecordSize - 1 : 0;
}

std::size_t Master::TrailingBytes() const {
    return bytes_.size() % kMasterRecordSize;
}

RecordBytes Master::Record(std::size_t i) const {
    return RecordBytes(reinterpret_cast<const std::uint8_t*>(bytes_.data()) + kMasterRecordSize * i,
                       kMasterRecordSize);
}

Status Master::DamagedBecause(const std::string& why) const {
    return Status::Damaged("The Master file " + path_ + " is damaged:\n" + why);
}

Status Master::CheckHeader() const {
    if (!HasWholeHeader()) {
        return DamagedBecause("it is shorter than its 53-byte header.");
    }
    if (header().recordCount < 0) {
        return DamagedBecause("its header counts a negative number of records.");
    }
    return Status::Ok();
}

Status Master::CheckConsistent() const {
    if (Status s = CheckHeader(); !s.ok()) {
        return s;
    }
    const auto counted = static_cast<std::size_t>(header().recordCount);
    if (counted != RecordsPresent()) {
        return DamagedBecause("its header counts " + std::to_string(counted) +
                              " records, but it holds " + std::to_string(RecordsPresent()) + ".");
    }
    if (TrailingBytes() != 0) {
        return DamagedBecause("it ends in a partial record of " + std::to_string(TrailingBytes()) +
                              " bytes.");
    }
    return Status::Ok();
}

std::vector<std::size_t> Master::RecordsOfFileNumber(std::uint8_t fileNumber) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 1; i <= RecordsPresent(); ++i) {
        if (Record(i)[kFileNumberOffset] == fileNumber && !IsSubdirectoryEntry(Record(i))) {
            found.push_back(i);
        }
    }
    return found;
}

void Master::ReplaceRecord(std::size_t i, const MasterRecord& record) {
    std::memcpy(bytes_.data() + kMasterRecordSize * i, record.data(), record.size());
}

void Master::RemoveRecord(std::size_t i) {
    bytes_.erase(kMasterRecordSize * i, kMasterRecordSize);
    MasterHeader counts = header();
    counts.recordCount = static_cast<std::int16_t>(counts.recordCount - 1);
    counts.highestFileNumber = HighestFileNumber();
    WriteMasterHeaderCounts(&bytes_, counts);
}

std::optional<std::uint8_t> Master::LowestFreeFileNumber(
    const std::array<bool, 256>& alsoUsed) const {
    std::array<bool, 256> used = alsoUsed;
    used[0] = true;
    for (std::size_t i = 1; i <= RecordsPresent(); ++i) {
        used[Record(i)[kFileNumberOffset]] = true;
    }
    auto free = std::find(used.begin(), used.end(), false);
    if (free == used.end()) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(free - used.begin());
}

void Master::DropPartialRecord() {
    bytes_.resize(bytes_.size() - TrailingBytes());
}

Status Master::CheckRoomForRecord() const {
    if (header().recordCount == std::numeric_limits<std::int16_t>::max()) {
        return DamagedBecause("its header counts 32767 records, the most it can count.");
    }
    return Status::Ok();
}

Status Master::AddRecord(const MasterRecord& record) {
    if (Status s = CheckHeader(); !s.ok()) {
        return s;
    }
    if (Status s = CheckRoomForRecord(); !s.ok()) {
        return s;
    }
    MasterHeader counts = header();
    counts.recordCount = static_cast<std::int16_t>(counts.recordCount + 1);
    DropPartialRecord();
    bytes_.append(reinterpret_cast<const char*>(record.data()), record.size());
    counts.highestFileNumber = HighestFileNumber();
    WriteMasterHeaderCounts(&bytes_, counts);
    return Status::Ok();
}

std::int16_t Master::HighestFileNumber() const {
    std::uint8_t highest = 0;
    for (std::size_t i = 1; i <= RecordsPresent(); ++i) {
        highest = std::max(highest, Record(i)[kFileNumberOffset]);
    }
    return highest;
}

void Master::SetDates(std::uint8_t fileNumber, const MbfBytes& firstDate,
                      const MbfBytes& lastDate) {
    DropPartialRecord();
    for (std::size_t at = kMasterRecordSize; at < bytes_.size(); at += kMasterRecordSize) {
        if (static_cast<std::uint8_t>(bytes_[at + kFileNumberOffset]) == fileNumber) {
            std::memcpy(bytes_.data() + at + kFirstDateOffset, firstDate.data(), firstDate.size());
            std::memcpy(bytes_.data() + at + kLastDateOffset, lastDate.data(), lastDate.size());
        }
    }
}

}  // namespace msdb
