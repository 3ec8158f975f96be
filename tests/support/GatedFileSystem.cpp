#include "tests/support/GatedFileSystem.h"

namespace testing_support {
namespace {

// A sync passes the gate first, and the file system notes it once done.
template <typename File>
msdb::Status GatedSync(GatedFileSystem& fs, const std::string& path, File& file) {
    msdb::Status s = fs.Gate(Operation::kSync, path);
    if (s.ok()) {
        s = file.Sync();
    }
    if (s.ok()) {
        fs.FileSynced(path);
    }
    return s;
}

// The file is closed whatever the gate says: a failed close still releases it.
template <typename File>
msdb::Status GatedClose(GatedFileSystem& fs, const std::string& path, File& file) {
    msdb::Status closed = file.Close();
    msdb::Status s = fs.Gate(Operation::kClose, path);
    return s.ok() ? closed : s;
}

class GatedReadable final : public msdb::ReadableFile {
public:
    GatedReadable(GatedFileSystem& fs, std::string path, std::unique_ptr<msdb::ReadableFile> file)
        : fs_(fs), path_(std::move(path)), file_(std::move(file)) {}

    msdb::Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        *got = 0;
        msdb::Status s = fs_.Gate(Operation::kRead, path_);
        return s.ok() ? file_->Read(n, buffer, got) : s;
    }
    msdb::Status Info(msdb::FileInfo* info) override { return file_->Info(info); }

private:
    GatedFileSystem& fs_;
    std::string path_;
    std::unique_ptr<msdb::ReadableFile> file_;
};

class GatedWritable final : public msdb::WritableFile {
public:
    GatedWritable(GatedFileSystem& fs, std::string path, std::unique_ptr<msdb::WritableFile> file)
        : fs_(fs), path_(std::move(path)), file_(std::move(file)) {}

    msdb::Status Append(std::string_view data) override {
        return fs_.GatedAppend(path_, data, *file_);
    }
    msdb::Status Sync() override { return GatedSync(fs_, path_, *file_); }
    msdb::Status Close() override { return GatedClose(fs_, path_, *file_); }

private:
    GatedFileSystem& fs_;
    std::string path_;
    std::unique_ptr<msdb::WritableFile> file_;
};

class GatedUpdatable final : public msdb::UpdatableFile {
public:
    GatedUpdatable(GatedFileSystem& fs, std::string path, std::unique_ptr<msdb::UpdatableFile> file)
        : fs_(fs), path_(std::move(path)), file_(std::move(file)) {}

    msdb::Status WriteAt(std::uint64_t offset, std::string_view data) override {
        return fs_.GatedWriteAt(path_, offset, data, *file_);
    }
    msdb::Status Truncate(std::uint64_t length) override {
        msdb::Status s = fs_.Gate(Operation::kTruncate, path_);
        return s.ok() ? file_->Truncate(length) : s;
    }
    msdb::Status ReadAt(std::uint64_t offset, std::size_t n, char* buffer,
                        std::size_t* got) override {
        *got = 0;
        msdb::Status s = fs_.Gate(Operation::kRead, path_);
        return s.ok() ? file_->ReadAt(offset, n, buffer, got) : s;
    }
    msdb::Status Info(msdb::FileInfo* info) override { return file_->Info(info); }
    msdb::Status Sync() override { return GatedSync(fs_, path_, *file_); }
    msdb::Status Close() override { return GatedClose(fs_, path_, *file_); }

private:
    GatedFileSystem& fs_;
    std::string path_;
    std::unique_ptr<msdb::UpdatableFile> file_;
};

}  // namespace

std::string_view OperationName(Operation operation) {
    switch (operation) {
        case Operation::kOpenRead:
            return "open-read";
        case Operation::kRead:
            return "read";
        case Operation::kCreate:
            return "create";
        case Operation::kAppend:
            return "append";
        case Operation::kSync:
            return "sync";
        case Operation::kClose:
            return "close";
        case Operation::kRename:
            return "rename";
        case Operation::kRemove:
            return "remove";
        case Operation::kSyncDirectory:
            return "sync-dir";
        case Operation::kList:
            return "list";
        case Operation::kResolve:
            return "realpath";
        case Operation::kIsDirectory:
            return "is-dir";
        case Operation::kInfo:
            return "stat";
        case Operation::kLock:
            return "lock";
        case Operation::kOpenUpdate:
            return "open-update";
        case Operation::kWriteAt:
            return "write-at";
        case Operation::kTruncate:
            return "truncate";
        case Operation::kSyncFiles:
            return "sync-files";
    }
    return "?";
}

msdb::Status GatedFileSystem::GatedAppend(const std::string& path, std::string_view data,
                                          msdb::WritableFile& file) {
    msdb::Status s = Gate(Operation::kAppend, path);
    return s.ok() ? file.Append(data) : s;
}

