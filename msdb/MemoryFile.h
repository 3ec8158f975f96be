// A text held in memory, read as a file: for reading code that takes a ReadableFile.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "msdb/FileSystem.h"

namespace msdb {

class MemoryFile final : public ReadableFile {
public:
    explicit MemoryFile(std::string text) : text_(std::move(text)) {}

    Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        *got = std::min(n, text_.size() - at_);
        std::memcpy(buffer, text_.data() + at_, *got);
        at_ += *got;
        return Status::Ok();
    }

    Status Info(FileInfo* info) override {
        *info = FileInfo{FileKind::kRegular, text_.size(), 0644};
        return Status::Ok();
    }

private:
    std::string text_;
    std::size_t at_ = 0;
};

}  // namespace msdb
