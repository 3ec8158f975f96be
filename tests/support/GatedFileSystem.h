// A FileSystemWrapper that asks Gate before every operation, those on the files it opens
// included, so that a test file system decides only which operations fail and how.
#pragma once

#include <string>
#include <string_view>

#include "msdb/FileSystem.h"

namespace testing_support {

enum class Operation {
    kOpenRead,
    kRead,
    kCreate,
    kAppend,
    kSync,
    kClose,
    kRename,
    kRemove,
    kSyncDirectory,
    kList,
    kResolve,
    kIsDirectory,
    kInfo,
    kLock,
    kOpenUpdate,
    kWriteAt,
    kTruncate,
    kSyncFiles,
};

// The operation as the logs name it: "open-read", "append", "sync-dir" ...
std::string_view OperationName(Operation operation);

class GatedFileSystem : public msdb::FileSystemWrapper {
public:
    using FileSystemWrapper::FileSystemWrapper;

    // Ok lets the operation on `what` (a path; "FROM TO" for a rename) go ahead; anything else is
    // its failure, and it is not passed on.
    virtual msdb::Status Gate(Operation operation, const std::string& what) = 0;

    // An append to the file `path`; by default the gate, then the append.
    virtual msdb::Status GatedAppend(const std::string& path, std::string_view data,
                                     msdb::WritableFile& file);

    // A write at `offset` of the file `path` opened for update; by default the gate, then the
    // write.
    virtual msdb::Status GatedWriteAt(const std::string& path, std::uint64_t offset,
                                      std::string_view data, msdb::UpdatableFile& file);

    // Told after a file or this directory was synced.
    virtual void FileSynced(const std::string& path) { (void)path; }
    virtual void DirectorySynced(const std::string& directory) { (void)directory; }

    msdb::Status OpenForRead(const std::string& path,
                             std::unique_ptr<msdb::ReadableFile>* file) override;
    msdb::Status CreateForWrite(const std::string& path,
                                std::unique_ptr<msdb::WritableFile>* file) override;
    msdb::Status CreateNew(const std::string& path, std::unique_ptr<msdb::WritableFile>* file,
                           std::optional<std::uint32_t> permissions = std::nullopt) override;
    msdb::Status GetInfo(const std::string& path, msdb::FileInfo* info) override;
    msdb::Status OpenForUpdate(const std::string& path, std::unique_ptr<msdb::UpdatableFile>* file,
                               msdb::FileInfo* info = nullptr) override;
    msdb::Status Rename(const std::string& from, const std::string& to) override;
    msdb::Status Remove(const std::string& path) override;
    msdb::Status SyncDirectory(const std::string& directory) override;
    // One gated operation; then each file and the directory count as synced.
    msdb::Status SyncFiles(const std::string& directory, const msdb::FileNames& names) override;
    msdb::Status ListDirectory(const std::string& directory,
                               std::vector<std::string>* names) override;
    msdb::Status CanonicalPath(const std::string& path, std::string* canonical) override;
    bool IsDirectory(const std::string& path) override;
    msdb::Status LockDirectory(const std::string& directory,
                               std::unique_ptr<msdb::DirectoryLock>* lock,
                               msdb::LockMode mode = msdb::LockMode::kExclusive) override;

private:
    msdb::Status Wrap(const std::string& path, msdb::Status opened,
                      std::unique_ptr<msdb::WritableFile>* file);
};

}  // namespace testing_support
