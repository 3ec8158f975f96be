// Changes to one directory that reach its files all at once, and the recovery of a run that was
// stopped while it made them (msdb/Journal.h tells the journal that makes both possible).
//
// Commit lists every change in the journal and syncs it, writes each new file to a temporary
// beside it, appends in place to the files that grow, then makes all of them durable with one
// sync and renames the journal to mark the commit. Only then does it move the temporaries to
// their names (MASTER last), remove what is removed and remove the journal. A run stopped before
// the mark leaves the directory's files as they were once the next run has removed its
// temporaries and cut the appended files back; one stopped after it leaves what the next run
// finishes. Nothing but the files that a journal lists (and the temporaries of a run that staged
// its files, which its journal names by their ending) is ever touched by that next run.
//
// A large new file is staged: its bytes go to its temporary as the caller hands them over, so
// that it never sits in memory. The first file staged writes the start of the journal before
// any temporary is made; the commit adds the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/FileSystem.h"
#include "msdb/IndexSet.h"
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

// What a caller read of a file before it changes it: what GetInfo told of it, its first bytes,
// and the file itself when the caller opened it for update and kept it open.
struct FileAsRead {
    FileInfo info;
    std::string prefix;
    std::unique_ptr<UpdatableFile> file;
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

    // The file `name` of the directory (F<n>.DAT or F<n>.MWD, in any letter case) with `data`
    // appended at its end and its first `header.size()` bytes overwritten with `header`, in
    // place. `expectedLength` is its length when the caller read it: a file of another length
    // now, or one that is read-only, is refused before anything is written. The journal keeps its
    // length and first bytes, so that an undo puts it back exactly. A caller that has read the
    // file gives `asRead`, which spares the commit looking it up and reading it again; its length
    // is checked again when the file is written, through the file it kept open if any.
    void AppendToFile(std::string name, std::uint64_t expectedLength, std::string header,
                      std::string data, std::optional<FileAsRead> asRead = std::nullopt);

    // Adds `data` to the new contents of the file `name` of the directory (in any letter case: its
    // spelling is kept): a file that must not exist yet when `create`, else a whole replacement
    // keeping its permission bits, as CreateFile and ReplaceFile make them. The bytes go to the
    // file's temporary at once; calls for one name add them in order. The first call writes the
    // start of the journal, so that a run stopped at any point leaves nothing that the next run
    // does not remove. A failure spoils the transaction: every later call and Commit return it.
    [[nodiscard]] Status StageData(const std::string& name, bool create, std::string_view data);

    // Overwrites bytes that were staged for `name`, from `offset` (a header once the count of
    // records is known); refused when they reach past what was staged.
    [[nodiscard]] Status PatchStaged(const std::string& name, std::uint64_t offset,
                                     std::string_view data);

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

    // Undoes what a transaction that will not commit has made so far (staged files, the start of
    // its journal); leftovers() then names what could not be removed. Nothing after a commit.
    void Abandon();

    // Told by Commit, every so many files, how many of those it appends to and moves to their
    // names are done, of how many: a run may change tens of thousands.
    void SetProgress(std::function<void(std::size_t done, std::size_t total)> progress) {
        progress_ = std::move(progress);
    }

    bool committed() const { return committed_; }
    // Committed, and every file in place: no journal is left.
    bool finished() const { return finished_; }
    // The commit was marked but could neither be made durable nor taken back: the files stay as
    // they are and the next run decides, from what is on disk, whether to finish or undo.
    bool undecided() const { return undecided_; }
    // After a Commit that did not commit: the files of the directory that it made and could not
    // remove, or appended to and could not put back, which the next run removes or puts back
    // (the journal lists them). Empty when the directory is exactly as it was.
    const std::vector<std::string>& leftovers() const { return leftovers_; }

private:
    struct Write {
        Write(std::string name_, std::string data_, bool create_)
            : name(std::move(name_)), data(std::move(data_)), create(create_) {}

        std::string name;
        std::string data;
        std::string temporary;  // decided by Plan
        std::optional<std::uint32_t> permissions;
        bool create = false;  // must not exist yet
        bool link = false;
        bool backup = false;  // name + kBackupSuffix: it takes the bits of the file it keeps
    };

    // A file whose bytes went to its temporary (name + stageSuffix_) as they came. A run may
    // stage tens of thousands: it keeps no more than this.
    struct StagedFile {
        std::uint64_t size = 0;    // the bytes written so far
        std::uint32_t nameAt = 0;  // its name in stagedNames_
        std::uint16_t nameSize = 0;
        bool create = false;  // must not exist yet
        std::optional<std::uint32_t> permissions;
    };

    // A run may append to tens of thousands of files: each keeps its texts in one string.
    struct Append {
        // Its name, new header and data, then its first headerSize bytes before the run (once
        // hasBefore).
        std::string bytes;
        std::uint64_t length = 0;
        std::optional<FileInfo> info;         // what the caller found of it, when it told
        std::unique_ptr<UpdatableFile> file;  // open for update, when the caller kept it
        std::uint32_t nameSize = 0;
        std::uint32_t headerSize = 0;
        std::uint32_t dataSize = 0;
        bool hasBefore = false;

