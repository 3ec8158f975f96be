#include "cli/Inspection.h"

#include <charconv>
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

std::string Json(const nlohmann::ordered_json& value) {
    constexpr int kIndent = 2;
    return value.dump(kIndent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string IsoDate(const msdb::MbfBytes& date) {
    std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(date);
    return day ? msdb::IsoDateText(*day) : "-";
}

}  // namespace cli
