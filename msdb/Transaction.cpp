#include "msdb/Transaction.h"

#include <algorithm>
#include <random>
#include <set>

#include "msdb/TransactionParts.h"

namespace msdb {

using namespace transaction_parts;

namespace {

constexpr std::string_view kLegacyOldSuffix = ".korvex-old";

// FNV-1a, as Korvex 1.4 wrote it into its journal to tell the MASTER of its commit.
std::uint64_t Fingerprint(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

}  // namespace

Transaction::Transaction(FileSystem& fs, std::string directory)
    : fs_(fs), directory_(std::move(directory)) {}

Transaction::~Transaction() {
    Abandon();
}

void Transaction::Abandon() {
    if (!committed_ && !undecided_ && !abandoned_) {
        abandoned_ = true;
        Undo();
    }
}

void Transaction::CreateFile(std::string name, std::string data) {
    creates_.emplace_back(std::move(name), std::move(data), true);
}

void Transaction::ReplaceFile(std::string name, std::string data) {
    replacements_.emplace_back(std::move(name), std::move(data), false);
}

void Transaction::AppendToFile(std::string name, std::uint64_t expectedLength, std::string header,
                               std::string data, std::optional<FileAsRead> asRead) {
    Append& append = appends_.emplace_back();
    append.bytes.reserve(name.size() + 2 * header.size() + data.size());
    append.bytes.append(name).append(header).append(data);
    append.length = expectedLength;
    append.nameSize = static_cast<std::uint32_t>(name.size());
    append.headerSize = static_cast<std::uint32_t>(header.size());
    append.dataSize = static_cast<std::uint32_t>(data.size());
    if (asRead) {
        append.info = asRead->info;
        append.file = std::move(asRead->file);
        if (asRead->prefix.size() >= header.size()) {
            append.bytes.append(asRead->prefix, 0, header.size());
            append.hasBefore = true;
        }
    }
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
    backup.backup = true;
    backups_.push_back(std::move(backup));
}

// In the order they reach their names: new files (which nothing lists yet), staged and replaced
// ones, MASTER, which makes them the directory's, and the backups.
std::vector<Transaction::Write*> Transaction::Writes() {
    std::vector<Write*> writes;
    writes.reserve(creates_.size() + replacements_.size() + 1 + backups_.size());
    for (Write& write : creates_) {
        writes.push_back(&write);
    }
    for (Write& write : replacements_) {
        writes.push_back(&write);
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
    NameIndex index;
    if (Status s = fs_.ForEachEntry(directory_, [&](std::string_view name) { index.Add(name); });
        !s.ok()) {
        return s;
    }
    index.Sort();
    if (Status s = CheckNoOtherJournal(directory_, index, journal_); !s.ok()) {
        return s;
    }
    // New files take the bits of the directory's MASTER.
    std::optional<std::uint32_t> masterBits;
    std::optional<std::string> masterName =
        master_ ? std::optional<std::string>(master_->name) : index.Find("MASTER");
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
    std::set<std::string> taken;  // the temporaries' names, beside those of the directory
    entries_.clear();
    entries_.reserve(1 + creates_.size() + replacements_.size() + 1 + backups_.size() +
                     removals_.size());
    if (!stageSuffix_.empty()) {
        entries_.push_back({JournalEntry::Kind::kStage, "", stageSuffix_, false, 0, ""});
    }
    const Write* const master = master_ ? &*master_ : nullptr;
    // Staged files are listed from staged_ itself (EntryAt): a run may stage tens of thousands.
    stagedAt_ = entries_.size() + creates_.size();
    // A file of the directory that a new one replaces: the bits it keeps, or why it may not be.
    auto replaceable = [this](const std::string& found, std::optional<std::uint32_t>* bits) {
        FileInfo info;
        if (Status s = fs_.GetInfo(PathOf(found), &info); !s.ok()) {
            return s;
        }
        if (info.kind != FileKind::kRegular) {
            return Status::IoError("Cannot replace " + PathOf(found) + ": Not a regular file");
        }
        if (IsReadOnly(info)) {
            return ReadOnlyRefusal(PathOf(found));
        }
        if (Status s = fs_.CheckReplaceable(PathOf(found)); !s.ok()) {
            return s;
        }
        *bits = info.permissions;
        return Status::Ok();
    };
    for (StagedFile& staged : staged_) {
        const std::optional<std::string> found = index.Find(NameOf(staged));
        if (found && staged.create) {
            return Status::Exists("Cannot create " + PathOf(std::string(NameOf(staged))) +
                                  ": File exists");
        }
        if (found) {
            if (Status s = replaceable(*found, &staged.permissions); !s.ok()) {
                return s;
            }
        }
    }
    for (Write* write : Writes()) {
        const std::optional<std::string> found = index.Find(write->name);
        if (found && write->create) {
            return Status::Exists("Cannot create " + PathOf(write->name) + ": File exists");
        }
        if (write != master) {
            write->permissions = masterBits;
            if (found) {
                write->name = *found;
                if (Status s = replaceable(*found, &write->permissions); !s.ok()) {
                    return s;
                }
            }
        }
        if (write->backup) {
            const std::string_view keeps =
                std::string_view(write->name).substr(0, write->name.size() - kBackupSuffix.size());
            for (Write* kept : Writes()) {
                if (!kept->backup && EqualsNoCase(kept->name, keeps)) {
                    write->permissions = kept->permissions;
                }
            }
        }
        // A temporary under a name that nothing in the directory has, the user's files included.
        std::string temporary = write->name + std::string(kTemporarySuffix);
        for (int n = 2; index.Find(temporary) || taken.count(Upper(temporary)) != 0; ++n) {
            if (n > kMaxTemporaryNumber) {
                return Status::Exists("No name is free for a temporary of " + PathOf(write->name));
            }
            temporary = write->name + std::string(kTemporarySuffix) + std::to_string(n);
        }
        taken.insert(Upper(temporary));
        write->temporary = temporary;
        entries_.push_back(
            {JournalEntry::Kind::kWrite, write->name, temporary, write->link, 0, ""});
    }
    // Appended files are listed from appends_ itself (EntryAt), as staged ones are.
    appendsAt_ = entries_.size();
    for (Append& append : appends_) {
        const std::optional<std::string> found = index.Find(append.name());
        const std::string path = PathOf(found.value_or(std::string(append.name())));
        if (!IsNameARunAppendsTo(append.name())) {
            return Status::IoError("Cannot append to " + path + ": not a price file");
        }
        FileInfo info;
        Status s = !found        ? Status::NotFound("Cannot append to " + path + ": No such file")
                   : append.info ? Status::Ok()
                                 : fs_.GetInfo(path, &info);
        if (!s.ok()) {
            return s;
        }
        if (append.info) {
            info = *append.info;
        }
        if (info.kind != FileKind::kRegular) {
            return Status::IoError("Cannot append to " + path + ": Not a regular file");
        }
        if (IsReadOnly(info)) {
            return ReadOnlyRefusal(path);
        }
        if (append.headerSize > append.length) {
            return Status::IoError("Cannot append to " + path + ": its new header is longer than " +
                                   std::to_string(append.length) + " bytes");
        }
        if (info.size != append.length) {
            return ChangedLength(path, info.size, append.length);
        }
        // The name as the directory spells it: the same bytes but for the case of letters.
        append.bytes.replace(0, append.nameSize, *found);
        append.nameSize = static_cast<std::uint32_t>(found->size());
        if (!append.hasBefore) {
            std::string before;
            if (s = ReadFilePrefix(fs_, path, append.headerSize, &before); !s.ok()) {
                return s;
            }
            append.bytes += before;
            append.hasBefore = true;
        }
    }
    for (const std::string& removal : removals_) {
        const std::optional<std::string> found = index.Find(removal);
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
        entries_.push_back({JournalEntry::Kind::kRemove, *found, "", false, 0, ""});
    }
    // A name listed twice would make a journal that no run reads back.
    std::vector<std::string_view> listed;
    listed.reserve(EntryCount());
    for (const JournalEntry& entry : entries_) {
        if (entry.kind != JournalEntry::Kind::kStage) {
            listed.emplace_back(entry.name);
        }
    }
    for (const StagedFile& staged : staged_) {
        listed.emplace_back(NameOf(staged));
    }
    for (const Append& append : appends_) {
        listed.emplace_back(append.name());
    }
    std::sort(listed.begin(), listed.end(),
              [](std::string_view a, std::string_view b) { return CompareNoCase(a, b) < 0; });
    const auto twice = std::adjacent_find(
        listed.begin(), listed.end(),
        [](std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; });
    if (twice != listed.end()) {
        return Status::IoError("Cannot change " + PathOf(std::string(*std::next(twice))) +
                               " twice in one run");
    }
    journalBits_ = masterBits;
    return Status::Ok();
}

Status Transaction::Commit() {
    auto fail = [this](Status s) {
        Undo();
        return s;
    };
    Status s = staging_;
    if (s.ok()) {
        s = CloseStaged();
    }
    // Nothing more is staged: the names of what was, and the directory's names as staging found
    // them, are let go before the commit lists the directory again and needs its room.
    stagedByName_.Clear();
    stageNames_ = NameIndex();
    if (s.ok()) {
        s = Plan();
    }
    if (!s.ok()) {
        return made_.empty() && staged_.empty() && !journal_ ? s : fail(s);
    }
    // The journal first, on disk before any file it lists is made or touched. Its name and those
    // of the temporaries reach the disk with one sync of the directory, which keeps the order in
    // which they were made; but bytes written into a file that is there may reach it at any
    // moment, so the journal's name must be there before the first of them.
    s = WriteJournal();
    if (s.ok() && !appends_.empty()) {
        s = fs_.SyncDirectory(directory_);
    }
    if (!s.ok()) {
        return fail(s);
    }
    const std::vector<Write*> writes = Writes();
    progressTotal_ = staged_.size() + writes.size() + appends_.size();
    for (Write* write : writes) {
        bool made = false;
        s = WriteNew(fs_, PathOf(write->temporary), write->data, write->permissions, &made, false);
        if (made) {
            made_.push_back(write->temporary);
        }
        if (!s.ok()) {
            return fail(s);
        }
    }
    if (s = AppendInPlace(); !s.ok()) {
        return fail(s);
    }
    // Everything the commit needs on disk before its mark, with one sync: the staged files'
    // temporaries, the new ones and the appended files.
    const FileNames written{progressTotal_, [&](std::size_t i) {
                                if (i < staged_.size()) {
                                    return TemporaryOf(staged_[i]);
                                }
                                i -= staged_.size();
                                return i < writes.size()
                                           ? writes[i]->temporary
                                           : std::string(appends_[i - writes.size()].name());
                            }};
    if (s = fs_.SyncFiles(directory_, written); !s.ok()) {
        return fail(s);
    }
    if (s = MarkCommitted(); !s.ok()) {
        return s;
    }
    committed_ = true;
    s = Finish(
        EntryCount(), [this](std::size_t i) { return EntryAt(i); },
        nullptr);  // only a recovery lists what it did
    finished_ = s.ok();
    return s;
}

// The whole journal, or the rest of the one that staging began, written and synced.
Status Transaction::WriteJournal() {
    const std::function<JournalEntry(std::size_t)> entryAt = [this](std::size_t i) {
        return EntryAt(i);
    };
    const std::size_t size = JournalTextSize(EntryCount(), entryAt);
    if (size > kMaxJournalSize) {
        // A journal that the next run would refuse could not undo or finish this one.
        return Status::IoError("Cannot change " + std::to_string(EntryCount()) + " files of " +
                               directory_ + " in one run: its journal would be " +
                               std::to_string(size) + " bytes long, more than the " +
                               std::to_string(kMaxJournalSize) + " that a journal may be.");
    }
    // Written a part at a time: a new journal from its start, or one whose start the staging
    // wrote from where that ends.
    const std::string path = PathOf(std::string(kJournalName));
    std::unique_ptr<WritableFile> created;
    std::unique_ptr<UpdatableFile> opened;
    Status s;
    if (!journal_) {
        s = fs_.CreateNew(path, &created, journalBits_);
        journal_ = s.ok();
    } else {
        s = fs_.OpenForUpdate(path, &opened);
    }
    if (!s.ok()) {
        return s;
    }
    std::uint64_t at = 0;
    s = WriteJournalText(EntryCount(), entryAt, true, [&](std::string_view part) {
        const std::uint64_t from = at;
        at += part.size();
        if (created) {
            return created->Append(part);
        }
        if (at <= journalSize_) {
            return Status::Ok();  // written when the staging began
        }
        const std::uint64_t skip = journalSize_ > from ? journalSize_ - from : 0;
        return opened->WriteAt(from + skip, part.substr(static_cast<std::size_t>(skip)));
    });
    if (s.ok()) {
        s = created ? created->Sync() : opened->Sync();
    }
    Status closed = created ? created->Close() : opened->Close();
    return s.ok() ? closed : s;
}

// Each appended file: its new records at its end, then its new header, not yet synced.
Status Transaction::AppendInPlace() {
    for (std::size_t index = 0; index < appends_.size(); ++index) {
        Append& append = appends_[index];
        const std::string path = PathOf(std::string(append.name()));
        std::unique_ptr<UpdatableFile> file = std::move(append.file);
        Status s = file ? Status::Ok() : fs_.OpenForUpdate(path, &file);
        FileInfo info;
        if (s.ok()) {
            s = file->Info(&info);
        }
        if (!s.ok()) {
            return s;
        }
        if (info.size != append.length) {
            return ChangedLength(path, info.size, append.length);
        }
        appended_.push_back(index);
        Advance();
        s = file->WriteAt(append.length, append.data());
        if (s.ok()) {
            s = file->WriteAt(0, append.header());
        }
        Status closed = file->Close();
        if (!s.ok() || !closed.ok()) {
            return s.ok() ? closed : s;
        }
    }
    return Status::Ok();
}

void Transaction::Advance() {
    constexpr std::size_t kEvery = 64;
    ++progressDone_;
    if (progress_ && progressTotal_ > 0 &&
        (progressDone_ % kEvery == 0 || progressDone_ == progressTotal_)) {
        progress_(std::min(progressDone_, progressTotal_), progressTotal_);
    }
}

// An appended file cut back to its length before the run, with its first bytes as they were then.
// A file that is gone, or shorter than that (another program's doing), is left alone.
Status Transaction::PutBack(const JournalEntry& entry, bool* putBack) {
    *putBack = false;
    const std::string path = PathOf(entry.name);
    FileInfo info;
    Status s = fs_.GetInfo(path, &info);
    if (s.IsNotFound() || (s.ok() && info.size < entry.length)) {
        return Status::Ok();
    }
    std::unique_ptr<UpdatableFile> file;
    if (s.ok()) {
        s = fs_.OpenForUpdate(path, &file);
    }
    if (!s.ok()) {
        return s;
    }
    s = file->Truncate(entry.length);
    if (s.ok()) {
        s = file->WriteAt(0, entry.header);
    }
    Status closed = file->Close();
    *putBack = s.ok() && closed.ok();
    return s.ok() ? closed : s;
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
    for (const StagedFile& staged : staged_) {
        leftovers_.push_back(TemporaryOf(staged));
    }
    leftovers_.insert(leftovers_.end(), made_.begin(), made_.end());
    for (std::size_t index : appended_) {
        leftovers_.emplace_back(appends_[index].name());
    }
    leftovers_.emplace_back(back ? kJournalName : kCommittedJournalName);
    return s;
}

// Moves each temporary that is still there to its name (a MASTER that is a link at its target),
// removes the files that go, and then the committed journal. Each step may have been done
// before, by a run that was stopped: one whose temporary is gone is.
JournalEntry Transaction::EntryAt(std::size_t i) const {
    if (i < stagedAt_) {
        return entries_[i];
    }
    i -= stagedAt_;
    if (i < staged_.size()) {
        const StagedFile& staged = staged_[i];
        return {JournalEntry::Kind::kWrite,
                std::string(NameOf(staged)),
                TemporaryOf(staged),
                false,
                0,
                ""};
    }
    i = i - staged_.size() + stagedAt_;
    if (i < appendsAt_) {
        return entries_[i];
    }
    if (i - appendsAt_ < appends_.size()) {
        return EntryOf(appends_[i - appendsAt_]);
    }
    return entries_[i - appends_.size()];
}

JournalEntry Transaction::EntryOf(const Append& append) {
    return {JournalEntry::Kind::kAppend, std::string(append.name()), "", false, append.length,
            std::string(append.before())};
}

Status Transaction::Finish(std::size_t count,
                           const std::function<JournalEntry(std::size_t)>& entryAt,
                           std::vector<std::string>* done) {
    for (std::size_t i = 0; i < count; ++i) {
        const JournalEntry entry = entryAt(i);
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
        if (moved && done != nullptr) {
            done->push_back(entry.name);
        }
        Advance();
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (entryAt(i).kind != JournalEntry::Kind::kRemove) {
            continue;
        }
        const JournalEntry entry = entryAt(i);
        Status s = fs_.Remove(PathOf(entry.name));
        if (s.ok() && done != nullptr) {
            done->push_back(entry.name);
        } else if (!s.ok() && !s.IsNotFound()) {
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
    if (done != nullptr) {
        done->emplace_back(kCommittedJournalName);
    }
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
    (void)CloseStaged();
    bool allGone = true;
    // The appended files first, put back and synced: until they are, the journal must stay.
    std::vector<std::string> putBack;
    std::vector<std::string> notPutBack;
    for (std::size_t index : appended_) {
        bool done = false;
        (void)PutBack(EntryOf(appends_[index]), &done);
        (done ? putBack : notPutBack).emplace_back(appends_[index].name());
    }
    appended_.clear();
    if (!putBack.empty()) {
        if (!fs_.SyncFiles(directory_, FileNames::Of(putBack)).ok()) {
            notPutBack.insert(notPutBack.end(), putBack.begin(), putBack.end());
        }
    }
    if (!notPutBack.empty()) {
        allGone = false;
        leftovers_.insert(leftovers_.begin(), notPutBack.begin(), notPutBack.end());
    }
    std::vector<std::string> notRemoved;
    auto remove = [&](const std::string& temporary) {
        Status s = fs_.Remove(PathOf(temporary));
        if (!s.ok() && !s.IsNotFound()) {
            notRemoved.push_back(temporary);
            allGone = false;
        }
    };
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
        remove(*it);
    }
    for (auto it = staged_.rbegin(); it != staged_.rend(); ++it) {
        remove(TemporaryOf(*it));
    }
    made_.clear();
    staged_.clear();
    stagedNames_.clear();
    leftovers_.insert(leftovers_.begin(), notRemoved.rbegin(), notRemoved.rend());
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
        return Finish(
            journal.entries.size(), [&journal](std::size_t i) { return journal.entries[i]; },
            &recovery->files);
    }
    // Stopped before its commit: the directory's files are as they were but for the temporaries
    // and the appended files, which are put back.
    recovery->action = Recovery::Action::kUndone;
    std::vector<std::string> temporaries;
    std::vector<std::string> putBack;
    for (const JournalEntry& entry : journal.entries) {
        if (entry.kind == JournalEntry::Kind::kWrite) {
            temporaries.push_back(entry.temporary);
        } else if (entry.kind == JournalEntry::Kind::kAppend) {
            bool done = false;
            if (s = PutBack(entry, &done); !s.ok()) {
                return s;
            }
            if (done) {
                putBack.push_back(entry.name);
                recovery->files.push_back(entry.name);
            }
        } else if (entry.kind == JournalEntry::Kind::kStage) {
            std::vector<std::string> names;
            if (s = fs_.ListDirectory(directory_, &names); !s.ok()) {
                return s;
            }
            std::sort(names.begin(), names.end());
            std::copy_if(names.begin(), names.end(), std::back_inserter(temporaries),
                         [&](const std::string& name) { return IsStagedTemporary(name, entry); });
        }
    }
    for (const std::string& temporary : temporaries) {
        s = fs_.Remove(PathOf(temporary));
        if (s.ok()) {
            recovery->files.push_back(temporary);
        } else if (!s.IsNotFound()) {
            return s;
        }
    }
    s = putBack.empty() ? fs_.SyncDirectory(directory_)
                        : fs_.SyncFiles(directory_, FileNames::Of(putBack));
    if (!s.ok()) {
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
