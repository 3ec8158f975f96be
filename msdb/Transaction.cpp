#include "msdb/Transaction.h"

#include <algorithm>

namespace msdb {
namespace {

constexpr std::string_view kJournalHeading = "korvex journal 1";

// FNV-1a: enough to tell the MASTER of a commit from the one before it.
std::uint64_t Fingerprint(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return hash;
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

Transaction::Transaction(FileSystem& fs, std::string directory)
    : fs_(fs), directory_(std::move(directory)) {}

Transaction::~Transaction() {
    if (!committed_) {
        Undo();
    }
}

Status Transaction::RecoverFromJournal() {
    const std::string journal = JoinPath(directory_, std::string(kJournalName));
    std::string text;
    Status s = ReadWholeFile(fs_, journal, &text);
    if (s.IsNotFound()) {
        return Status::Ok();
    }
    if (!s.ok()) {
        return s;
    }
    // "korvex journal 1", "master PATH FINGERPRINT", then "old NAME" for each file set aside.
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    bool committed = false;
    if (lines.size() >= 2 && lines[0] == kJournalHeading && lines[1].rfind("master ", 0) == 0) {
        const std::size_t space = lines[1].rfind(' ');
        const std::string masterPath = lines[1].substr(7, space - 7);
        std::string master;
        committed = ReadWholeFile(fs_, masterPath, &master).ok() &&
                    std::to_string(Fingerprint(master)) == lines[1].substr(space + 1);
    }
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (lines[i].rfind("old ", 0) != 0) {
            continue;
        }
        const std::string path = JoinPath(directory_, lines[i].substr(4));
        const std::string old = path + std::string(kOldSuffix);
        // A MASTER equal to the one before cannot tell the commit: a missing file says it.
        FileInfo info;
        const bool present = fs_.GetInfo(path, &info).ok();
        Status r = committed && present ? fs_.Remove(old) : fs_.Rename(old, path);
        if (!r.ok() && !r.IsNotFound()) {
            return r;
        }
    }
    if (s = fs_.SyncDirectory(directory_); !s.ok()) {
        return s;
    }
    if (s = fs_.Remove(journal); !s.ok()) {
        return s;
    }
    return fs_.SyncDirectory(directory_);
}

Status Transaction::RemoveLeftovers() {
    if (Status s = RecoverFromJournal(); !s.ok()) {
        return s;
    }
    std::vector<std::string> names;
    Status s = fs_.ListDirectory(directory_, &names);
    if (!s.ok()) {
        return s;
    }
    bool removed = false;
    for (const std::string& name : names) {
        // With the journal handled, an old file left is one whose transaction had committed.
        if (EndsWith(name, kTemporarySuffix) || EndsWith(name, kOldSuffix)) {
            if (Status r = fs_.Remove(JoinPath(directory_, name)); !r.ok()) {
                return r;
            }
            removed = true;
        }
    }
    return removed ? fs_.SyncDirectory(directory_) : Status::Ok();
}

void Transaction::CreateFile(std::string name, std::string data) {
    std::string path = JoinPath(directory_, name);
    files_.push_back({path, path + std::string(kTemporarySuffix), std::move(data), std::nullopt});
}

void Transaction::ReplaceFile(std::string name, std::string data) {
    std::string path = JoinPath(directory_, name);
    replacements_.push_back(
        {path, path + std::string(kTemporarySuffix), std::move(data), std::nullopt});
}

void Transaction::RemoveAfterCommit(std::string name) {
    removals_.push_back(JoinPath(directory_, name));
}

void Transaction::SetMaster(std::string path, std::string bytes, bool replaces,
                            std::optional<std::string> backup) {
    if (backup) {
        AddBackup(path, std::move(*backup));
        masterBackup_ = backups_.size() - 1;
    }
    master_ = Staged{std::move(path), {}, std::move(bytes), std::nullopt};
    masterReplaces_ = replaces;
}

void Transaction::AddBackup(const std::string& path, std::string bytes) {
    std::string backupPath = path + std::string(kBackupSuffix);
    backups_.push_back(
        {backupPath, backupPath + std::string(kTemporarySuffix), std::move(bytes), std::nullopt});
}

Status Transaction::WriteTemporary(Staged* staged) {
    std::unique_ptr<WritableFile> file;
    Status s = fs_.CreateNew(staged->temporary, &file, staged->permissions);
    if (!s.ok()) {
        return s;
    }
    written_.push_back(staged->temporary);
    s = file->Append(staged->data);
    if (s.ok()) {
        s = file->Sync();
    }
    Status closed = file->Close();
    return s.ok() ? closed : s;
}

Status Transaction::WriteJournal() {
    std::string text = std::string(kJournalHeading) + "\nmaster " + master_->path + " " +
                       std::to_string(Fingerprint(master_->data)) + "\n";
    for (const Staged& file : replacements_) {
        text += "old " + file.path.substr(file.path.find_last_of(kPathSeparator) + 1) + "\n";
    }
    Staged journal{JoinPath(directory_, std::string(kJournalName)), {}, text, std::nullopt};
    journal.temporary = journal.path;
    Status s = WriteTemporary(&journal);
    if (s.ok()) {
        journal_ = true;
        written_.erase(std::find(written_.begin(), written_.end(), journal.path));
        s = fs_.SyncDirectory(directory_);
    }
    return s;
}

void Transaction::Undo() {
    // Best effort: what is left here is ours alone; the next run finishes what fails here.
    for (const std::string& path : moved_) {
        (void)fs_.Remove(path);
    }
    for (const std::string& path : setAside_) {
        (void)fs_.Rename(path + std::string(kOldSuffix), path);
    }
    setAside_.clear();
    if (journal_ && fs_.SyncDirectory(directory_).ok()) {
        (void)fs_.Remove(JoinPath(directory_, std::string(kJournalName)));
        journal_ = false;
    }
    for (const std::string& path : written_) {
        (void)fs_.Remove(path);
    }
    moved_.clear();
    written_.clear();
}

Status Transaction::Commit() {
    auto fail = [this](Status s) {
        Undo();
        return s;
    };
    if (master_) {
        if (masterReplaces_) {
            // A MASTER that is a symbolic link is replaced where it points, and keeps its bits.
            std::string target;
            if (Status s = fs_.CanonicalPath(master_->path, &target); !s.ok()) {
                return fail(s);
            }
            FileInfo info;
            if (Status s = fs_.GetInfo(target, &info); !s.ok()) {
                return fail(s);
            }
            master_->path = target;
            master_->permissions = info.permissions;
            if (masterBackup_) {
                backups_[*masterBackup_].permissions = info.permissions;
            }
        }
        master_->temporary = master_->path + std::string(kTemporarySuffix);
    }
    for (Staged& file : replacements_) {
        // A replaced file keeps its permission bits.
        FileInfo info;
        if (fs_.GetInfo(file.path, &info).ok()) {
            file.permissions = info.permissions;
        }
    }
    for (std::vector<Staged>* staged : {&files_, &replacements_}) {
        for (Staged& file : *staged) {
            if (Status s = WriteTemporary(&file); !s.ok()) {
                return fail(s);
            }
        }
    }
    if (!replacements_.empty()) {
        // Each replaced file is set aside, not removed, until the commit; the journal lets the
        // next run finish or undo this if it is killed on the way.
        if (!master_) {
            return fail(Status::IoError("A replacement needs a new MASTER to commit it."));
        }
        if (Status s = WriteJournal(); !s.ok()) {
            return fail(s);
        }
        for (const Staged& file : replacements_) {
            if (Status s = fs_.Rename(file.path, file.path + std::string(kOldSuffix)); !s.ok()) {
                return fail(s);
            }
            setAside_.push_back(file.path);
            if (Status s = fs_.RenameNoReplace(file.temporary, file.path); !s.ok()) {
                return fail(s);
            }
            written_.erase(std::find(written_.begin(), written_.end(), file.temporary));
            moved_.push_back(file.path);
        }
    }
    for (const Staged& file : files_) {
        if (Status s = fs_.RenameNoReplace(file.temporary, file.path); !s.ok()) {
            return fail(s);
        }
        written_.erase(std::find(written_.begin(), written_.end(), file.temporary));
        moved_.push_back(file.path);
    }
    if (!files_.empty() || !replacements_.empty()) {
        if (Status s = fs_.SyncDirectory(directory_); !s.ok()) {
            return fail(s);
        }
    }
    // MASTER's temporaries come last, so that they exist for as short a time as can be.
    if (master_) {
        if (Status s = WriteTemporary(&*master_); !s.ok()) {
            return fail(s);
        }
    }
    for (Staged& backup : backups_) {
        if (Status s = WriteTemporary(&backup); !s.ok()) {
            return fail(s);
        }
    }
    if (master_) {
        Status s = masterReplaces_ ? fs_.Rename(master_->temporary, master_->path)
                                   : fs_.RenameNoReplace(master_->temporary, master_->path);
        if (!s.ok()) {
            return fail(s);
        }
        written_.erase(std::find(written_.begin(), written_.end(), master_->temporary));
    }
    committed_ = true;
    moved_.clear();
    for (const std::string& path : setAside_) {
        removals_.push_back(path + std::string(kOldSuffix));
    }
    setAside_.clear();

    // The directory is complete from here on; what follows can only be reported. One sync makes
    // the commit, the backup and the removals durable together.
    Status result;
    for (const Staged& backup : backups_) {
        Status s = fs_.Rename(backup.temporary, backup.path);
        if (s.ok()) {
            written_.erase(std::find(written_.begin(), written_.end(), backup.temporary));
        } else if (result.ok()) {
            result = s;
        }
    }
    bool oldsGone = true;
    for (const std::string& path : removals_) {
        Status s = fs_.Remove(path);
        if (!s.ok() && !s.IsNotFound()) {
            oldsGone = oldsGone && !EndsWith(path, kOldSuffix);
            if (result.ok()) {
                result = s;
            }
        }
    }
    if (master_ && DirectoryOf(master_->path) != directory_) {
        if (Status s = fs_.SyncDirectory(DirectoryOf(master_->path)); !s.ok() && result.ok()) {
            result = s;
        }
    }
    if (Status s = fs_.SyncDirectory(directory_); !s.ok() && result.ok()) {
        result = s;
    }
    if (journal_ && oldsGone) {
        // Once the old files are gone, the journal has nothing left to say; until then the next
        // run finishes what this one could not.
        Status s = fs_.Remove(JoinPath(directory_, std::string(kJournalName)));
        if (s.ok()) {
            journal_ = false;
            s = fs_.SyncDirectory(directory_);
        }
        if (!s.ok() && result.ok()) {
            result = s;
        }
    }
    for (const std::string& path : written_) {
        (void)fs_.Remove(path);
    }
    written_.clear();
    return result;
}

}  // namespace msdb
