#include "ui/SecurityList.h"

#include "msdb/CodePage.h"
#include "msdb/EMaster.h"
#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/Reader.h"
#include "msdb/SecurityFiles.h"
#include "msdb/XMaster.h"

namespace ui {
namespace {

std::string IsoDateOrEmpty(const msdb::MbfBytes& date) {
    const std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(date);
    return day ? msdb::IsoDateText(*day) : std::string();
}

// The price records that the header of the price file at `path` counts; the rest of the file is
// not read.
std::optional<int> RecordsOf(msdb::FileSystem& fs, const std::string& path) {
    std::string header;
    if (!msdb::ReadFilePrefix(fs, path, msdb::kFieldSize, &header).ok() ||
        header.size() < msdb::kFieldSize) {
        return std::nullopt;
    }
    const int lastRecordNumber = msdb::ReadLastRecordNumber(header);
    if (lastRecordNumber < 1) {
        return std::nullopt;  // the header counts itself: zero is no count
    }
    return lastRecordNumber - 1;
}

// The MASTER of `directory`, read and found sound, or the reason why not.
std::optional<std::string> ReadMasterOf(msdb::FileSystem& fs, const std::string& directory,
                                        msdb::Master* master) {
    if (directory.empty()) {
        return "Type the directory that holds the security.";
    }
    msdb::FileInfo info;
    if (msdb::Status s = fs.GetInfo(directory, &info); !s.ok()) {
        return s.IsNotFound() ? "The directory " + directory + " does not exist."
                              : "The directory cannot be read: " + s.message();
    }
    if (info.kind != msdb::FileKind::kDirectory) {
        return directory + " is a file, not a directory.";
    }
    std::optional<std::string> path;
    if (msdb::Status s = msdb::LocateMaster(fs, directory, &path); !s.ok()) {
        return "The directory cannot be read: " + s.message();
    }
    if (!path) {
        return "The directory " + directory + " holds no MASTER.";
    }
    if (msdb::Status s = msdb::Master::Read(fs, *path, master); !s.ok()) {
        return s.message();
    }
    if (msdb::Status s = master->CheckConsistent(); !s.ok()) {
        return s.message();
    }
    return std::nullopt;
}

}  // namespace

std::vector<ListedSecurity> ListSecurities(const std::string& directory, int codePage,
                                           std::string* problem) {
    msdb::FileSystem& fs = msdb::FileSystem::Default();
    problem->clear();
    msdb::Master master;
    if (std::optional<std::string> why = ReadMasterOf(fs, directory, &master)) {
        *problem = *why;
        return {};
    }
    // EMASTER holds in full the names longer than MASTER's 16 characters; without a readable one,
    // the short names stand.
    std::optional<msdb::EMaster> emaster;
    std::optional<std::string> emasterName;
    if (msdb::FindEntryNoCase(fs, directory, msdb::kEMasterFileName, &emasterName).ok() &&
        emasterName) {
        emaster.emplace();
        if (!msdb::EMaster::Read(fs, msdb::JoinPath(directory, *emasterName), &*emaster).ok()) {
            emaster.reset();
        }
    }

    std::vector<ListedSecurity> listed;
    for (std::size_t i = 1; i <= master.RecordsPresent(); ++i) {
        if (msdb::IsSubdirectoryEntry(master.Record(i))) {
            continue;
        }
        const msdb::SecurityEntry entry = msdb::DescribeSecurity(directory, i, master.Record(i));
        const std::string name = emaster ? emaster->LongName(i) : std::string();
        ListedSecurity security{msdb::DecodeText(entry.symbol, codePage),
                                msdb::DecodeText(name.empty() ? entry.name : name, codePage),
                                std::nullopt, IsoDateOrEmpty(entry.firstDate),
                                IsoDateOrEmpty(entry.lastDate)};
        if (entry.recordLength > 0) {
            security.records =
                RecordsOf(fs, msdb::JoinPath(directory, msdb::DatFileName(entry.fileNumber)));
        }
        listed.push_back(std::move(security));
    }
    // An XMASTER that cannot be read or is damaged lists nothing: the securities of MASTER are
    // still those a removal can take out.
    msdb::XMaster xmaster;
    if (msdb::ReadXMasterOf(fs, directory, &xmaster).ok() && xmaster.Check().ok()) {
        for (const msdb::XMasterEntry& entry : xmaster.Entries()) {
            listed.push_back(
                {msdb::DecodeText(entry.symbol, codePage), msdb::DecodeText(entry.name, codePage),
                 RecordsOf(fs, msdb::JoinPath(directory, msdb::MwdFileName(entry.fileNumber))),
                 IsoDateOrEmpty(entry.firstDate), IsoDateOrEmpty(entry.lastDate), true});
        }
    }
    return listed;
}

}  // namespace ui
