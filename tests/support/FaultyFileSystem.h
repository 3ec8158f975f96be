// A FileSystem that passes every operation to another one, counts them, and can fail one of them on
// purpose: the Nth operation (opens, reads, writes, syncs, closes, renames, removals, listings and
// the rest all count), or every write once a number of bytes has been written (a full disk).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/GatedFileSystem.h"

namespace testing_support {

class FaultyFileSystem final : public GatedFileSystem {
public:
    explicit FaultyFileSystem(msdb::FileSystem& base) : GatedFileSystem(base) {}

    // Fails operation number `n` (counted from 1) and no other; 0 fails none.
    void FailOperation(int n) { failAt_ = n; }
    // Fails operation `n` and every one after it, as if the process were killed just before it:
    // nothing it would still have done reaches the disk.
    void StopAt(int n) { stopAt_ = n; }
    // Fails every write that would take the bytes written past `bytes`.
    void FailWritesAfter(std::uint64_t bytes) { diskSpace_ = bytes; }

    int operations() const { return count_; }
    bool failed() const { return failed_; }
    // What each operation was, in order ("open-read /path", "append /path" ...).
    const std::vector<std::string>& log() const { return log_; }

    msdb::Status Gate(Operation operation, const std::string& what) override;
    msdb::Status GatedAppend(const std::string& path, std::string_view data,
                             msdb::WritableFile& file) override;
    msdb::Status GatedWriteAt(const std::string& path, std::uint64_t offset, std::string_view data,
                              msdb::UpdatableFile& file) override;

private:
    // A write through `write`, failed when its turn comes or the disk is full.
    msdb::Status Write(Operation operation, const std::string& path, std::string_view data,
                       const std::function<msdb::Status(std::string_view)>& write);

    int failAt_ = 0;
    int stopAt_ = 0;
    int count_ = 0;
    bool failed_ = false;
    std::uint64_t diskSpace_ = UINT64_MAX;
    std::uint64_t written_ = 0;
    std::vector<std::string> log_;
};

// The message of an injected failure.
msdb::Status InjectedFailure(const std::string& what);

}  // namespace testing_support
