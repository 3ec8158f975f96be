#include "tests/support/FaultyFileSystem.h"

namespace testing_support {
namespace {

// What the user is told an operation could not do, as the real file system says it.
std::string CannotDo(Operation operation, const std::string& what) {
    switch (operation) {
        case Operation::kOpenRead:
        case Operation::kOpenUpdate:
            return "Cannot open " + what;
        case Operation::kRead:
            return "Cannot read " + what;
        case Operation::kCreate:
            return "Cannot create " + what;
        case Operation::kAppend:
        case Operation::kWriteAt:
            return "Cannot write " + what;
        case Operation::kSync:
        case Operation::kSyncDirectory:
        case Operation::kSyncFiles:
            return "Cannot sync " + what;
        case Operation::kClose:
            return "Cannot close " + what;
        case Operation::kRename: {
            std::size_t space = what.find(' ');
            return "Cannot rename " + what.substr(0, space) + " to " + what.substr(space + 1);
        }
        case Operation::kRemove:
            return "Cannot remove " + what;
        case Operation::kList:
            return "Cannot list " + what;
        case Operation::kResolve:
            return "Cannot resolve " + what;
        case Operation::kIsDirectory:
        case Operation::kInfo:
            return "Cannot look at " + what;
        case Operation::kLock:
            return "Cannot lock " + what;
        case Operation::kTruncate:
            return "Cannot truncate " + what;
    }
    return "Cannot reach " + what;
}

}  // namespace

msdb::Status InjectedFailure(const std::string& what) {
    return msdb::Status::IoError(what + ": Input/output error");
}

msdb::Status FaultyFileSystem::Gate(Operation operation, const std::string& what) {
    ++count_;
    log_.push_back(std::string(OperationName(operation)) + " " + what);
    if (count_ == failAt_ || (stopAt_ != 0 && count_ >= stopAt_)) {
        failed_ = true;
        return InjectedFailure(CannotDo(operation, what));
    }
    return msdb::Status::Ok();
}

msdb::Status FaultyFileSystem::Write(Operation operation, const std::string& path,
                                     std::string_view data,
                                     const std::function<msdb::Status(std::string_view)>& write) {
    msdb::Status s = Gate(operation, path);
    if (!s.ok()) {
        // A failed write may still have put part of the data on disk.
        (void)write(data.substr(0, data.size() / 2));
        return s;
    }
    if (written_ + data.size() > diskSpace_) {
        failed_ = true;
        return msdb::Status::NoSpace("Cannot write " + path + ": No space left on device");
    }
    written_ += data.size();
    return write(data);
}

msdb::Status FaultyFileSystem::GatedAppend(const std::string& path, std::string_view data,
                                           msdb::WritableFile& file) {
    return Write(Operation::kAppend, path, data,
                 [&](std::string_view bytes) { return file.Append(bytes); });
}

msdb::Status FaultyFileSystem::GatedWriteAt(const std::string& path, std::uint64_t offset,
                                            std::string_view data, msdb::UpdatableFile& file) {
    return Write(Operation::kWriteAt, path, data,
                 [&](std::string_view bytes) { return file.WriteAt(offset, bytes); });
}

}  // namespace testing_support
