// The directory a run changes: found, checked, locked against other runs and cleared of what a
// killed run left, before anything is decided. Shared by the conversion and the removal of a
// security.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/Transaction.h"

namespace engine {

class TargetDirectory {
public:
    explicit TargetDirectory(msdb::FileSystem& fs) : fs_(fs) {}

    // Makes `directory` (absolute, or taken from the current directory) the absolute path of an
    // existing directory. The message, when it cannot: "Path does not exist" only when nothing is
    // there; a file, a link loop or a directory that cannot be read says so.
    std::optional<std::string> Resolve(const std::string& directory);

    // Takes the directory's lock, waiting up to `wait` for another run to finish with it, then
    // starts the transaction, which first removes what a killed run left (unless `readOnly`: a
    // run that will not commit changes nothing). The message when not.
    std::optional<std::string> Lock(std::chrono::milliseconds wait, bool readOnly = false);

    // Finds MASTER (in any letter case): its path, or where a new one goes. Sets `*exists`.
    std::optional<std::string> LocateMaster(bool* exists);

    // Reads the MASTER that LocateMaster found. The message when it cannot be read.
    std::optional<std::string> ReadMaster(msdb::Master* master);

    const std::string& path() const { return path_; }
    const std::string& masterPath() const { return masterPath_; }
    msdb::Transaction& transaction() { return *transaction_; }
    // Drops the transaction, undoing it when it did not commit, and releases the lock.
    void Release();

private:
    msdb::FileSystem& fs_;
    std::string path_;
    std::string masterPath_;
    std::unique_ptr<msdb::DirectoryLock> lock_;
    std::unique_ptr<msdb::Transaction> transaction_;
};

}  // namespace engine
