#include "msdb/Inspect.h"

#include <cmath>
#include <cstring>

namespace msdb {
namespace {

std::string TrimmedField(const std::uint8_t* record, std::size_t offset, std::size_t width) {
    std::string text(reinterpret_cast<const char*>(record + offset), width);
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

MbfBytes BytesAt(const std::uint8_t* p) {
    return MbfBytes{p[0], p[1], p[2], p[3]};
}

}  // namespace

std::size_t MasterFile::RecordsPresent() const {
    return bytes.size() < kMasterRecordSize ? 0 : bytes.size() / kMasterRecordSize - 1;
}

const std::uint8_t* MasterFile::Record(std::size_t i) const {
    return reinterpret_cast<const std::uint8_t*>(bytes.data()) + kMasterRecordSize * i;
}

std::size_t MasterFile::TrailingBytes() const {
    return bytes.size() % kMasterRecordSize;
}

Status ReadMasterFile(FileSystem& fs, const std::string& directory, MasterFile* master) {
    std::optional<std::string> path;
    Status s = LocateMaster(fs, directory.empty() ? std::string(".") : directory, &path);
    if (!s.ok()) {
        return s;
    }
    if (!path) {
        return Status::Error("No MASTER file in " + (directory.empty() ? "." : directory));
    }
    master->path = *path;
    s = ReadWholeFile(fs, *path, &master->bytes);
    if (!s.ok()) {
        return s;
    }
    master->headerWhole = master->bytes.size() >= kMasterRecordSize;
    master->header = master->headerWhole ? ReadMasterHeader(master->bytes) : MasterHeader{};
    return Status::Ok();
}

SecurityEntry DescribeSecurity(const std::string& directory, std::size_t recordNumber,
                               const std::uint8_t* record) {
    SecurityEntry entry;
    entry.directory = directory;
    entry.recordNumber = recordNumber;
    entry.fileNumber = record[kFileNumberOffset];
    entry.recordLength = record[kRecordLengthOffset];
    entry.fieldCount = record[kFieldCountOffset];
    entry.symbol = TrimmedField(record, kSymbolOffset, kSymbolFieldSize);
    entry.name = TrimmedField(record, kNameOffset, kNameFieldSize);
    entry.firstDate = BytesAt(record + kFirstDateOffset);
    entry.lastDate = BytesAt(record + kLastDateOffset);
    return entry;
}

void WalkMasterTree(
    FileSystem& fs, const std::string& startDirectory,
    const std::function<void(const std::string&, const Status&, const MasterFile&)>& onMaster,
    const std::function<void(const SecurityEntry&)>& onSecurity) {
    TreeGuard guard(fs, startDirectory);
    struct Pending {
        std::string directory;
        int depth;
    };
    std::vector<Pending> stack{{startDirectory, 0}};
    while (!stack.empty()) {
        Pending current = stack.back();
        stack.pop_back();
        MasterFile master;
        Status s = ReadMasterFile(fs, current.directory, &master);
        onMaster(current.directory, s, master);
        if (!s.ok()) {
            continue;
        }
        std::vector<Pending> children;
        std::string parent = current.directory;
        if (!parent.empty() && !IsPathSeparator(parent.back())) {
            parent += kPathSeparator;
        }
        for (std::size_t i = 1; i <= master.RecordsPresent(); ++i) {
            const std::uint8_t* record = master.Record(i);
            if (!IsSubdirectoryEntry(record)) {
                onSecurity(DescribeSecurity(current.directory, i, record));
            } else if (std::optional<std::string> child =
                           guard.Enter(parent, SubdirectoryName(record), current.depth + 1)) {
                children.push_back({*child, current.depth + 1});
            }
        }
        // Depth first in record order: the first sub-directory is visited next.
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
}

std::optional<FieldSet> FieldsFromDop(std::string_view dop) {
    FieldSet fields{};
    int last = -1;
    while (!dop.empty()) {
        std::size_t end = dop.find('\n');
        std::string_view line = dop.substr(0, end);
        dop = end == std::string_view::npos ? std::string_view() : dop.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        int found = -1;
        for (int i = 0; i < kPriceFieldCount; ++i) {
            std::string expected =
                "\"" + std::string(kPriceFieldLabels[i]) + (i == DATE ? "\",0,0" : "\",4,4");
            if (line == expected) {
                found = i;
            }
        }
        if (found <= last) {
            return std::nullopt;
        }
        fields[found] = true;
        last = found;
    }
    if (!fields[DATE]) {
        return std::nullopt;
    }
    return fields;
}

std::optional<FieldSet> FieldsFromCount(int fieldCount) {
    switch (fieldCount) {
        case 2:
            return FieldSet{true, false, false, false, true, false, false};
        case 3:
            return FieldSet{true, false, false, false, true, true, false};
        case 4:
            return FieldSet{true, false, true, true, true, false, false};
        case 5:
            return FieldSet{true, false, true, true, true, true, false};
        case 6:
            return FieldSet{true, true, true, true, true, true, false};
        case 7:
            return FieldSet{true, true, true, true, true, true, true};
        default:
            return std::nullopt;
    }
}

int CountFields(const FieldSet& fields) {
    int count = 0;
    for (bool on : fields) {
        count += on ? 1 : 0;
    }
    return count;
}

std::optional<CalendarDay> StoredDateToDay(const MbfBytes& date) {
    float value = FromMbf(date);
    if (!(value >= 610101.0f) || value > 1991231.0f || value != std::floor(value)) {
        return std::nullopt;
    }
    auto yymmdd = static_cast<long>(value);
    CalendarDay day{static_cast<int>(1900 + yymmdd / 10000), static_cast<int>(yymmdd / 100 % 100),
                    static_cast<int>(yymmdd % 100)};
    static constexpr int kDaysIn[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day.month < 1 || day.month > 12 || day.day < 1 || day.day > kDaysIn[day.month - 1] ||
        (day.month == 2 && day.day == 29 && day.year % 4 != 0)) {
        return std::nullopt;
    }
    return day;
}

std::size_t PriceFile::RecordsPresent() const {
    return recordLength == 0 || bytes.size() < recordLength ? 0 : bytes.size() / recordLength - 1;
}

std::uint16_t PriceFile::LastRecordNumber() const {
    return bytes.size() >= 4 ? ReadLastRecordNumber(bytes) : 0;
}

MbfBytes PriceFile::Value(std::size_t i, std::size_t field) const {
    const std::size_t offset = i * recordLength + 4 * field;
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        return MbfBytes{};  // a record length too short for its fields: nothing to read
    }
    return BytesAt(reinterpret_cast<const std::uint8_t*>(bytes.data()) + offset);
}

Status ReadPriceFile(FileSystem& fs, const std::string& path, std::size_t recordLength,
                     PriceFile* file) {
    file->path = path;
    file->recordLength = recordLength;
    return ReadWholeFile(fs, path, &file->bytes);
}

}  // namespace msdb
