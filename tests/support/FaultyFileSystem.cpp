#include "tests/support/FaultyFileSystem.h"

namespace testing_support {
namespace {

class FaultyReadable final : public msdb::ReadableFile {
public:
    FaultyReadable(FaultyFileSystem& fs, std::string path, std::unique_ptr<msdb::ReadableFile> f)
        : m_fs(fs), m_path(std::move(path)), m_file(std::move(f)) {}

    msdb::Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        if (!m_fs.Pass("read " + m_path)) {
            *got = 0;
            return InjectedFailure("Cannot read " + m_path);
        }
        return m_file->Read(n, buffer, got);
    }

private:
    FaultyFileSystem& m_fs;
    std::string m_path;
    std::unique_ptr<msdb::ReadableFile> m_file;
};

class FaultyWritable final : public msdb::WritableFile {
public:
    FaultyWritable(FaultyFileSystem& fs, std::string path, std::unique_ptr<msdb::WritableFile> f)
        : m_fs(fs), m_path(std::move(path)), m_file(std::move(f)) {}

    msdb::Status Append(std::string_view data) override {
        if (!m_fs.Pass("append " + m_path)) {
            // A failed write may still have put part of the data on disk.
            (void)m_file->Append(data.substr(0, data.size() / 2));
            return InjectedFailure("Cannot write " + m_path);
        }
        if (!m_fs.Reserve(data.size())) {
            return msdb::Status::Error("Cannot write " + m_path + ": No space left on device");
        }
        return m_file->Append(data);
    }
    msdb::Status Sync() override {
        if (!m_fs.Pass("sync " + m_path)) {
            return InjectedFailure("Cannot sync " + m_path);
        }
        return m_file->Sync();
    }
    msdb::Status Close() override {
        msdb::Status s = m_file->Close();
        if (!m_fs.Pass("close " + m_path)) {
            return InjectedFailure("Cannot close " + m_path);
        }
        return s;
    }

private:
    FaultyFileSystem& m_fs;
    std::string m_path;
    std::unique_ptr<msdb::WritableFile> m_file;
};

}  // namespace

msdb::Status InjectedFailure(const std::string& what) {
    return msdb::Status::Error(what + ": Input/output error");
}

bool FaultyFileSystem::Pass(const std::string& what) {
    ++m_count;
    m_log.push_back(what);
    if (m_count == m_failAt) {
        m_failed = true;
        return false;
    }
    return true;
}

bool FaultyFileSystem::Reserve(std::uint64_t bytes) {
    if (m_written + bytes > m_diskSpace) {
        m_failed = true;
        return false;
    }
    m_written += bytes;
    return true;
}

msdb::Status FaultyFileSystem::OpenForRead(const std::string& path,
                                           std::unique_ptr<msdb::ReadableFile>* file) {
    if (!Pass("open-read " + path)) {
        return InjectedFailure("Cannot open " + path);
    }
    std::unique_ptr<msdb::ReadableFile> inner;
    msdb::Status s = m_base.OpenForRead(path, &inner);
    if (s.ok()) {
        *file = std::make_unique<FaultyReadable>(*this, path, std::move(inner));
    }
    return s;
}

msdb::Status FaultyFileSystem::CreateForWrite(const std::string& path,
                                              std::unique_ptr<msdb::WritableFile>* file) {
    if (!Pass("create " + path)) {
        return InjectedFailure("Cannot create " + path);
    }
    std::unique_ptr<msdb::WritableFile> inner;
    msdb::Status s = m_base.CreateForWrite(path, &inner);
    if (s.ok()) {
        *file = std::make_unique<FaultyWritable>(*this, path, std::move(inner));
    }
    return s;
}

msdb::Status FaultyFileSystem::OpenForAppend(const std::string& path,
                                             std::unique_ptr<msdb::WritableFile>* file) {
    if (!Pass("open-append " + path)) {
        return InjectedFailure("Cannot open " + path);
    }
    std::unique_ptr<msdb::WritableFile> inner;
    msdb::Status s = m_base.OpenForAppend(path, &inner);
    if (s.ok()) {
        *file = std::make_unique<FaultyWritable>(*this, path, std::move(inner));
    }
    return s;
}

msdb::Status FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
    if (!Pass("rename " + from + " " + to)) {
        return InjectedFailure("Cannot rename " + from + " to " + to);
    }
    return m_base.Rename(from, to);
}

msdb::Status FaultyFileSystem::Remove(const std::string& path) {
    if (!Pass("remove " + path)) {
        return InjectedFailure("Cannot remove " + path);
    }
    return m_base.Remove(path);
}

msdb::Status FaultyFileSystem::Truncate(const std::string& path, std::uint64_t size) {
    if (!Pass("truncate " + path)) {
        return InjectedFailure("Cannot truncate " + path);
    }
    return m_base.Truncate(path, size);
}

msdb::Status FaultyFileSystem::SyncDirectory(const std::string& directory) {
    if (!Pass("sync-dir " + directory)) {
        return InjectedFailure("Cannot sync " + directory);
    }
    return m_base.SyncDirectory(directory);
}

msdb::Status FaultyFileSystem::ChangeDirectory(const std::string& path) {
    if (!Pass("chdir " + path)) {
        return InjectedFailure("Cannot change to " + path);
    }
    return m_base.ChangeDirectory(path);
}

msdb::Status FaultyFileSystem::CurrentDirectory(std::string* path) {
    if (!Pass("getcwd")) {
        return InjectedFailure("Cannot read the current directory");
    }
    return m_base.CurrentDirectory(path);
}

msdb::Status FaultyFileSystem::ListDirectory(const std::string& directory,
                                             std::vector<std::string>* names) {
    if (!Pass("list " + directory)) {
        return InjectedFailure("Cannot list " + directory);
    }
    return m_base.ListDirectory(directory, names);
}

msdb::Status FaultyFileSystem::CanonicalPath(const std::string& path, std::string* canonical) {
    if (!Pass("realpath " + path)) {
        return InjectedFailure("Cannot resolve " + path);
    }
    return m_base.CanonicalPath(path, canonical);
}

bool FaultyFileSystem::IsDirectory(const std::string& path) {
    if (!Pass("is-dir " + path)) {
        return false;
    }
    return m_base.IsDirectory(path);
}

msdb::Status FaultyFileSystem::LockDirectory(const std::string& directory,
                                             std::unique_ptr<msdb::DirectoryLock>* lock,
                                             bool* busy) {
    if (!Pass("lock " + directory)) {
        *busy = false;
        return InjectedFailure("Cannot lock " + directory);
    }
    return m_base.LockDirectory(directory, lock, busy);
}

}  // namespace testing_support
