// A FileSystem that models a power cut. It passes every operation to another one until operation N;
// from then on every operation fails, as on a machine that has lost power. It keeps what a restart
// would find in one directory: a file's contents become durable when the file is synced, the
// directory's names when the directory is synced. Restore() then puts the directory in that state.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

#include "msdb/FileSystem.h"

namespace testing_support {

class PowerCutFileSystem final : public msdb::FileSystem {
public:
    PowerCutFileSystem(msdb::FileSystem& base, const std::string& directory);

    // Cuts the power at operation `n` (counted from 1); 0 never.
    void CutAtOperation(int n) { m_cutAt = n; }
    int operations() const { return m_count; }
    bool cut() const { return m_cut; }

    // Rewrites the directory as a restart after the cut would find it: each durable name with the
    // durable contents of its file; names never made durable are gone.
    void Restore();

    // Counts one operation; false once the power is off.
    bool Pass();
    void FileSynced(const std::string& path);

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
    bool InDirectory(const std::string& path) const;
    void RecordNames();

    msdb::FileSystem& m_base;
    std::string m_directory;  // canonical
    int m_cutAt = 0;
    int m_count = 0;
    bool m_cut = false;
    std::map<std::string, ino_t> m_durableNames;
    std::map<ino_t, std::string> m_durableContents;
};

}  // namespace testing_support
