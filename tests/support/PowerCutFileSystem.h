// A FileSystem that models a power cut. It passes every operation to another one until operation N;
// from then on every operation fails, as on a machine that has lost power. It keeps what a restart
// would find in one directory: a file's contents become durable when the file is synced or is one
// of the files of a SyncFiles, the directory's names when the directory is synced (SyncFiles
// syncs it too). Until then nothing written to a file counts, bytes written in place into a file
// that was there (appended, overwritten, cut) included: it keeps its durable contents. Restore()
// then puts the directory in that state; or, since a system writes a file's bytes back when it
// likes, in the state where every byte written reached the disk though no name did.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "tests/support/GatedFileSystem.h"

namespace testing_support {

class PowerCutFileSystem final : public GatedFileSystem {
public:
    PowerCutFileSystem(msdb::FileSystem& base, const std::string& directory);

    // Cuts the power at operation `n` (counted from 1); 0 never.
    void CutAtOperation(int n) { cutAt_ = n; }
    int operations() const { return count_; }
    bool cut() const { return cut_; }

    // What became of the bytes written to files and never synced.
    enum class Unsynced { kLost, kKept };

    // Rewrites the directory as a restart after the cut would find it: each durable name with the
    // durable contents of its file (kLost), or with all that was written to that file when it is
    // still there (kKept); names never made durable are gone.
    void Restore(Unsynced unsynced = Unsynced::kLost);

    msdb::Status Gate(Operation operation, const std::string& what) override;
    void FileSynced(const std::string& path) override;
    void DirectorySynced(const std::string& directory) override;

private:
    bool InDirectory(const std::string& path) const;
    void RecordNames();

    std::string directory_;  // canonical
    int cutAt_ = 0;
    int count_ = 0;
    bool cut_ = false;
    // A file by its identity (the inode number; on Windows the file index), which a rename keeps.
    using FileId = std::uint64_t;
    std::map<std::string, FileId> durableNames_;
    std::map<FileId, std::string> durableContents_;
};

}  // namespace testing_support
