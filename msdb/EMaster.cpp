#include "msdb/EMaster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

namespace msdb {
namespace {

// Offsets inside an EMASTER record.
constexpr std::size_t kSignatureOffset = 0;  // "66"
constexpr std::size_t kFileNumberAt = 2;
constexpr std::size_t kFieldCountAt = 6;
constexpr std::size_t kFieldMaskAt = 7;
constexpr std::size_t kAutorunAt = 9;
constexpr std::size_t kSymbolAt = 11;
constexpr std::size_t kSymbolWidth = 14;
constexpr std::size_t kShortNameAt = 32;
constexpr std::size_t kShortNameWidth = 16;
constexpr std::size_t kPeriodAt = 60;
constexpr std::size_t kFirstDateAt = 64;
constexpr std::size_t kLastDateAt = 72;
constexpr std::size_t kFirstDayAt = 126;  // YYYYMMDD as a 32-bit integer
constexpr std::size_t kLongNameAt = 139;
constexpr std::size_t kLongNameWidth = 52;

void PutInt16(std::string* bytes, std::size_t at, std::uint16_t value) {
    (*bytes)[at] = static_cast<char>(value & 0xFF);
    (*bytes)[at + 1] = static_cast<char>(value >> 8);
}

void PutInt32(std::string* bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void PutText(std::string* bytes, std::size_t at, std::string_view text, std::size_t width) {
    text = text.substr(0, std::min(text.size(), width));
    std::memcpy(bytes->data() + at, text.data(), text.size());
}

// The dates of a record: the YYMMDD numbers as IEEE singles, and the first as YYYYMMDD.
void PutDates(std::string* bytes, std::size_t at, const MbfBytes& firstDate,
              const MbfBytes& lastDate) {
    const float first = FromMbf(firstDate);
    const float last = FromMbf(lastDate);
    std::memcpy(bytes->data() + at + kFirstDateAt, &first, sizeof first);
    std::memcpy(bytes->data() + at + kLastDateAt, &last, sizeof last);
    const auto yymmdd = static_cast<std::uint32_t>(std::lround(std::max(first, 0.0f)));
    PutInt32(bytes, at + kFirstDayAt, yymmdd == 0 ? 0 : yymmdd + 19000000);
}

}  // namespace

std::string MakeEMasterRecord(std::uint8_t fileNumber, int fieldCount, std::string_view symbol,
                              std::string_view name, const MbfBytes& firstDate,
                              const MbfBytes& lastDate, Period period) {
    std::string record(kEMasterRecordSize, '\0');
    record[kSignatureOffset] = '6';
    record[kSignatureOffset + 1] = '6';
    record[kFileNumberAt] = static_cast<char>(fileNumber);
    record[kFieldCountAt] = static_cast<char>(fieldCount);
    record[kFieldMaskAt] = static_cast<char>((1u << fieldCount) - 1);
    record[kAutorunAt] = ' ';
    PutText(&record, kSymbolAt, symbol, kSymbolWidth);
    auto trimmed = [](std::string_view text) {
        while (!text.empty() && text.back() == ' ') {
            text.remove_suffix(1);
        }
        return text;
    };
    name = trimmed(name);
    PutText(&record, kShortNameAt, trimmed(name.substr(0, std::min(name.size(), kShortNameWidth))),
            kShortNameWidth);
    record[kPeriodAt] = static_cast<char>(period);
    PutDates(&record, 0, firstDate, lastDate);
    if (name.size() > kShortNameWidth) {
        PutText(&record, kLongNameAt, name, kLongNameWidth);
    }
    return record;
}

EMaster::EMaster(std::string path) : path_(std::move(path)), bytes_(kEMasterRecordSize, '\0') {}

Status EMaster::Read(FileSystem& fs, const std::string& path, EMaster* emaster) {
    emaster->path_ = path;
    return ReadWholeFile(fs, path, &emaster->bytes_);
}

std::size_t EMaster::RecordsPresent() const {
    return bytes_.size() < kEMasterRecordSize ? 0 : bytes_.size() / kEMasterRecordSize - 1;
}

std::string EMaster::LongName(std::size_t i) const {
    if (i == 0 || i > RecordsPresent()) {
        return {};
    }
    std::string_view text =
        std::string_view(bytes_).substr(kEMasterRecordSize * i + kLongNameAt, kLongNameWidth);
    return std::string(text.substr(0, text.find('\0')));
}

Status EMaster::DamagedBecause(const std::string& why) const {
    return Status::Damaged("The EMASTER file " + path_ + " does not agree with MASTER:\n" + why +
                           "\nNothing was changed; the program that made the directory can "
                           "repair it.");
}

Status EMaster::CheckAgrees(const Master& master) const {
    if (bytes_.size() < kEMasterRecordSize || bytes_.size() % kEMasterRecordSize != 0) {
        return DamagedBecause("it is " + std::to_string(bytes_.size()) +
                              " bytes long, not a whole number of 192-byte records.");
    }
    const auto count = static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes_[0]) |
                                                  (static_cast<std::uint8_t>(bytes_[1]) << 8));
    if (count != master.header().recordCount || RecordsPresent() != master.RecordsPresent()) {
        return DamagedBecause("it counts " + std::to_string(count) + " records and holds " +
                              std::to_string(RecordsPresent()) + "; MASTER holds " +
                              std::to_string(master.RecordsPresent()) + ".");
    }
    for (std::size_t i = 1; i <= RecordsPresent(); ++i) {
        const auto number =
            static_cast<std::uint8_t>(bytes_[kEMasterRecordSize * i + kFileNumberAt]);
        if (number != master.Record(i)[kFileNumberOffset]) {
            return DamagedBecause("its record " + std::to_string(i) + " is file number " +
                                  std::to_string(number) + ", MASTER's is " +
                                  std::to_string(master.Record(i)[kFileNumberOffset]) + ".");
        }
    }
    return Status::Ok();
}

