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

}  // namespace cli
