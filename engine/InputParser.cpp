// ConvertData: the input text, line by line, into price records.
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/Appender.h"
#include "engine/ConversionJob.h"
#include "engine/Messages.h"
#include "engine/TextInput.h"
#include "msdb/Master.h"

namespace engine {
namespace {

using enum msdb::PriceField;

constexpr std::size_t kMaxDateText = 19;

constexpr const char* kFieldNames[kPriceFieldCount] = {
    "date", "open price", "high price", "low price", "close price", "volume", "open interest"};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The stored form of a date field, or nothing when the text gives no day: no date at all, a month
// outside 1 to 12, or a year before 1961 or after 2099 as written.
std::optional<msdb::MbfBytes> StoredDate(std::string_view text, int format) {
    msdb::DateGroups groups = msdb::ReadDateGroups(text, format);
    int year = msdb::YearFrom1900(groups.year);
    if (!groups.present || groups.month < 1 || groups.month > 12 || year < 61 || year > 199) {
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
    float value = 0.0f;
    if (!ReadLeadingFloat(text, &value) || std::isnan(value) || std::isinf(value) ||
        std::fabs(value) >= 0x1p127f) {
        return std::nullopt;
    }
    return msdb::ToMbf(value);
}

// Counts the fields that could not be read and remembers where the first one was.
struct UnreadableFields {
    int count = 0;
    int line = 0;
    int field = 0;
    int column = 0;

    void Note(int atLine, int atField, int atColumn) {
        if (count++ == 0) {
            line = atLine;
            field = atField;
            column = atColumn;
        }
    }

    std::string Message() const {
        std::string where = std::string(kFieldNames[field]) + " in column " +
                            std::to_string(column + 1) + " of line " + std::to_string(line);
        if (count == 1) {
            return "1 field of the input file could not be read and was stored as 0:\nthe " +
                   where + ".";
        }
        return std::to_string(count) +
               " fields of the input file could not be read and were stored as 0;\nthe first is "
               "the " +
               where + ".";
    }
};

}  // namespace

std::uint8_t CConversionJob::LookUpFileNumber() {
    if (m_nFileNumber != 0) {
        return static_cast<std::uint8_t>(m_nFileNumber);
    }
    msdb::MasterRecord record{};
    std::string directory;
    (void)msdb::FindSecurity(*m_fs, m_szDirectory, m_szSymbol, &record, &directory);
    return record[msdb::kFileNumberOffset];
}

int CConversionJob::ConvertData() {
    // AddSecurity of this run knows the file number; a lookup by symbol could meet an older entry
    // of a MASTER whose header does not count all of its records.
    std::uint8_t fileNumber = LookUpFileNumber();

    std::unique_ptr<msdb::ReadableFile> file;
    msdb::Status s = m_fs->OpenForRead(m_strInputPath, &file);
    if (!s.ok()) {
        Tell("The input file cannot be opened.\n" + s.message());
        return 1;
    }
    LineReader reader(std::move(file));
    std::array<std::string, 20> slots;
    slots.fill("123");
    int recordCount = 0;
    bool dateCheckFailed = false;
    bool tooMany = false;
    UnreadableFields unreadable;
    msdb::MbfBytes firstDate{};
    msdb::MbfBytes lastDate{};
    char delimiter = m_szDelimiter.empty() ? ',' : m_szDelimiter[0];

    std::string_view piece;
    bool got = true;
    for (int skipped = 0; m_bSkipOn != 0 && skipped < m_nSkipRows && got; ++skipped) {
        s = reader.Next(&piece, &got);
        if (!s.ok()) {
            break;
        }
    }
    while (s.ok() && got) {
        s = reader.Next(&piece, &got);
        if (!s.ok() || !got) {
            break;
        }
        if (SplitFields(LineText(piece), delimiter, &slots) == 0) {
            continue;
        }
        if (recordCount == msdb::kMaxPriceRecords) {
            tooMany = true;
            break;
        }
        const std::string& dateField = slots[static_cast<std::size_t>(m_nFieldCol[DATE])];
        std::string_view dateText = std::string_view(dateField).substr(0, kMaxDateText);
        std::optional<msdb::MbfBytes> date = StoredDate(dateText, m_nDateFormat);
        if (!date) {
            unreadable.Note(reader.LineNumber(), DATE, m_nFieldCol[DATE]);
        }
        m_values[DATE] = date.value_or(msdb::MbfBytes{});
        if (recordCount == 0) {
            firstDate = m_values[DATE];
            bool allDigits = std::all_of(dateField.begin(), dateField.end(), IsDigit);
            if (msdb::IsNumericOnlyDateFormat(m_nDateFormat) && !allDigits) {
                Tell(messages::kNumericDateExpected);
                dateCheckFailed = true;
            } else if (!msdb::IsNumericOnlyDateFormat(m_nDateFormat) && allDigits) {
                Tell(messages::kSeparatedDateExpected);
                dateCheckFailed = true;
            }
        }
        lastDate = m_values[DATE];
        for (int i = OPEN; i <= OI; ++i) {
            m_values[i] = msdb::MbfBytes{};
            if (m_bFieldOn[i] == 0) {
                continue;
            }
            std::optional<msdb::MbfBytes> number =
                StoredNumber(slots[static_cast<std::size_t>(m_nFieldCol[i])]);
            if (!number) {
                unreadable.Note(reader.LineNumber(), i, m_nFieldCol[i]);
            }
            m_values[i] = number.value_or(msdb::MbfBytes{});
        }
        if (AppendRecord(fileNumber) != 0) {
            (void)ResetPriceFile(fileNumber);
            return 1;
        }
        ++recordCount;
    }
    if (!s.ok()) {
        m_appender.reset();
        (void)ResetPriceFile(fileNumber);
        Tell("The input file could not be read to its end.\n" + s.message());
        return 1;
    }
    if (FinishAppends() != 0) {
        (void)ResetPriceFile(fileNumber);
        return 1;
    }
    if (tooMany) {
        Tell(
            "The input file holds more than 65534 price records, and one security holds at most "
            "65534 price records.\nThe first 65534 were converted; the rest were left out.");
    }
    if (recordCount == 0) {
        Tell("The input file " + m_strInputPath + " holds no price records.");
        return 1;
    }
    if (unreadable.count > 0) {
        Tell(unreadable.Message());
    }
    int masterResult = UpdateMasterDates(firstDate, lastDate, fileNumber);
    if (masterResult == 0) {
        m_firstDate = firstDate;
        m_lastDate = lastDate;
    }
    int countResult = UpdateRecordCount(static_cast<std::uint16_t>(recordCount), fileNumber);
    if (m_bCountWritten) {
        m_nRecordCount = recordCount;
    } else {
        (void)ResetPriceFile(fileNumber);  // the header could not count them: drop them
    }
    return masterResult != 0 || countResult != 0 || dateCheckFailed || tooMany ||
                   unreadable.count > 0
               ? 1
               : 0;
}

}  // namespace engine