msdb::Status GatedFileSystem::GatedWriteAt(const std::string& path, std::uint64_t offset,
                                           std::string_view data, msdb::UpdatableFile& file) {
    msdb::Status s = Gate(Operation::kWriteAt, path);
    return s.ok() ? file.WriteAt(offset, data) : s;
}

msdb::Status GatedFileSystem::Wrap(const std::string& path, msdb::Status opened,
                                   std::unique_ptr<msdb::WritableFile>* file) {
    if (opened.ok()) {
        *file = std::make_unique<GatedWritable>(*this, path, std::move(*file));
    }
    return opened;
}

msdb::Status GatedFileSystem::OpenForRead(const std::string& path,
                                          std::unique_ptr<msdb::ReadableFile>* file) {
    msdb::Status s = Gate(Operation::kOpenRead, path);
    if (!s.ok()) {
        return s;
    }
    std::unique_ptr<msdb::ReadableFile> inner;
    s = target().OpenForRead(path, &inner);
    if (s.ok()) {
        *file = std::make_unique<GatedReadable>(*this, path, std::move(inner));
    }
    return s;
}

msdb::Status GatedFileSystem::CreateForWrite(const std::string& path,
                                             std::unique_ptr<msdb::WritableFile>* file) {
    msdb::Status s = Gate(Operation::kCreate, path);
    return s.ok() ? Wrap(path, target().CreateForWrite(path, file), file) : s;
}

msdb::Status GatedFileSystem::CreateNew(const std::string& path,
                                        std::unique_ptr<msdb::WritableFile>* file,
                                        std::optional<std::uint32_t> permissions) {
    msdb::Status s = Gate(Operation::kCreate, path);
    return s.ok() ? Wrap(path, target().CreateNew(path, file, permissions), file) : s;
}

msdb::Status GatedFileSystem::GetInfo(const std::string& path, msdb::FileInfo* info) {
    msdb::Status s = Gate(Operation::kInfo, path);
    return s.ok() ? target().GetInfo(path, info) : s;
}

msdb::Status GatedFileSystem::OpenForUpdate(const std::string& path,
                                            std::unique_ptr<msdb::UpdatableFile>* file,
                                            msdb::FileInfo* info) {
    msdb::Status s = Gate(Operation::kOpenUpdate, path);
    if (!s.ok()) {
        return s;
    }
    std::unique_ptr<msdb::UpdatableFile> inner;
    s = target().OpenForUpdate(path, &inner, info);
    if (s.ok()) {
        *file = std::make_unique<GatedUpdatable>(*this, path, std::move(inner));
    }
    return s;
}

msdb::Status GatedFileSystem::Rename(const std::string& from, const std::string& to) {
    msdb::Status s = Gate(Operation::kRename, from + " " + to);
    return s.ok() ? target().Rename(from, to) : s;
}

msdb::Status GatedFileSystem::Remove(const std::string& path) {
    msdb::Status s = Gate(Operation::kRemove, path);
    return s.ok() ? target().Remove(path) : s;
}

msdb::Status GatedFileSystem::SyncDirectory(const std::string& directory) {
    msdb::Status s = Gate(Operation::kSyncDirectory, directory);
    if (s.ok()) {
        s = target().SyncDirectory(directory);
    }
    if (s.ok()) {
        DirectorySynced(directory);
    }
    return s;
}

msdb::Status GatedFileSystem::SyncFiles(const std::string& directory,
                                        const msdb::FileNames& names) {
    msdb::Status s = Gate(Operation::kSyncFiles, directory);
    if (s.ok()) {
        s = target().SyncFiles(directory, names);
    }
    if (s.ok()) {
        for (std::size_t i = 0; i < names.count; ++i) {
            FileSynced(msdb::JoinPath(directory, names.at(i)));
        }
        DirectorySynced(directory);
    }
    return s;
}

msdb::Status GatedFileSystem::ListDirectory(const std::string& directory,
                                            std::vector<std::string>* names) {
    msdb::Status s = Gate(Operation::kList, directory);
    return s.ok() ? target().ListDirectory(directory, names) : s;
}

msdb::Status GatedFileSystem::CanonicalPath(const std::string& path, std::string* canonical) {
    msdb::Status s = Gate(Operation::kResolve, path);
    return s.ok() ? target().CanonicalPath(path, canonical) : s;
}

bool GatedFileSystem::IsDirectory(const std::string& path) {
    return Gate(Operation::kIsDirectory, path).ok() && target().IsDirectory(path);
}

msdb::Status GatedFileSystem::LockDirectory(const std::string& directory,
                                            std::unique_ptr<msdb::DirectoryLock>* lock,
                                            msdb::LockMode mode) {
    msdb::Status s = Gate(Operation::kLock, directory);
    return s.ok() ? target().LockDirectory(directory, lock, mode) : s;
}

}  // namespace testing_support
