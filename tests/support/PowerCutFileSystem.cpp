#include "tests/support/PowerCutFileSystem.h"

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace testing_support {
namespace {

msdb::Status PowerOff(const std::string& what) {
    return msdb::Status::Error(what + ": Input/output error (the power is off)");
}

ino_t InodeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class CutReadable final : public msdb::ReadableFile {
public:
    CutReadable(PowerCutFileSystem& fs, std::unique_ptr<msdb::ReadableFile> file)
        : m_fs(fs), m_file(std::move(file)) {}
    msdb::Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        *got = 0;
        return m_fs.Pass() ? m_file->Read(n, buffer, got) : PowerOff("read");
    }

private:
    PowerCutFileSystem& m_fs;
    std::unique_ptr<msdb::ReadableFile> m_file;
};

class CutWritable final : public msdb::WritableFile {
public:
    CutWritable(PowerCutFileSystem& fs, std::string path, std::unique_ptr<msdb::WritableFile> file)
        : m_fs(fs), m_path(std::move(path)), m_file(std::move(file)) {}
    msdb::Status Append(std::string_view data) override {
        return m_fs.Pass() ? m_file->Append(data) : PowerOff("write " + m_path);
    }
    msdb::Status Sync() override {
        if (!m_fs.Pass()) {
            return PowerOff("sync " + m_path);
        }
        msdb::Status s = m_file->Sync();
        if (s.ok()) {
            m_fs.FileSynced(m_path);
        }
        return s;
    }
    msdb::Status Close() override {
        msdb::Status s = m_file->Close();
        return m_fs.Pass() ? s : PowerOff("close " + m_path);
    }

private:
    PowerCutFileSystem& m_fs;
    std::string m_path;
    std::unique_ptr<msdb::WritableFile> m_file;
};

}  // namespace

PowerCutFileSystem::PowerCutFileSystem(msdb::FileSystem& base, const std::string& directory)
    : m_base(base), m_directory(std::filesystem::canonical(directory).string()) {
    RecordNames();
    for (const auto& [name, inode] : m_durableNames) {
        m_durableContents[inode] = ReadFileBytes(m_directory + "/" + name);
    }
}

bool PowerCutFileSystem::Pass() {
    ++m_count;
    if (m_cutAt != 0 && m_count >= m_cutAt) {
        m_cut = true;
    }
    return !m_cut;
}

bool PowerCutFileSystem::InDirectory(const std::string& path) const {
    std::error_code ec;
    auto parent = std::filesystem::weakly_canonical(path, ec).parent_path();
    return !ec && parent == m_directory;
}

void PowerCutFileSystem::FileSynced(const std::string& path) {
    if (InDirectory(path)) {
        m_durableContents[InodeOf(path)] = ReadFileBytes(path);
    }
}

void PowerCutFileSystem::RecordNames() {
    m_durableNames.clear();
    for (const auto& entry : std::filesystem::directory_iterator(m_directory)) {
        if (entry.is_regular_file()) {
            m_durableNames[entry.path().filename().string()] = InodeOf(entry.path().string());
        }
    }
}

void PowerCutFileSystem::Restore() {
    std::map<std::string, std::string> restored;
    for (const auto& [name, inode] : m_durableNames) {
        auto contents = m_durableContents.find(inode);
        restored[name] = contents == m_durableContents.end() ? std::string() : contents->second;
    }
    for (const auto& entry : std::filesystem::directory_iterator(m_directory)) {
        if (entry.is_regular_file()) {
            std::filesystem::remove(entry.path());
        }
    }
    for (const auto& [name, contents] : restored) {
        WriteFileBytes(m_directory + "/" + name, contents);
    }
}

msdb::Status PowerCutFileSystem::OpenForRead(const std::string& path,
                                             std::unique_ptr<msdb::ReadableFile>* file) {
    if (!Pass()) {
        return PowerOff("open " + path);
    }
    std::unique_ptr<msdb::ReadableFile> inner;
    msdb::Status s = m_base.OpenForRead(path, &inner);
    if (s.ok()) {
        *file = std::make_unique<CutReadable>(*this, std::move(inner));
    }
    return s;
}

msdb::Status PowerCutFileSystem::CreateForWrite(const std::string& path,
                                                std::unique_ptr<msdb::WritableFile>* file) {
    if (!Pass()) {
        return PowerOff("create " + path);
    }
    std::unique_ptr<msdb::WritableFile> inner;
    msdb::Status s = m_base.CreateForWrite(path, &inner);
    if (s.ok()) {
        *file = std::make_unique<CutWritable>(*this, path, std::move(inner));
    }
    return s;
}

msdb::Status PowerCutFileSystem::OpenForAppend(const std::string& path,
                                               std::unique_ptr<msdb::WritableFile>* file) {
    if (!Pass()) {
        return PowerOff("open " + path);
    }
    std::unique_ptr<msdb::WritableFile> inner;
    msdb::Status s = m_base.OpenForAppend(path, &inner);
    if (s.ok()) {
        *file = std::make_unique<CutWritable>(*this, path, std::move(inner));
    }
    return s;
}

msdb::Status PowerCutFileSystem::Rename(const std::string& from, const std::string& to) {
    return Pass() ? m_base.Rename(from, to) : PowerOff("rename " + from);
}

msdb::Status PowerCutFileSystem::Remove(const std::string& path) {
    return Pass() ? m_base.Remove(path) : PowerOff("remove " + path);
}

msdb::Status PowerCutFileSystem::Truncate(const std::string& path, std::uint64_t size) {
    return Pass() ? m_base.Truncate(path, size) : PowerOff("truncate " + path);
}

msdb::Status PowerCutFileSystem::SyncDirectory(const std::string& directory) {
    if (!Pass()) {
        return PowerOff("sync " + directory);
    }
    msdb::Status s = m_base.SyncDirectory(directory);
    std::error_code ec;
    if (s.ok() && std::filesystem::canonical(directory, ec) == m_directory) {
        RecordNames();
    }
    return s;
}

msdb::Status PowerCutFileSystem::ChangeDirectory(const std::string& path) {
    return Pass() ? m_base.ChangeDirectory(path) : PowerOff("chdir " + path);
}

msdb::Status PowerCutFileSystem::CurrentDirectory(std::string* path) {
    return Pass() ? m_base.CurrentDirectory(path) : PowerOff("getcwd");
}

msdb::Status PowerCutFileSystem::ListDirectory(const std::string& directory,
                                               std::vector<std::string>* names) {
    return Pass() ? m_base.ListDirectory(directory, names) : PowerOff("list " + directory);
}

msdb::Status PowerCutFileSystem::CanonicalPath(const std::string& path, std::string* canonical) {
    return Pass() ? m_base.CanonicalPath(path, canonical) : PowerOff("resolve " + path);
}

bool PowerCutFileSystem::IsDirectory(const std::string& path) {
    return Pass() && m_base.IsDirectory(path);
}

msdb::Status PowerCutFileSystem::LockDirectory(const std::string& directory,
                                               std::unique_ptr<msdb::DirectoryLock>* lock,
                                               bool* busy) {
    *busy = false;
    return Pass() ? m_base.LockDirectory(directory, lock, busy) : PowerOff("lock " + directory);
}

}  // namespace testing_support
