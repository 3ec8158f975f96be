#include "engine/TargetDirectory.h"

#include <thread>

#include "engine/Messages.h"

namespace engine {
namespace {

constexpr std::chrono::milliseconds kLockRetry{50};

}  // namespace

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
        return std::nullopt;
    }
    if (msdb::Status s = transaction_->RemoveLeftovers(); !s.ok()) {
        return "What an interrupted conversion left in " + path_ + " could not be removed.\n" +
               s.message();
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
    return std::nullopt;
}

void TargetDirectory::Release() {
    transaction_.reset();
    lock_.reset();
}

}  // namespace engine
