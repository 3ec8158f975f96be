#include "engine/TargetDirectory.h"

#include <thread>

#include "engine/Messages.h"
#include "msdb/ContentHash.h"
#include "msdb/Journal.h"
#include "msdb/SecurityFiles.h"

namespace engine {
namespace {

constexpr std::chrono::milliseconds kLockRetry{50};
constexpr std::uint32_t kWriteBits = 0222;
constexpr std::string_view kNotOurs =
    "\nIf no run of Korvex was stopped there, the journal is another program's: move it out of "
    "the directory.";

// "A", "A and B", "A, B and C".
// "A, B and C"; past ten names, the first ten and how many more: a run of a thousand securities
// leaves two thousand.
std::string NameList(const std::vector<std::string>& names) {
    constexpr std::size_t kShown = 10;
    const std::size_t shown = names.size() > kShown ? kShown : names.size();
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    if (shown < names.size()) {
        text += " and " + std::to_string(names.size() - shown) + " more";
    }
    return text;
}

std::string NextRun(const std::string& directory) {
    return "the next run into " + directory + " (or 'korvex-cli recover " + directory + "')";
}

}  // namespace

std::string NotChangedMessage(const DirectoryEffect& effect) {
    const std::string& directory = effect.directory;
    if (effect.undecided) {
        return "Whether the change was made could not be brought to disk: " + NextRun(directory) +
               " finishes or undoes it (" + NameList(effect.leftovers) + ").";
    }
    if (!effect.leftovers.empty()) {
        return "The files of " + directory + " are as they were, but " +
               NameList(effect.leftovers) +
               " of this run could not be removed: " + NextRun(directory) + " removes them.";
    }
    if (!effect.recovery.files.empty()) {
        return "Apart from that, nothing in " + directory + " was changed.";
    }
    return "Nothing in " + directory + " was changed.";
}

std::optional<std::string> TargetDirectory::Resolve(const std::string& directory) {
    path_ = directory;
    msdb::FileInfo info;
    msdb::Status s = directory.empty() ? msdb::Status::NotFound("") : fs_.GetInfo(directory, &info);
    if (s.IsNotFound()) {
        return std::string(messages::kPathDoesNotExist);
    }
    if (!s.ok()) {
        return "The directory " + directory + " cannot be used.\n" + s.message();
    }
    if (info.kind != msdb::FileKind::kDirectory) {
        return directory + " is not a directory.";
    }
    std::string absolute;
    if (s = fs_.CanonicalPath(directory, &absolute); !s.ok()) {
        return "The directory " + directory + " cannot be used.\n" + s.message();
    }
    path_ = absolute;
    return std::nullopt;
}

std::optional<std::string> TargetDirectory::Lock(std::chrono::milliseconds wait, bool readOnly) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        msdb::Status s = fs_.LockDirectory(path_, &lock_);
        if (s.ok()) {
            break;
        }
        if (!s.IsBusy()) {
            return "The directory could not be locked against other conversions.\n" + s.message();
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return "Another conversion is changing the directory " + path_ +
                   ".\nNothing was changed; try again when it has finished.";
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    transaction_ = std::make_unique<msdb::Transaction>(fs_, path_);
    if (readOnly) {
        // A dry run says what a real one would find, and fails where it would.
        msdb::Journal journal;
        const msdb::Status s = msdb::ReadJournal(fs_, path_, &journal);
        if (s.IsDamaged()) {
            return s.message() + std::string(kNotOurs);
        }
        if (s.ok()) {
            recoveryMessage_ = "A run into " + path_ + " was stopped " +
                               (journal.state == msdb::Journal::State::kCommitted
                                    ? "after its commit: a run that writes finishes it first."
                                    : "before its commit: a run that writes undoes it first.");
        }
        return std::nullopt;
    }
    const msdb::Status s = transaction_->Recover(&recovery_);
    const bool finished = recovery_.action == msdb::Recovery::Action::kFinished;
    if (!s.ok()) {
        std::string text = s.IsDamaged()
                               ? s.message() + std::string(kNotOurs)
                               : "The run that was stopped in " + path_ + " could not be " +
                                     (finished ? "finished" : "undone") + ".\n" + s.message();
        if (!recovery_.files.empty()) {
            text += "\nDone of it so far: " + NameList(recovery_.files) + ".";
        }
        return text;
    }
    if (recovery_.action != msdb::Recovery::Action::kNone) {
        recoveryMessage_ =
            finished ? "The run that was stopped in " + path_ + " after its commit was finished (" +
                           NameList(recovery_.files) + ")."
                     : "The run that was stopped in " + path_ + " before its commit was undone (" +
                           NameList(recovery_.files) + " removed).";
    }
    return std::nullopt;
}

std::optional<std::string> TargetDirectory::LocateMaster(bool* exists) {
    std::optional<std::string> found;
    if (msdb::Status s = msdb::LocateMaster(fs_, path_, &found); !s.ok()) {
        return s.message();
    }
    *exists = found.has_value();
    masterPath_ = found ? *found : msdb::JoinPath(path_, std::string(msdb::kMasterFileName));
    return std::nullopt;
}

std::optional<std::string> TargetDirectory::ReadMaster(msdb::Master* master) {
    if (msdb::Status s = msdb::Master::Read(fs_, masterPath_, master); !s.ok()) {
        return "The Master file " + masterPath_ + " cannot be read.\n" + s.message();
    }
    msdb::FileInfo info;
    if (fs_.GetInfo(masterPath_, &info).ok() && (info.permissions & kWriteBits) == 0) {
        return "The Master file " + masterPath_ +
               " is read-only, and Korvex does not change a read-only MASTER: make it writable "
               "to change the directory.";
    }
    return std::nullopt;
}

std::optional<std::string> TargetDirectory::Commit(const std::string& what) {
    const msdb::Status s = transaction_->Commit();
    if (!transaction_->committed()) {
        return "The " + what + " could not be written to " + path_ + ".\n" + s.message();
    }
    if (!transaction_->finished()) {
        return "The " + what + " is made, but not all of it is in place yet.\n" + s.message() +
               "\nThe next run into " + path_ + " (or 'korvex-cli recover " + path_ +
               "') puts the rest in place.";
    }
    return std::nullopt;
}

DirectoryEffect TargetDirectory::Effect() const {
    DirectoryEffect effect = effect_;  // what a released transaction did
    effect.directory = path_;
    effect.recovery = recovery_;
    if (transaction_) {
        effect.committed = transaction_->committed();
        effect.finished = transaction_->finished();
        effect.undecided = transaction_->undecided();
        effect.leftovers = transaction_->leftovers();
    }
    return effect;
}

msdb::Status TargetDirectory::StageBackupOf(const std::string& path, std::size_t size,
                                            std::uint64_t hash) {
    std::unique_ptr<msdb::ReadableFile> file;
    if (msdb::Status s = fs_.OpenForRead(path, &file); !s.ok()) {
        return s;
    }
    const std::string backup = msdb::FileNameOf(path) + std::string(msdb::kBackupSuffix);
    std::string buffer(std::size_t{64} * 1024, '\0');
    std::size_t copied = 0;
    std::uint64_t copiedHash = msdb::kHashStart;
    for (;;) {
        std::size_t got = 0;
        if (msdb::Status s = file->Read(buffer.size(), buffer.data(), &got); !s.ok()) {
            return s;
        }
        if (got == 0) {
            break;
        }
        const std::string_view bytes(buffer.data(), got);
        copied += got;
        copiedHash = msdb::HashBytes(bytes, copiedHash);
        if (msdb::Status s = transaction_->StageData(backup, false, bytes); !s.ok()) {
            return s;
        }
    }
    if (copied != size || copiedHash != hash) {
        return msdb::Status::Busy("The file " + path +
                                  " is not as when it was read: another program changed it.");
    }
    return msdb::Status::Ok();
}

void TargetDirectory::Release() {
    if (transaction_) {
        transaction_->Abandon();  // so that the effect names what could not be undone
        effect_ = Effect();
    }
    transaction_.reset();
    lock_.reset();
}

}  // namespace engine