std::vector<std::string> EMaster::Differences(const Master& master) const {
    auto text = [](std::string_view field) {
        field = field.substr(0, field.find('\0'));
        while (!field.empty() && field.back() == ' ') {
            field.remove_suffix(1);
        }
        return std::string(field);
    };
    auto ieee = [&](std::size_t at) {
        float value = 0;
        std::memcpy(&value, bytes_.data() + at, sizeof value);
        return value;
    };
    std::vector<std::string> differences;
    for (std::size_t i = 1; i <= std::min(RecordsPresent(), master.RecordsPresent()); ++i) {
        RecordBytes m = master.Record(i);
        if (IsSubdirectoryEntry(m)) {
            continue;
        }
        const std::size_t at = kEMasterRecordSize * i;
        const std::string_view record = std::string_view(bytes_).substr(at, kEMasterRecordSize);
        const std::string where = "record " + std::to_string(i) + " gives ";
        auto field = [&](std::size_t offset, std::size_t width) {
            return text(std::string_view(reinterpret_cast<const char*>(m.data() + offset), width));
        };
        const std::string symbol = text(record.substr(kSymbolAt, kSymbolWidth));
        const std::string masterSymbol = field(kSymbolOffset, kSymbolFieldSize);
        if (symbol != masterSymbol.substr(0, kSymbolWidth)) {
            differences.push_back(where + "the symbol " + symbol + ", MASTER " + masterSymbol);
        }
        const std::string name = text(record.substr(kShortNameAt, kShortNameWidth));
        if (name != field(kNameOffset, kNameFieldSize)) {
            differences.push_back(where + "the name " + name + ", MASTER " +
                                  field(kNameOffset, kNameFieldSize));
        }
        if (static_cast<std::uint8_t>(record[kFieldCountAt]) != m[kFieldCountOffset]) {
            differences.push_back(where + std::to_string(static_cast<int>(record[kFieldCountAt])) +
                                  " fields, MASTER " + std::to_string(m[kFieldCountOffset]));
        }
        for (auto [offset, masterOffset, which] :
             {std::tuple{kFirstDateAt, kFirstDateOffset, "first"},
              std::tuple{kLastDateAt, kLastDateOffset, "last"}}) {
            MbfBytes mbf;
            std::copy_n(m.begin() + static_cast<std::ptrdiff_t>(masterOffset), 4, mbf.begin());
            if (ieee(at + offset) != FromMbf(mbf)) {
                differences.push_back(where + "another " + std::string(which) +
                                      " date than MASTER");
            }
        }
    }
    return differences;
}

void EMaster::SetHeader(const Master& master) {
    PutInt16(&bytes_, 0, static_cast<std::uint16_t>(master.header().recordCount));
    PutInt16(&bytes_, 2, static_cast<std::uint16_t>(master.header().highestFileNumber));
}

void EMaster::AddRecord(const Master& master, std::uint8_t fileNumber, int fieldCount,
                        std::string_view symbol, std::string_view name, const MbfBytes& firstDate,
                        const MbfBytes& lastDate, Period period) {
    bytes_ += MakeEMasterRecord(fileNumber, fieldCount, symbol, name, firstDate, lastDate, period);
    SetHeader(master);
}

void EMaster::ReplaceRecord(std::size_t i, std::uint8_t fileNumber, int fieldCount,
                            std::string_view symbol, std::string_view name,
                            const MbfBytes& firstDate, const MbfBytes& lastDate, Period period) {
    bytes_.replace(
        kEMasterRecordSize * i, kEMasterRecordSize,
        MakeEMasterRecord(fileNumber, fieldCount, symbol, name, firstDate, lastDate, period));
}

void EMaster::SetDates(std::uint8_t fileNumber, const MbfBytes& firstDate,
                       const MbfBytes& lastDate) {
    for (std::size_t i = 1; i <= RecordsPresent(); ++i) {
        const std::size_t at = kEMasterRecordSize * i;
        if (static_cast<std::uint8_t>(bytes_[at + kFileNumberAt]) == fileNumber) {
            PutDates(&bytes_, at, firstDate, lastDate);
        }
    }
}

void EMaster::RemoveRecord(std::size_t i, const Master& master) {
    bytes_.erase(kEMasterRecordSize * i, kEMasterRecordSize);
    SetHeader(master);
}

}  // namespace msdb
