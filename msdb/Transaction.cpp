#include "msdb/Transaction.h"

#include <algorithm>
#include <random>
#include <set>

namespace msdb {
namespace {

constexpr int kMaxTemporaryNumber = 999;
constexpr std::uint32_t kWriteBits = 0222;
constexpr std::string_view kLegacyOldSuffix = ".korvex-old";

bool IsReadOnly(const FileInfo& info) {
    return (info.permissions & kWriteBits) == 0;
}

Status ReadOnlyRefusal(const std::string& path) {
    return Status::IoError("The file " + path +
                           " is read-only, and Korvex does not replace or remove a read-only "
                           "file: make it writable to go on.");
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return upper;
}

// The entry of `names` that is `name` in any letter case, the exact spelling first.
std::optional<std::string> Find(const std::vector<std::string>& names, std::string_view name) {
    if (std::find(names.begin(), names.end(), name) != names.end()) {
        return std::string(name);
    }
    auto it = std::find_if(names.begin(), names.end(),
                           [&](const std::string& entry) { return EqualsNoCase(entry, name); });
    return it == names.end() ? std::nullopt : std::optional<std::string>(*it);
}

// FNV-1a, as Korvex 1.4 wrote it into its journal to tell the MASTER of its commit.
std::uint64_t Fingerprint(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

// A file made new with `data`, synced and closed; `*made` says whether it was created.
Status WriteNew(FileSystem& fs, const std::string& path, std::string_view data,
                std::optional<std::uint32_t> permissions, bool* made) {
    std::unique_ptr<WritableFile> file;
    Status s = fs.CreateNew(path, &file, permissions);
    *made = s.ok();
    if (!s.ok()) {
        return s;
    }
    s = file->Append(data);
    if (s.ok()) {
        s = file->Sync();
    }
    Status closed = file->Close();
    return s.ok() ? closed : s;
}

}  // namespace

Transaction::Transaction(FileSystem& fs, std::string directory)
    : fs_(fs), directory_(std::move(directory)) {}

Transaction::~Transaction() {
    if (!committed_ && !undecided_) {
        Undo();
    }
}

void Transaction::CreateFile(std::string name, std::string data) {
    creates_.emplace_back(std::move(name), std::move(data), true);
}

void Transaction::ReplaceFile(std::string name, std::string data) {
    replacements_.emplace_back(std::move(name), std::move(data), false);
}

void Transaction::RemoveFile(std::string name) {
    removals_.push_back(std::move(name));
}

void Transaction::SetMaster(std::string name, std::string bytes, bool replaces,
                            std::optional<std::string> backup) {
    if (backup) {
        AddBackup(name, std::move(*backup));
    }
    master_.emplace(std::move(name), std::move(bytes), !replaces);
}

void Transaction::AddBackup(const std::string& name, std::string bytes) {
    Write backup(name + std::string(kBackupSuffix), std::move(bytes), false);
    backup.bitsOf = name;
    backups_.push_back(std::move(backup));
}

// In the order they reach their names: new files (which nothing lists yet), replaced ones,
// MASTER, which makes them the directory's, and the backups.
std::vector<Transaction::Write*> Transaction::Writes() {
    std::vector<Write*> writes;
    for (std::vector<Write>* list : {&creates_, &replacements_}) {
        for (Write& write : *list) {
            writes.push_back(&write);
        }
    }
    if (master_) {
        writes.push_back(&*master_);
    }
    for (Write& backup : backups_) {
        writes.push_back(&backup);
    }
    return writes;
}

// Decides every name, temporary and permission from one listing of the directory, and refuses
// what may not be done, before anything is written.
Status Transaction::Plan() {
    std::vector<std::string> names;
    if (Status s = fs_.ListDirectory(directory_, &names); !s.ok()) {
        return s;
    }
    for (std::string_view journal : {kJournalName, kCommittedJournalName}) {
        if (Find(names, journal)) {
            return Status::Exists("The directory " + directory_ + " holds the journal " +
                                  std::string(journal) + " of another run.");
        }
    }
    // New files take the bits of the directory's MASTER.
    std::optional<std::uint32_t> masterBits;
    std::optional<std::string> masterName =
        master_ ? std::optional<std::string>(master_->name) : Find(names, "MASTER");
    if (masterName && (!master_ || !master_->create)) {
        const std::string path = PathOf(*masterName);
        std::string target;
        FileInfo info;
        Status s = fs_.CanonicalPath(path, &target);
        if (s.ok()) {
            s = fs_.GetInfo(target, &info);
        }
        if (!s.ok()) {
            return s;
        }
        if (master_) {
            if (IsReadOnly(info)) {
                return ReadOnlyRefusal(path);
            }
            if (s = fs_.CheckReplaceable(target); !s.ok()) {
                return s;
            }
            master_->permissions = info.permissions;
            master_->link = target != path;
        }
        masterBits = info.permissions;
    }
    std::set<std::string> taken;
    for (const std::string& name : names) {
        taken.insert(Upper(name));
    }
    entries_.clear();
    const Write* const master = master_ ? &*master_ : nullptr;
    for (Write* write : Writes()) {
        const std::optional<std::string> found = Find(names, write->name);
        if (found && write->create) {
            return Status::Exists("Cannot create " + PathOf(write->name) + ": File exists");
        }
        if (write != master) {
            write->permissions = masterBits;
            if (found) {
                write->name = *found;
                FileInfo info;
                if (Status s = fs_.GetInfo(PathOf(*found), &info); !s.ok()) {
                    return s;
                }
                if (info.kind != FileKind::kRegular) {
                    return Status::IoError("Cannot replace " + PathOf(*found) +
                                           ": Not a regular file");
                }
                if (IsReadOnly(info)) {
                    return ReadOnlyRefusal(PathOf(*found));
                }
                if (Status s = fs_.CheckReplaceable(PathOf(*found)); !s.ok()) {
                    return s;
                }
                write->permissions = info.permissions;
            }
        }
        if (!write->bitsOf.empty()) {
            for (Write* kept : Writes()) {
                if (kept->bitsOf.empty() && EqualsNoCase(kept->name, write->bitsOf)) {
                    write->permissions = kept->permissions;
                }
            }
        }
        // A temporary under a name that nothing in the directory has, the user's files included.
        std::string temporary = write->name + std::string(kTemporarySuffix);
        for (int n = 2; taken.count(Upper(temporary)) != 0; ++n) {
            if (n > kMaxTemporaryNumber) {
                return Status::Exists("No name is free for a temporary of " + PathOf(write->name));
            }
            temporary = write->name + std::string(kTemporarySuffix) + std::to_string(n);
        }
        taken.insert(Upper(temporary));
        write->temporary = temporary;
        entries_.push_back({JournalEntry::Kind::kWrite, write->name, temporary, write->link});
    }
    for (const std::string& removal : removals_) {
        const std::optional<std::string> found = Find(names, removal);
        if (!found) {
            continue;
        }
        FileInfo info;
        if (Status s = fs_.GetInfo(PathOf(*found), &info); !s.ok()) {
            return s;
        }
        if (IsReadOnly(info)) {
            return ReadOnlyRefusal(PathOf(*found));
        }
        if (Status s = fs_.CheckReplaceable(PathOf(*found)); !s.ok()) {
            return s;
        }
        entries_.push_back({JournalEntry::Kind::kRemove, *found, "", false});
    }
    journalBits_ = masterBits;
    return Status::Ok();
}

Status Transaction::Commit() {
    if (Status s = Plan(); !s.ok()) {
        return s;
    }
    auto fail = [this](Status s) {
        Undo();
        return s;
    };
    // The journal first, on disk before any file it lists is made. Its name and theirs reach the
    // disk with one sync of the directory, which keeps the order in which they were made.
    Status s = WriteNew(fs_, PathOf(std::string(kJournalName)), JournalText(entries_), journalBits_,
                        &journal_);
    if (!s.ok()) {
        return fail(s);
    }
    for (Write* write : Writes()) {
        bool made = false;
        s = WriteNew(fs_, PathOf(write->temporary), write->data, write->permissions, &made);
        if (made) {
            made_.push_back(write->temporary);
        }
        if (!s.ok()) {
            return fail(s);
        }
    }
    if (s = fs_.SyncDirectory(directory_); !s.ok()) {
        return fail(s);
    }
    if (s = MarkCommitted(); !s.ok()) {
        return s;
    }
    committed_ = true;
    std::vector<std::string> done;
    s = Finish(entries_, &done);
    finished_ = s.ok();
    return s;
}

// The commit point: the journal renamed, and the rename on disk.
Status Transaction::MarkCommitted() {
    const std::string pending = PathOf(std::string(kJournalName));
    const std::string marked = PathOf(std::string(kCommittedJournalName));
    Status s = fs_.Rename(pending, marked);
    if (!s.ok()) {
        Undo();
        return s;
    }
    if (s = fs_.SyncDirectory(directory_); s.ok()) {
        journal_ = false;
        return s;
    }
    // The mark may or may not be on disk: take it back, so that the run is certainly not
    // committed, or, when even that fails, leave every file for the next run to decide.
    const bool back = fs_.Rename(marked, pending).ok();
    if (back && fs_.SyncDirectory(directory_).ok()) {
        Undo();
        return s;
    }
    undecided_ = true;
    leftovers_ = made_;
    leftovers_.emplace_back(back ? kJournalName : kCommittedJournalName);
    return s;
}

// Moves each temporary that is still there to its name (a MASTER that is a link at its target),
// removes the files that go, and then the committed journal. Each step may have been done
// before, by a run that was stopped: one whose temporary is gone is.
Status Transaction::Finish(const std::vector<JournalEntry>& entries,
                           std::vector<std::string>* done) {
    for (const JournalEntry& entry : entries) {
        if (entry.kind != JournalEntry::Kind::kWrite) {
            continue;
        }
        bool moved = true;
        Status s = entry.link ? ReplaceThroughLink(entry, &moved)
                              : fs_.Rename(PathOf(entry.temporary), PathOf(entry.name));
        if (s.IsNotFound() && !entry.link) {
            moved = false;
        } else if (!s.ok()) {
            return s;
        }
        if (moved) {
            done->push_back(entry.name);
        }
    }
    for (const JournalEntry& entry : entries) {
        if (entry.kind != JournalEntry::Kind::kRemove) {
            continue;
        }
        Status s = fs_.Remove(PathOf(entry.name));
        if (s.ok()) {
            done->push_back(entry.name);
        } else if (!s.IsNotFound()) {
            return s;
        }
    }
    // The journal goes only once all of it is on disk.
    if (Status s = fs_.SyncDirectory(directory_); !s.ok()) {
        return s;
    }
    if (Status s = fs_.Remove(PathOf(std::string(kCommittedJournalName))); !s.ok()) {
        return s;
    }
    done->emplace_back(kCommittedJournalName);
    // Everything is in place; should the journal's removal not reach the disk, the next run
    // finds nothing left to do but remove it again.
    (void)fs_.SyncDirectory(directory_);
    return Status::Ok();
}

// The MASTER that is a symbolic link: its target replaced through a temporary beside it, under a
// name of its own that no other run uses, so that a run stopped here leaves nothing there that
// stands in a later run's way. The temporary in the directory goes last: until then, a later run
// does this again.
Status Transaction::ReplaceThroughLink(const JournalEntry& entry, bool* moved) {
    const std::string temporary = PathOf(entry.temporary);
    std::string data;
    Status s = ReadWholeFile(fs_, temporary, &data);
    if (s.IsNotFound()) {
        *moved = false;
        return Status::Ok();
    }
    std::string target;
    FileInfo info;
    if (s.ok()) {
        s = fs_.CanonicalPath(PathOf(entry.name), &target);
    }
    if (s.ok()) {
        s = fs_.GetInfo(target, &info);
    }
    if (!s.ok()) {
        return s;
    }
    std::random_device random;
    const std::string beside = target + std::string(kTemporarySuffix) + "-" +
                               std::to_string(random()) + std::to_string(random());
    bool made = false;
    s = WriteNew(fs_, beside, data, info.permissions, &made);
    if (s.ok()) {
        s = fs_.Rename(beside, target);
    }
    if (!s.ok()) {
        if (made) {
            (void)fs_.Remove(beside);  // best effort: its name is its own
        }
        return s;
    }
    if (s = fs_.SyncDirectory(DirectoryOf(target)); !s.ok()) {
        return s;
    }
    return fs_.Remove(temporary);
}

void Transaction::Undo() {
    bool allGone = true;
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
        Status s = fs_.Remove(PathOf(*it));
        if (!s.ok() && !s.IsNotFound()) {
            leftovers_.insert(leftovers_.begin(), *it);
            allGone = false;
        }
    }
    made_.clear();
    // The journal stays while a temporary it lists does: the next run removes both.
    if (journal_) {
        if (allGone && fs_.Remove(PathOf(std::string(kJournalName))).ok()) {
            journal_ = false;
        } else {
            leftovers_.emplace_back(kJournalName);
        }
    }
    (void)fs_.SyncDirectory(directory_);  // the next run finds the same either way
}

Status Transaction::Recover(Recovery* recovery) {
    *recovery = Recovery{};
    Journal journal;
    Status s = ReadJournal(fs_, directory_, &journal);
    if (s.IsNotFound()) {
        return Status::Ok();
    }
    if (!s.ok()) {
        return s;
    }
    if (journal.state == Journal::State::kLegacy) {
        return RecoverLegacy(journal, recovery);
    }
    if (journal.state == Journal::State::kCommitted) {
        recovery->action = Recovery::Action::kFinished;
        return Finish(journal.entries, &recovery->files);
    }
    // Stopped before its commit: the directory's files are as they were but for the temporaries.
    recovery->action = Recovery::Action::kUndone;
    for (const JournalEntry& entry : journal.entries) {
        if (entry.kind != JournalEntry::Kind::kWrite) {
            continue;
        }
        s = fs_.Remove(PathOf(entry.temporary));
        if (s.ok()) {
            recovery->files.push_back(entry.temporary);
        } else if (!s.IsNotFound()) {
            return s;
        }
    }
    if (s = fs_.SyncDirectory(directory_); !s.ok()) {
        return s;
    }
    if (s = fs_.Remove(PathOf(journal.fileName)); !s.ok()) {
        return s;
    }
    recovery->files.push_back(journal.fileName);
    return fs_.SyncDirectory(directory_);
}

// Korvex 1.4 set each replaced file aside as NAME.korvex-old and told its commit by the
// fingerprint of the new MASTER.
Status Transaction::RecoverLegacy(const Journal& journal, Recovery* recovery) {
    std::string master;
    const bool committed = ReadWholeFile(fs_, PathOf(journal.legacyMaster), &master).ok() &&
                           std::to_string(Fingerprint(master)) == journal.legacyFingerprint;
    recovery->action = committed ? Recovery::Action::kFinished : Recovery::Action::kUndone;
    for (const std::string& name : journal.setAside) {
        const std::string old = PathOf(name + std::string(kLegacyOldSuffix));
        FileInfo info;
        const bool present = fs_.GetInfo(PathOf(name), &info).ok();
        Status s = committed && present ? fs_.Remove(old) : fs_.Rename(old, PathOf(name));
        if (s.ok()) {
            recovery->files.push_back(name);
        } else if (!s.IsNotFound()) {
            return s;
        }
    }
    if (Status s = fs_.SyncDirectory(directory_); !s.ok()) {
        return s;
    }
    if (Status s = fs_.Remove(PathOf(journal.fileName)); !s.ok()) {
        return s;
    }
    recovery->files.push_back(journal.fileName);
    return fs_.SyncDirectory(directory_);
}

}  // namespace msdb
