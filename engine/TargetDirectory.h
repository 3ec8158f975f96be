// The directory a run changes: found, checked, locked against other runs, and with a stopped
// run's work finished or undone, before anything is decided. Shared by the conversion and the
// removal of a security.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/Transaction.h"

namespace engine {

// What a run did to its directory, beyond the work it was asked for.
struct DirectoryEffect {
    std::string directory;
    msdb::Recovery recovery;             // done first, about a run that was stopped
    bool committed = false;              // the run's change is made
    bool finished = false;               // and all of it is in place
    bool undecided = false;              // the commit could not be told: the next run decides
    std::vector<std::string> leftovers;  // files of a run that did not commit, left for the next
};

// The last words of a run that did not commit: "Nothing in DIR was changed." only when nothing
// was; else what is left and what the next run does with it.
std::string NotChangedMessage(const DirectoryEffect& effect);

class TargetDirectory {
public:
    explicit TargetDirectory(msdb::FileSystem& fs) : fs_(fs) {}

    // Makes `directory` (absolute, or taken from the current directory) the absolute path of an
    // existing directory. The message, when it cannot: "Path does not exist" only when nothing is
    // there; a file, a link loop or a directory that cannot be read says so.
    std::optional<std::string> Resolve(const std::string& directory);

    // Takes the directory's lock, waiting up to `wait` for another run to finish with it, then
    // starts the transaction, which first finishes or undoes a run that was stopped (unless
    // `readOnly`: a run that will not commit changes nothing). The message when not.
    std::optional<std::string> Lock(std::chrono::milliseconds wait, bool readOnly = false);

    // The message that tells what was done about a stopped run, or what a dry run would find to
    // do; empty when there was none.
    const std::string& recoveryMessage() const { return recoveryMessage_; }

    // Finds MASTER (in any letter case): its path, or where a new one goes. Sets `*exists`.
    std::optional<std::string> LocateMaster(bool* exists);

    // Reads the MASTER that LocateMaster found. The message when it cannot be read, or is
    // read-only: Korvex does not change a read-only MASTER.
    std::optional<std::string> ReadMaster(msdb::Master* master);

    // Commits the transaction. The message when it did not commit, or committed but could not
    // put everything in place.
    std::optional<std::string> Commit(const std::string& what);

    // What the run did to the directory, for the words that end it.
    DirectoryEffect Effect() const;

    // Stages the backup of the directory's file at `path` (its name + ".BAK"), copied from the
    // file a part at a time: a directory of 65,000 securities has an XMASTER of 9.7 MB. Refused
    // (Busy) when the file no longer has the size and the hash (msdb::HashBytes) that the run
    // read.
    [[nodiscard]] msdb::Status StageBackupOf(const std::string& path, std::size_t size,
                                             std::uint64_t hash);

    const std::string& path() const { return path_; }
    const std::string& masterPath() const { return masterPath_; }
    msdb::Transaction& transaction() { return *transaction_; }
    // Drops the transaction, undoing it when it did not commit, and releases the lock; Effect
    // still tells what the run did.
    void Release();

private:
    msdb::FileSystem& fs_;
    std::string path_;
    std::string masterPath_;
    std::unique_ptr<msdb::DirectoryLock> lock_;
    std::unique_ptr<msdb::Transaction> transaction_;
    msdb::Recovery recovery_;
    std::string recoveryMessage_;
    DirectoryEffect effect_;  // kept when the transaction is released
};

}  // namespace engine
