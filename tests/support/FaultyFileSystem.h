// A FileSystem that passes every operation to another one, counts them, and can fail one of them on
// purpose: the Nth operation (opens, reads, writes, syncs, closes, renames, removals, listings and
// directory changes all count), or every write once a number of bytes has been written (a full
// disk).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "msdb/FileSystem.h"

namespace testing_support {

class FaultyFileSystem final : public msdb::FileSystem {
public:
    explicit FaultyFileSystem(msdb::FileSystem& base) : m_base(base) {}

    // Fails operation number `n` (counted from 1) and no other; 0 fails none.
    void FailOperation(int n) { m_failAt = n; }
    // Fails every write that would take the bytes written past `bytes`.
    void FailWritesAfter(std::uint64_t bytes) { m_diskSpace = bytes; }

    int operations() const { return m_count; }
    bool failed() const { return m_failed; }
    // What each operation was, in order ("open-read /path", "append /path" ...).
    const std::vector<std::string>& log() const { return m_log; }

    // Counts one operation; false when it is to fail.
    bool Pass(const std::string& what);
    bool Reserve(std::uint64_t bytes);

    msdb::Status OpenForRead(const std::string& path,
                             std::unique_ptr<msdb::ReadableFile>* file) override;
    msdb::Status CreateForWrite(const std::string& path,
                                std::unique_ptr<msdb::WritableFile>* file) override;
    msdb::Status OpenForAppend(const std::string& path,
                               std::unique_ptr<msdb::WritableFile>* file) override;
    msdb::Status Rename(const std::string& from, const std::string& to) override;
    msdb::Status Remove(const std::string& path) override;
    msdb::Status Truncate(const std::string& path, std::uint64_t size) override;
    msdb::Status SyncDirectory(const std::string& directory) override;
    msdb::Status ChangeDirectory(const std::string& path) override;
    msdb::Status CurrentDirectory(std::string* path) override;
    msdb::Status ListDirectory(const std::string& directory,
                               std::vector<std::string>* names) override;
    msdb::Status CanonicalPath(const std::string& path, std::string* canonical) override;
    bool IsDirectory(const std::string& path) override;
    msdb::Status LockDirectory(const std::string& directory,
                               std::unique_ptr<msdb::DirectoryLock>* lock, bool* busy) override;

private:
    msdb::FileSystem& m_base;
    int m_failAt = 0;
    int m_count = 0;
    bool m_failed = false;
    std::uint64_t m_diskSpace = UINT64_MAX;
    std::uint64_t m_written = 0;
    std::vector<std::string> m_log;
};

// The message of an injected failure.
msdb::Status InjectedFailure(const std::string& what);

}  // namespace testing_support
