#include "tests/support/JobFixture.h"

#include <cstdio>

#include "msdb/Master.h"

namespace testing_support {

std::string OtherMasterRecord(int fileNumber, const std::string& symbol, const std::string& name) {
    msdb::MasterRecord record = msdb::MakeMasterRecord(
        static_cast<std::uint8_t>(fileNumber), 5, name, symbol, msdb::ToMbf(990101.0f),
        msdb::ToMbf(991231.0f), msdb::Period::kDaily);
    return std::string(record.begin(), record.end());
}

std::string DailyLines(int count, const std::string& values) {
    std::string lines;
    for (int day = 2; day < count + 2; ++day) {
        std::int16_t year = 0;
        std::int16_t month = 0;
        std::int16_t dayOfMonth = 0;
        msdb::DayNumberToYmd(static_cast<msdb::DayNumber>(day), &year, &month, &dayOfMonth);
        char date[16];
        std::snprintf(date, sizeof date, "%02d%02d%02d", month, dayOfMonth, year % 100);
        lines += date + values + "\n";
    }
    return lines;
}

std::string DirectoryEntry(int fileNumber, const std::string& directory) {
    std::string record(53, '\0');
    record[0] = static_cast<char>(fileNumber);
    std::string name = (directory + "           ").substr(0, 11);
    record.replace(7, 11, name);
    record.replace(18, 5, "<DIR>");
    return record;
}

std::string MasterWith(const std::vector<std::string>& records) {
    std::string master(53, '\0');
    master[0] = static_cast<char>(records.size());
    master[2] = static_cast<char>(records.size());
    for (const std::string& record : records) {
        master += record;
    }
    return master;
}

}  // namespace testing_support
