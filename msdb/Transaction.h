// Changes to one directory that reach its files all at once, and the recovery of a run that was
// stopped while it made them (msdb/Journal.h tells the journal that makes both possible).
//
// Commit lists every change in the journal and syncs it, writes each new file to a temporary
// beside it and syncs it, then renames the journal to mark the commit. Only then does it move the
// temporaries to their names (MASTER last), remove what is removed and remove the journal. A run
// stopped before the mark leaves the directory's files as they were, with temporaries that the
// next run removes; one stopped after it leaves what the next run finishes. Nothing but the files
// that a journal lists is ever touched by that next run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "msdb/FileSystem.h"
#include "msdb/Journal.h"
#include "msdb/Status.h"

namespace msdb {

// What was done about a run that a journal said was stopped.
struct Recovery {
    enum class Action { kNone, kUndone, kFinished };
    Action action = Action::kNone;
    // The files put in place or removed, the journal last.
    std::vector<std::string> files;
};

class Transaction {
public:
    // A transaction on `directory`, an absolute path the caller has locked.
    Transaction(FileSystem& fs, std::string directory);
    ~Transaction();

    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Finishes or undoes the run that a journal of the directory says was stopped, touching only
    // the files that the journal lists, and says which in `*recovery`. A journal that Korvex
    // cannot have written is refused (Damaged) and nothing is changed.
    [[nodiscard]] Status Recover(Recovery* recovery);

    // A file `name` of the directory that must not exist yet (in any letter case), with `data`.
    // It takes the permission bits of the directory's MASTER.
    void CreateFile(std::string name, std::string data);

    // The file `name` of the directory (in any letter case: its spelling is kept) replaced with
    // `data`, keeping its permission bits; made like CreateFile when there is none.
    void ReplaceFile(std::string name, std::string data);

    // The file `name` of the directory removed at the commit, when it is there.
    void RemoveFile(std::string name);

    // The directory's new MASTER, `name` being its spelling on disk. `replaces` is false when
    // there is no MASTER yet. A MASTER that is a symbolic link is replaced where it points, with
    // its permission bits kept. `backup`, when given, becomes name + ".BAK".
    void SetMaster(std::string name, std::string bytes, bool replaces,
                   std::optional<std::string> backup);

    // `bytes` written to name + ".BAK", as the backup of the file `name` (with its bits).
    void AddBackup(const std::string& name, std::string bytes);

    // Carries the transaction out. A file that the transaction would replace or remove and that
    // is read-only is refused before anything is written. A failure before the commit undoes what
    // was done: `committed()` stays false, and `leftovers()` names what could not be removed. A
    // failure after it is reported with `committed()` true and `finished()` false: the journal
    // stays for the next run, which finishes the work.
    [[nodiscard]] Status Commit();

    bool committed() const { return committed_; }
    // Committed, and every file in place: no journal is left.
    bool finished() const { return finished_; }
    // The commit was marked but could neither be made durable nor taken back: the files stay as
    // they are and the next run decides, from what is on disk, whether to finish or undo.
    bool undecided() const { return undecided_; }
    // After a Commit that did not commit: the files of the directory that it made and could not
    // remove, which the next run removes (the journal lists them). Empty when the directory is
    // exactly as it was.
    const std::vector<std::string>& leftovers() const { return leftovers_; }

private:
    struct Write {
        Write(std::string name_, std::string data_, bool create_)
            : name(std::move(name_)), data(std::move(data_)), create(create_) {}

        std::string name;
        std::string data;
        bool create = false;  // must not exist yet
        std::string temporary;
        std::optional<std::uint32_t> permissions;
        bool link = false;
        std::string bitsOf;  // a backup takes the bits of the file it keeps
    };

    std::vector<Write*> Writes();
    Status Plan();
    Status MarkCommitted();
    Status Finish(const std::vector<JournalEntry>& entries, std::vector<std::string>* done);
    Status ReplaceThroughLink(const JournalEntry& entry, bool* moved);
    Status RecoverLegacy(const Journal& journal, Recovery* recovery);
    void Undo();
    std::string PathOf(const std::string& name) const { return JoinPath(directory_, name); }

    FileSystem& fs_;
    std::string directory_;
    std::vector<Write> creates_;
    std::vector<Write> replacements_;
    std::optional<Write> master_;
    std::vector<Write> backups_;
    std::vector<std::string> removals_;
    std::vector<JournalEntry> entries_;
    std::optional<std::uint32_t> journalBits_;

    std::vector<std::string> made_;  // temporaries made so far
    bool journal_ = false;           // KORVEX.JNL made
    bool committed_ = false;
    bool finished_ = false;
    bool undecided_ = false;
    std::vector<std::string> leftovers_;
};

}  // namespace msdb
