// Changes to one directory that reach its visible files all at once. Everything is prepared in
// temporaries beside the files it will become; Commit moves the new files to their names and then
// renames the new MASTER into place, the commit point. Until then the directory is as it was; a
// transaction that is dropped, or fails before the commit, removes every trace of itself. A kill
// between moving the new files and the commit can leave only those files, which no MASTER lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/FileSystem.h"
#include "msdb/Status.h"

namespace msdb {

// Every temporary of a transaction ends in this; no other program makes such names.
inline constexpr std::string_view kTemporarySuffix = ".korvex-tmp";

// While a transaction replaces files, each old one waits under its name and this ending until the
// commit is done; the journal (kJournalName) says which, and which MASTER makes the commit.
inline constexpr std::string_view kOldSuffix = ".korvex-old";
inline constexpr std::string_view kJournalName = "KORVEX.JNL";

// The name of the backup that a transaction leaves beside a MASTER it replaced.
inline constexpr std::string_view kBackupSuffix = ".BAK";

class Transaction {
public:
    // A transaction on `directory`, an absolute path the caller has locked.
    Transaction(FileSystem& fs, std::string directory);
    ~Transaction();

    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Removes the temporaries that a killed transaction left in the directory. When it was killed
    // while replacing files, its journal tells whether its MASTER was committed: if so the old
    // files go, else they are put back.
    [[nodiscard]] Status RemoveLeftovers();

    // A file `name` of the directory that must not exist yet, with `data`.
    void CreateFile(std::string name, std::string data);

    // A file `name` of the directory, which exists, replaced with `data` at the commit, keeping its
    // permission bits: until the new MASTER is in place the old file is kept, and put back if the
    // transaction fails.
    void ReplaceFile(std::string name, std::string data);

    // A file `name` of the directory to remove once the commit is done.
    void RemoveAfterCommit(std::string name);

    // The new MASTER, to be written to `path` (a symbolic link is followed: its target is
    // replaced, with its permission bits kept). `replaces` is false when there is no MASTER yet;
    // `backup`, when given, is written to `path` + ".BAK" at the commit.
    void SetMaster(std::string path, std::string bytes, bool replaces,
                   std::optional<std::string> backup);

    // `bytes` written to `path` + ".BAK" at the commit, as the backup of another file.
    void AddBackup(const std::string& path, std::string bytes);

    // Carries the transaction out. A failure before the commit point undoes what was done and
    // `committed()` stays false; a failure after it (syncing the directory, writing the backup,
    // removals) is reported, and `committed()` is true: the directory is complete.
    [[nodiscard]] Status Commit();

    bool committed() const { return committed_; }

private:
    struct Staged {
        std::string path;       // where the contents go
        std::string temporary;  // where they are written first
        std::string data;
        std::optional<std::uint32_t> permissions;
    };

    Status WriteTemporary(Staged* staged);
    Status WriteJournal();
    Status RecoverFromJournal();
    void Undo();

    FileSystem& fs_;
    std::string directory_;
    std::vector<Staged> files_;
    std::vector<Staged> replacements_;
    std::vector<std::string> removals_;
    std::optional<Staged> master_;
    bool masterReplaces_ = false;
    std::vector<Staged> backups_;
    std::optional<std::size_t> masterBackup_;  // which of backups_ is MASTER's

    std::vector<std::string> written_;   // temporaries made so far
    std::vector<std::string> moved_;     // new files moved to their names so far
    std::vector<std::string> setAside_;  // replaced files moved to their old names so far
    bool journal_ = false;
    bool committed_ = false;
};

}  // namespace msdb
