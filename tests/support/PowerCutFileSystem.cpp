#include "tests/support/PowerCutFileSystem.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace testing_support {
namespace {

std::uint64_t IdOf(const std::string& path) {
#ifdef _WIN32
    // No access asked for, so that a file open elsewhere without sharing is still looked at.
    HANDLE file = CreateFileW(std::filesystem::path(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const bool got = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return got ? (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow : 0;
#else
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
#endif
}

}  // namespace

PowerCutFileSystem::PowerCutFileSystem(msdb::FileSystem& base, const std::string& directory)
    : GatedFileSystem(base), directory_(std::filesystem::canonical(directory).string()) {
    RecordNames();
    for (const auto& [name, id] : durableNames_) {
        durableContents_[id] = ReadFileBytes(directory_ + "/" + name);
    }
}

msdb::Status PowerCutFileSystem::Gate(Operation operation, const std::string& what) {
    ++count_;
    if (cutAt_ != 0 && count_ >= cutAt_) {
        cut_ = true;
    }
    if (!cut_) {
        return msdb::Status::Ok();
    }
    return msdb::Status::IoError(std::string(OperationName(operation)) + " " + what +
                                 ": Input/output error (the power is off)");
}

bool PowerCutFileSystem::InDirectory(const std::string& path) const {
    std::error_code ec;
    auto parent = std::filesystem::weakly_canonical(path, ec).parent_path();
    return !ec && parent == directory_;
}

void PowerCutFileSystem::FileSynced(const std::string& path) {
    if (InDirectory(path)) {
        durableContents_[IdOf(path)] = ReadFileBytes(path);
    }
}

void PowerCutFileSystem::DirectorySynced(const std::string& directory) {
    std::error_code ec;
    if (std::filesystem::canonical(directory, ec) == directory_) {
        RecordNames();
    }
}

void PowerCutFileSystem::RecordNames() {
    durableNames_.clear();
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
        if (entry.is_regular_file()) {
            durableNames_[entry.path().filename().string()] = IdOf(entry.path().string());
        }
    }
}

void PowerCutFileSystem::Restore(Unsynced unsynced) {
    std::map<FileId, std::string> current;
    if (unsynced == Unsynced::kKept) {
        for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
            if (entry.is_regular_file()) {
                current[IdOf(entry.path().string())] = ReadFileBytes(entry.path().string());
            }
        }
    }
    std::map<std::string, std::string> restored;
    for (const auto& [name, id] : durableNames_) {
        auto now = current.find(id);
        auto durable = durableContents_.find(id);
        restored[name] = now != current.end()                ? now->second
                         : durable != durableContents_.end() ? durable->second
                                                             : std::string();
    }
    for (const auto& entry : std::filesystem::directory_iterator(directory_)) {
        if (entry.is_regular_file()) {
            std::filesystem::remove(entry.path());
        }
    }
    for (const auto& [name, contents] : restored) {
        WriteFileBytes(directory_ + "/" + name, contents);
    }
}

}  // namespace testing_support
