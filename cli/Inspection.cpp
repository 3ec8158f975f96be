#include "cli/Inspection.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "cli/Commands.h"

namespace cli {

std::optional<msdb::FieldSet> StoredFields(const msdb::SecurityEntry& security) {
    std::string dop;
    if (msdb::ReadWholeFile(
            Fs(), msdb::JoinPath(security.directory, msdb::DopFileName(security.fileNumber)), &dop)
            .ok()) {
        if (std::optional<msdb::FieldSet> fields = msdb::FieldsFromDop(dop)) {
            return fields;
        }
    }
    return msdb::FieldsFromCount(security.fieldCount);
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string IsoDate(const msdb::MbfBytes& date) {
    std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(date);
    return day ? msdb::IsoDateText(*day) : "-";
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

}  // namespace cli
