#include "msdb/Reader.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace msdb {
namespace {

std::string TrimmedField(RecordBytes record, std::size_t offset, std::size_t width) {
    std::string text(reinterpret_cast<const char*>(record.data() + offset), width);
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

SecurityEntry DescribeSecurity(const std::string& directory, std::size_t recordNumber,
                               RecordBytes record) {
    SecurityEntry entry;
    entry.directory = directory;
    entry.recordNumber = recordNumber;
    entry.fileNumber = record[kFileNumberOffset];
    entry.recordLength = record[kRecordLengthOffset];
    entry.fieldCount = record[kFieldCountOffset];
    entry.symbol = TrimmedField(record, kSymbolOffset, kSymbolFieldSize);
    entry.name = TrimmedField(record, kNameOffset, kNameFieldSize);
    entry.firstDate = BytesAt(record.data() + kFirstDateOffset);
    entry.lastDate = BytesAt(record.data() + kLastDateOffset);
    return entry;
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
        for (PriceField field : kPriceFields) {
            std::string expected = "\"" + std::string(kPriceFieldLabels[field]) +
                                   (field == PriceField::kDate ? "\",0,0" : "\",4,4");
            if (line == expected) {
                found = static_cast<int>(Index(field));
            }
        }
        if (found <= last) {
            return std::nullopt;
        }
        fields.values[static_cast<std::size_t>(found)] = true;
        last = found;
    }
    if (!fields[PriceField::kDate]) {
        return std::nullopt;
    }
    return fields;
}

std::optional<FieldSet> FieldsFromCount(int fieldCount) {
    switch (fieldCount) {
        case 2:
            return FieldSet{{true, false, false, false, true, false, false}};
        case 3:
            return FieldSet{{true, false, false, false, true, true, false}};
        case 4:
            return FieldSet{{true, false, true, true, true, false, false}};
        case 5:
            return FieldSet{{true, false, true, true, true, true, false}};
        case 6:
            return FieldSet{{true, true, true, true, true, true, false}};
        case 7:
            return FieldSet{{true, true, true, true, true, true, true}};
        default:
            return std::nullopt;
    }
}

int CountFields(const FieldSet& fields) {
    int count = 0;
    for (bool on : fields.values) {
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

std::string IsoDateText(const CalendarDay& day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", day.year, day.month, day.day);
    return text;
}

std::string DateText(const CalendarDay& day, DateFormat format) {
    const std::string_view name = DateFormatName(format);
    std::string text;
    for (std::size_t i = 0; i < name.size();) {
        if (name[i] == '_') {
            text += '/';
            ++i;
            continue;
        }
        const std::string_view group = name.substr(i, 2);
        const int value = group == "CC"   ? day.year / 100
                          : group == "YY" ? day.year % 100
                          : group == "MM" ? day.month
                                          : day.day;
        char digits[8];
        std::snprintf(digits, sizeof digits, "%02d", value);
        text += digits;
        i += 2;
    }
    return text;
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
