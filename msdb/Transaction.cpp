#include "msdb/Transaction.h"

#include <algorithm>

namespace msdb {
namespace {

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

Status Transaction::RemoveLeftovers() {
    std::vector<std::string> names;
    Status s = fs_.ListDirectory(directory_, &names);
    if (!s.ok()) {
        return s;
    }
    bool removed = false;
    for (const std::string& name : names) {
        if (EndsWith(name, kTemporarySuffix)) {
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

void Transaction::RemoveAfterCommit(std::string name) {
    removals_.push_back(JoinPath(directory_, name));
}

void Transaction::SetMaster(std::string path, std::string bytes, bool replaces,
                            std::optional<std::string> backup) {
    if (backup) {
        std::string backupPath = path + std::string(kBackupSuffix);
        backup_ = Staged{backupPath, backupPath + std::string(kTemporarySuffix), std::move(*backup),
                         std::nullopt};
    }
    master_ = Staged{std::move(path), {}, std::move(bytes), std::nullopt};
    masterReplaces_ = replaces;
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

void Transaction::Undo() {
    // Best effort: what is left here is ours alone and the next run removes the temporaries.
    for (const std::string& path : moved_) {
        (void)fs_.Remove(path);
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
            if (backup_) {
                backup_->permissions = info.permissions;
            }
        }
        master_->temporary = master_->path + std::string(kTemporarySuffix);
    }
    for (Staged& file : files_) {
        if (Status s = WriteTemporary(&file); !s.ok()) {
            return fail(s);
        }
    }
    for (const Staged& file : files_) {
        if (Status s = fs_.RenameNoReplace(file.temporary, file.path); !s.ok()) {
            return fail(s);
        }
        written_.erase(std::find(written_.begin(), written_.end(), file.temporary));
        moved_.push_back(file.path);
    }
    if (!files_.empty()) {
        if (Status s = fs_.SyncDirectory(directory_); !s.ok()) {
            return fail(s);
        }
    }
    // MASTER's temporaries come last, so that they exist for as short a time as can be.
    for (Staged* staged : {master_ ? &*master_ : nullptr, backup_ ? &*backup_ : nullptr}) {
        if (staged != nullptr) {
            if (Status s = WriteTemporary(staged); !s.ok()) {
                return fail(s);
            }
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

    // The directory is complete from here on; what follows can only be reported. One sync makes
    // the commit, the backup and the removals durable together.
    Status result;
    if (backup_) {
        result = fs_.Rename(backup_->temporary, backup_->path);
        if (result.ok()) {
            written_.erase(std::find(written_.begin(), written_.end(), backup_->temporary));
        }
    }
    for (const std::string& path : removals_) {
        if (Status s = fs_.Remove(path); !s.ok() && !s.IsNotFound() && result.ok()) {
            result = s;
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
    for (const std::string& path : written_) {
        (void)fs_.Remove(path);
    }
    written_.clear();
    return result;
}

}  // namespace msdb
