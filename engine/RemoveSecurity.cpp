#include "engine/RemoveSecurity.h"

#include <iostream>

#include "engine/Messages.h"
#include "engine/TargetDirectory.h"
#include "msdb/ContentHash.h"
#include "msdb/EMaster.h"
#include "msdb/MasterTree.h"
#include "msdb/SecurityFiles.h"
#include "msdb/XMaster.h"

namespace engine {
namespace {

class StderrNotifier final : public Notifier {
public:
    void ShowMessage(const std::string& text) override { std::cerr << "korvex: " << text << '\n'; }
};

// Commits what the removal decided and says how it went.
int Finish(TargetDirectory& target, const std::string& what, Notifier& notifier,
           RemovalReport* report, int fileNumber, bool inXMaster) {
    std::optional<std::string> problem = target.Commit(what);
    report->effect = target.Effect();
    if (problem) {
        notifier.ShowMessage(*problem);
    }
    if (!report->effect.committed) {
        return 1;
    }
    report->changed = true;
    report->fileNumber = fileNumber;
    report->inXMaster = inXMaster;
    return 0;
}

}  // namespace

int RemoveSecurity(const std::string& directory, const std::string& symbol,
                   const JobServices& services, RemovalReport* report, int codePage) {
    StderrNotifier stderrNotifier;
    msdb::FileSystem& fs =
        services.fileSystem != nullptr ? *services.fileSystem : msdb::FileSystem::Default();
    Notifier& notifier = services.notifier != nullptr ? *services.notifier : stderrNotifier;
    *report = RemovalReport{};
    report->directory = directory;

    TargetDirectory target(fs);
    std::optional<std::string> problem = target.Resolve(directory);
    if (!problem) {
        report->directory = target.path();
        problem = target.Lock(services.lockWait);
    }
    if (!problem && !target.recoveryMessage().empty()) {
        notifier.ShowMessage(target.recoveryMessage());
    }
    bool exists = false;
    if (!problem) {
        problem = target.LocateMaster(&exists);
    }
    if (!problem && !exists) {
        problem = messages::kNoMasterFile;
    }
    msdb::Master master;
    if (!problem) {
        problem = target.ReadMaster(&master);
    }
    if (!problem) {
        if (msdb::Status s = master.CheckConsistent(); !s.ok()) {
            problem = s.message();
        }
    }
    // An EMASTER beside MASTER is kept in step; one that does not agree with it stops the removal.
    std::optional<msdb::EMaster> emaster;
    if (!problem) {
        std::optional<std::string> name;
        msdb::Status s = msdb::FindEntryNoCase(fs, target.path(), msdb::kEMasterFileName, &name);
        if (s.ok() && name) {
            emaster.emplace();
            s = msdb::EMaster::Read(fs, msdb::JoinPath(target.path(), *name), &*emaster);
            if (s.ok()) {
                s = emaster->CheckAgrees(master);
            }
        }
        if (!s.ok()) {
            problem = s.message();
        }
    }
    // The securities past MASTER's 255, when the directory has an XMASTER.
    std::optional<msdb::XMaster> xmaster;
    if (!problem) {
        xmaster.emplace();
        if (msdb::Status s = msdb::ReadXMasterOf(fs, target.path(), &*xmaster); s.IsNotFound()) {
            xmaster.reset();
        } else if (!s.ok()) {
            problem = "The XMASTER file of " + target.path() + " cannot be read.\n" + s.message();
        }
    }
    std::vector<std::size_t> matches;
    std::vector<msdb::XMasterEntry> inXMaster;
    std::string stored;  // as MASTER holds it; a symbol the code page cannot write, it holds not
    const bool writable = !msdb::EncodeText(symbol, codePage, &stored);
    if (!problem) {
        for (std::size_t i = 1; writable && i <= master.RecordsPresent(); ++i) {
            if (msdb::SecurityIsExactly(master.Record(i), stored)) {
                matches.push_back(i);
            }
        }
        for (const msdb::XMasterEntry& entry :
             xmaster ? xmaster->Entries() : std::vector<msdb::XMasterEntry>{}) {
            if (writable && msdb::XMaster::Matches(entry, stored)) {
                inXMaster.push_back(entry);
            }
        }
        const std::size_t found = matches.size() + inXMaster.size();
        if (found == 0) {
            problem =
                "The Master file " + target.masterPath() + " lists no security " + symbol + ".";
        } else if (found > 1) {
            problem = std::to_string(found) + " securities of " + target.masterPath() +
                      (inXMaster.empty() ? "" : " and its XMASTER") + " are called " + symbol +
                      "; none was removed.";
        } else if (!inXMaster.empty()) {
            // Changing XMASTER calls for one that is whole.
            if (msdb::Status s = xmaster->Check(); !s.ok()) {
                problem = s.message();
            }
        }
    }
    if (problem) {
        notifier.ShowMessage(*problem);
        report->effect = target.Effect();
        return 1;
    }
    if (!inXMaster.empty()) {
        // MASTER and EMASTER stay as they are; XMASTER is backed up as XMASTER.BAK.
        const msdb::XMasterEntry& entry = inXMaster.front();
        report->symbol = msdb::DecodeText(entry.symbol, codePage);
        const std::size_t sizeBefore = xmaster->bytes().size();
        const std::uint64_t hashBefore = msdb::HashBytes(xmaster->bytes());
        xmaster->RemoveRecord(entry.recordNumber);
        bool shared = false;
        for (const msdb::XMasterEntry& other : xmaster->Entries()) {
            shared = shared || other.fileNumber == entry.fileNumber;
        }
        // An XMASTER may list tens of thousands of securities: its bytes are handed over, not
        // copied, and its backup is copied from the file.
        if (msdb::Status s = target.StageBackupOf(xmaster->path(), sizeBefore, hashBefore);
            !s.ok()) {
            notifier.ShowMessage(s.message());
            target.Release();
            report->effect = target.Effect();
            return 1;
        }
        target.transaction().ReplaceFile(msdb::FileNameOf(xmaster->path()), xmaster->TakeBytes());
        if (!shared) {
            target.transaction().RemoveFile(msdb::MwdFileName(entry.fileNumber));
            target.transaction().RemoveFile(msdb::DopFileName(entry.fileNumber));
        }
        return Finish(target, "removal", notifier, report, entry.fileNumber, true);
    }
    const std::string before(master.bytes());
    const std::uint8_t fileNumber = master.Record(matches.front())[msdb::kFileNumberOffset];
    {
        // The symbol as stored, which may differ from the one typed in case or trailing blanks.
        const auto record = master.Record(matches.front());
        std::string field(reinterpret_cast<const char*>(record.data()) + msdb::kSymbolOffset,
                          msdb::kSymbolFieldSize);
        field = field.substr(0, field.find('\0'));
        field.erase(field.find_last_not_of(' ') + 1);
        report->symbol = msdb::DecodeText(field, codePage);
    }
    master.RemoveRecord(matches.front());
    if (emaster) {
        const std::string emasterBefore(emaster->bytes());
        emaster->RemoveRecord(matches.front(), master);
        const std::string name = msdb::FileNameOf(emaster->path());
        target.transaction().ReplaceFile(name, std::string(emaster->bytes()));
        target.transaction().AddBackup(name, emasterBefore);
    }
    if (master.RecordsOfFileNumber(fileNumber).empty()) {
        target.transaction().RemoveFile(msdb::DatFileName(fileNumber));
        target.transaction().RemoveFile(msdb::DopFileName(fileNumber));
    }
    target.transaction().SetMaster(msdb::FileNameOf(target.masterPath()),
                                   std::string(master.bytes()), true, before);
    return Finish(target, "removal", notifier, report, fileNumber, false);
}

}  // namespace engine
