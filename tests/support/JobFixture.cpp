#include "tests/support/JobFixture.h"

#include "msdb/Master.h"

namespace testing_support {

std::string OtherMasterRecord(int fileNumber, const std::string& symbol, const std::string& name) {
    msdb::MasterRecord record =
        msdb::MakeMasterRecord(static_cast<std::uint8_t>(fileNumber), 5, name, symbol,
                               msdb::ToMbf(990101.0f), msdb::ToMbf(991231.0f));
    return std::string(record.begin(), record.end());
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