        std::string_view name() const { return std::string_view(bytes).substr(0, nameSize); }
        std::string_view header() const {
            return std::string_view(bytes).substr(nameSize, headerSize);
        }
        std::string_view data() const {
            return std::string_view(bytes).substr(nameSize + headerSize, dataSize);
        }
        std::string_view before() const {
            return std::string_view(bytes).substr(std::size_t{nameSize} + headerSize + dataSize);
        }
    };

    std::vector<Write*> Writes();
    std::string_view NameOf(const StagedFile& staged) const {
        return std::string_view(stagedNames_).substr(staged.nameAt, staged.nameSize);
    }
    std::string TemporaryOf(const StagedFile& staged) const {
        return std::string(NameOf(staged)) + stageSuffix_;
    }
    Status Plan();
    Status BeginStaging();
    Status Staged(const std::string& name, bool create, std::size_t* index);
    Status OpenStaged(std::size_t index);
    Status CloseStaged();
    Status WriteJournal();
    Status AppendInPlace();
    Status PutBack(const JournalEntry& entry, bool* putBack);
    Status MarkCommitted();
    // The journal's entries: entries_, with those of the staged files (at stagedAt_) and of the
    // appended ones (at appendsAt_) among them.
    std::size_t EntryCount() const { return entries_.size() + staged_.size() + appends_.size(); }
    JournalEntry EntryAt(std::size_t i) const;
    static JournalEntry EntryOf(const Append& append);
    // Carries out the `count` entries that `entryAt` gives. Lists in `*done`, when given, the
    // files it put in place or removed, the journal last.
    Status Finish(std::size_t count, const std::function<JournalEntry(std::size_t)>& entryAt,
                  std::vector<std::string>* done);
    Status ReplaceThroughLink(const JournalEntry& entry, bool* moved);
    Status RecoverLegacy(const Journal& journal, Recovery* recovery);
    void Undo();
    std::string PathOf(const std::string& name) const { return JoinPath(directory_, name); }
    void Advance();

    FileSystem& fs_;
    std::string directory_;
    // A run may change tens of thousands of files: those lists that grow with it are deques, which
    // never hold room for as many again as they hold.
    std::vector<Write> creates_;
    std::vector<Write> replacements_;
    std::optional<Write> master_;
    std::vector<Write> backups_;
    std::vector<std::string> removals_;
    std::deque<Append> appends_;
    std::deque<StagedFile> staged_;
    std::string stagedNames_;  // those of staged_, one after the other
    // The indexes of staged_, found by name in any letter case: a run may stage tens of
    // thousands of files, and the set keeps no copy of their names.
    struct StagedName {
        using is_transparent = void;
        const Transaction* transaction;
        std::string_view operator[](std::size_t i) const {
            return transaction->NameOf(transaction->staged_[i]);
        }
        std::size_t operator()(std::string_view name) const;
        std::size_t operator()(std::size_t i) const { return (*this)((*this)[i]); }
        bool operator()(std::size_t a, std::size_t b) const { return a == b; }
        bool operator()(std::string_view a, std::size_t b) const;
        bool operator()(std::size_t a, std::string_view b) const { return (*this)(b, a); }
    };
    IndexSet<StagedName> stagedByName_{StagedName{this}};
    // The entries of the journal but for those of staged_ and appends_, which a run may have
    // tens of thousands of: EntryAt makes them as they are needed.
    std::vector<JournalEntry> entries_;
    std::size_t stagedAt_ = 0;
    std::size_t appendsAt_ = 0;
    std::optional<std::uint32_t> journalBits_;

    // Temporaries made so far: those of staged_, in its order, and then these.
    std::vector<std::string> made_;
    std::vector<std::size_t> appended_;  // those of appends_ appended to so far
    bool journal_ = false;               // KORVEX.JNL made
    // Staging: the ending of its temporaries, the directory's names when it began, the bytes of
    // the journal written then, the one temporary kept open, and the first failure.
    std::string stageSuffix_;
    NameIndex stageNames_;
    std::uint64_t journalSize_ = 0;
    // The one temporary of a staged file that is open: as it was made, to append to (created_),
    // or opened again to write anywhere in it (open_).
    std::unique_ptr<WritableFile> created_;
    std::unique_ptr<UpdatableFile> open_;
    std::size_t openIndex_ = 0;
    Status staging_;
    bool committed_ = false;
    bool finished_ = false;
    bool undecided_ = false;
    bool abandoned_ = false;
    std::vector<std::string> leftovers_;
    std::function<void(std::size_t, std::size_t)> progress_;
    std::size_t progressDone_ = 0;
    std::size_t progressTotal_ = 0;  // set by Commit
};

}  // namespace msdb
