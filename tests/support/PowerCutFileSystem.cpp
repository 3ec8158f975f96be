#include "tests/support/PowerCutFileSystem.h"

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/TestSupport.h"

namespace testing_support {
namespace {

ino_t InodeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

PowerCutFileSystem::PowerCutFileSystem(msdb::FileSystem& base, const std::string& directory)
    : GatedFileSystem(base), directory_(std::filesystem::canonical(directory).string()) {
    RecordNames();
    for (const auto& [name, inode] : durableNames_) {
        durableContents_[inode] = ReadFileBytes(directory_ + "/" + name);
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
        durableContents_[InodeOf(path)] = ReadFileBytes(path);
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
            durableNames_[entry.path().filename().string()] = InodeOf(entry.path().string());
        }
    }
}

void PowerCutFileSystem::Restore() {
    std::map<std::string, std::string> restored;
    for (const auto& [name, inode] : durableNames_) {
        auto contents = durableContents_.find(inode);
        restored[name] = contents == durableContents_.end() ? std::string() : contents->second;
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
