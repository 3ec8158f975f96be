#include "engine/InputParser.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/Messages.h"

namespace engine {
namespace {

// What a field slot holds before any line has filled it.
constexpr const char* kUnfilledSlot = "123";

constexpr PerField<const char*> kFieldNames = {
    {"date", "open price", "high price", "low price", "close price", "volume", "open interest"}};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The stored form of a date field, or nothing when the text gives no day: no date at all, a month
// outside 1 to 12, or a year before 1961 or after 2099 as written.
std::optional<msdb::MbfBytes> StoredDate(std::string_view text, DateFormat format) {
    constexpr int kFirstYear = 61;  // 1961, counted from 1900
    constexpr int kLastYear = 199;  // 2099
    msdb::DateGroups groups = msdb::ReadDateGroups(text, format);
    int year = msdb::YearFrom1900(groups.year);
    if (!groups.present || groups.month < 1 || groups.month > 12 || year < kFirstYear ||
        year > kLastYear) {
        return std::nullopt;
    }
    // The same day as DateTextToDayNumber gives, from the groups already read.
    msdb::DayNumber day = msdb::YmdToDayNumber(static_cast<std::int16_t>(groups.year),
                                               static_cast<std::int16_t>(groups.month),
                                               static_cast<std::int16_t>(groups.day));
    if (day == msdb::kNoDay) {
        return std::nullopt;
    }
    return msdb::DayNumberToMbfDate(day);
}

// The stored form of a number field, or nothing when the text does not start with a number or the
// number is not finite or too large for an MBF single.
std::optional<msdb::MbfBytes> StoredNumber(const std::string& text) {
    constexpr float kMbfLimit = 0x1p127f;
    float value = 0.0f;
    if (!ReadLeadingFloat(text, &value) || std::isnan(value) || std::isinf(value) ||
        std::fabs(value) >= kMbfLimit) {
        return std::nullopt;
    }
    return msdb::ToMbf(value);
}

}  // namespace

InputParser::InputParser(const ConversionSettings& settings,
                         std::unique_ptr<msdb::ReadableFile> file)
    : settings_(settings), reader_(std::move(file)) {
    slots_.fill(kUnfilledSlot);
}

const std::string& InputParser::Slot(PriceField field) const {
    return slots_[static_cast<std::size_t>(settings_.fields[field].column - 1)];
}

msdb::Status InputParser::NextLine(bool* got) {
    std::string_view piece;
    *got = false;
    if (!skipped_) {
        skipped_ = true;
        for (int skipped = 0; skipped < settings_.RowsToSkip(); ++skipped) {
            bool more = false;
            msdb::Status s = reader_.Next(&piece, &more);
            if (!s.ok() || !more) {
                return s;
            }
        }
    }
    for (;;) {
        bool more = false;
        msdb::Status s = reader_.Next(&piece, &more);
        if (!s.ok() || !more) {
            return s;
        }
        if (SplitFields(LineText(piece), settings_.delimiter, &slots_) != 0) {
            *got = true;
            return msdb::Status::Ok();
        }
    }
}

void InputParser::NoteUnreadable(PriceField field) {
    if (unreadable_.count++ == 0) {
        unreadable_.line = reader_.LineNumber();
        unreadable_.field = field;
        unreadable_.column = settings_.fields[field].column;
    }
}

PriceRecord InputParser::ReadRecord() {
    PriceRecord record;
    const std::string& dateField = Slot(PriceField::kDate);
    std::string_view dateText = std::string_view(dateField).substr(0, msdb::kMaxDateText);
    std::optional<msdb::MbfBytes> date = StoredDate(dateText, settings_.dateFormat);
    if (!date) {
        NoteUnreadable(PriceField::kDate);
    }
    record.values[PriceField::kDate] = date.value_or(msdb::MbfBytes{});
    if (recordsRead_++ == 0) {
        const bool allDigits = std::all_of(dateField.begin(), dateField.end(), IsDigit);
        const bool numericOnly = msdb::IsNumericOnlyDateFormat(settings_.dateFormat);
        if (numericOnly && !allDigits) {
            dateCheckMessage_ = messages::kNumericDateExpected;
        } else if (!numericOnly && allDigits) {
            dateCheckMessage_ = messages::kSeparatedDateExpected;
        }
    }
    for (PriceField field : msdb::kPriceFields) {
        if (field == PriceField::kDate || !settings_.fields[field].on) {
            continue;
        }
        std::optional<msdb::MbfBytes> number = StoredNumber(Slot(field));
        if (!number) {
            NoteUnreadable(field);
        }
        record.values[field] = number.value_or(msdb::MbfBytes{});
    }
    return record;
}

std::string InputParser::UnreadableMessage() const {
    std::string where = std::string(kFieldNames[unreadable_.field]) + " in column " +
                        std::to_string(unreadable_.column) + " of line " +
                        std::to_string(unreadable_.line);
    if (unreadable_.count == 1) {
        return "1 field of the input file could not be read, so nothing was converted:\nthe " +
               where + ".";
    }
    return std::to_string(unreadable_.count) +
           " fields of the input file could not be read, so nothing was converted;\nthe first is "
           "the " +
           where + ".";
}

}  // namespace engine
