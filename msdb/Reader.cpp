#include "msdb/Reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

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
    entry.period = static_cast<char>(record[kPeriodOffset]);
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
    char written[32] = "";
    const std::string name(MonthAbbreviation(day.month));
    const char* month = name.c_str();
    switch (format) {
        case DateFormat::M_D_CCYY:
            std::snprintf(written, sizeof written, "%d/%d/%04d", day.month, day.day, day.year);
            return written;
        case DateFormat::D_M_CCYY:
            std::snprintf(written, sizeof written, "%d/%d/%04d", day.day, day.month, day.year);
            return written;
        case DateFormat::CCYY_M_D:
            std::snprintf(written, sizeof written, "%04d/%d/%d", day.year, day.month, day.day);
            return written;
        case DateFormat::DD_MON_CCYY:
            std::snprintf(written, sizeof written, "%02d-%s-%04d", day.day, month, day.year);
            return written;
        case DateFormat::DD_MON_YY:
            std::snprintf(written, sizeof written, "%02d-%s-%02d", day.day, month, day.year % 100);
            return written;
        case DateFormat::MON_DD_CCYY:
            std::snprintf(written, sizeof written, "%s %02d %04d", month, day.day, day.year);
            return written;
        default:
            break;
    }
    const std::string_view layout = DateFormatName(format);
    std::string text;
    for (std::size_t i = 0; i < layout.size();) {
        if (layout[i] == '_') {
            text += '/';
            ++i;
            continue;
        }
        const std::string_view group = layout.substr(i, 2);
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

std::uint64_t MaxPriceFileSize(std::size_t recordLength) {
    constexpr std::uint64_t kMaxRecords = 65535;  // the header and 65,534 price records
    return (kMaxRecords + 1) * recordLength;
}

Status PriceFileReader::Open(FileSystem& fs, const std::string& path, std::size_t recordLength) {
    path_ = path;
    recordLength_ = std::max<std::size_t>(recordLength, 1);
    FileInfo info;
    Status s = fs.GetInfo(path, &info);
    if (s.ok()) {
        s = fs.OpenForRead(path, &file_);
    }
    if (!s.ok()) {
        return s;
    }
    size_ = info.size;
    left_ = std::min<std::uint64_t>(size_, MaxPriceFileSize(recordLength_));
    // The header word lies in the first four bytes, even when a record is shorter than that.
    std::string first(std::max(recordLength_, kFieldSize), '\0');
    std::size_t got = 0;
    s = file_->Read(static_cast<std::size_t>(std::min<std::uint64_t>(first.size(), left_)),
                    first.data(), &got);
    if (!s.ok()) {
        return s;
    }
    first.resize(got);
    left_ -= got;
    headerWhole_ = got >= recordLength_;
    if (got >= kFieldSize) {
        lastRecordNumber_ = ReadLastRecordNumber(first);
    }
    if (!headerWhole_) {
        trailing_ = got;
        left_ = 0;
        return Status::Ok();
    }
    block_ = first.substr(recordLength_);  // the start of the records, when a record is short
    return Status::Ok();
}

Status PriceFileReader::Next(std::string_view* record, bool* got) {
    constexpr std::size_t kBlockRecords = 4096;
    *got = false;
    if (at_ + recordLength_ > block_.size()) {
        block_.erase(0, at_);
        at_ = 0;
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left_, kBlockRecords * recordLength_));
        if (want > 0) {
            const std::size_t kept = block_.size();
            block_.resize(kept + want);
            std::size_t read = 0;
            Status s = file_->Read(want, block_.data() + kept, &read);
            block_.resize(kept + read);
            left_ = read < want ? 0 : left_ - read;
            if (!s.ok()) {
                return s;
            }
        }
        if (block_.size() < recordLength_) {
            trailing_ = block_.size();
            return Status::Ok();
        }
    }
    *record = std::string_view(block_).substr(at_, recordLength_);
    at_ += recordLength_;
    *got = true;
    return Status::Ok();
}

MbfBytes PriceFileReader::Value(std::string_view record, std::size_t field) {
    const std::size_t offset = field * kFieldSize;
    if (offset + kFieldSize > record.size()) {
        return MbfBytes{};  // a record length too short for its fields: nothing to read
    }
    return BytesAt(reinterpret_cast<const std::uint8_t*>(record.data()) + offset);
}

std::string FullNumber(float value) {
    // The shortest digits that read back the same come in exponent form ("4.8e+07"); they are
    // then written out with the decimal point moved and zeros added ("48000000"). Fixed notation
    // straight from to_chars would write a large value's exact binary digits instead of zeros.
    char text[32];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    const std::string_view scientific(text, static_cast<std::size_t>(result.ptr - text));
    const std::size_t e = scientific.find('e');
    std::string number;
    std::string digits;
    for (char c : scientific.substr(0, e)) {
        if (c == '-') {
            number += c;
        } else if (c != '.') {
            digits += c;
        }
    }
    int exponent = 0;
    const std::string_view power = scientific.substr(e + 1);
    std::from_chars(power.data() + (power.front() == '+' ? 1 : 0), power.data() + power.size(),
                    exponent);
    const int count = static_cast<int>(digits.size());
    if (exponent >= count - 1) {
        number += digits + std::string(static_cast<std::size_t>(exponent - (count - 1)), '0');
    } else if (exponent >= 0) {
        const auto point = static_cast<std::size_t>(exponent + 1);
        number += digits.substr(0, point) + "." + digits.substr(point);
    } else {
        number += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    return number;
}

}  // namespace msdb
