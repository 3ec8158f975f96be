// The file-system seam. Every open, read, write, rename, removal and listing that the database code
// and the conversion engine make goes through a FileSystem, so that the engine can run on another
// platform and tests can fail any single operation on purpose. Paths are absolute or relative to
// the process's current directory, which nothing here changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/Status.h"

namespace msdb {

enum class FileKind { kRegular, kDirectory, kOther };

// What GetInfo tells of a file.
struct FileInfo {
    FileKind kind = FileKind::kOther;
    std::uint64_t size = 0;
    std::uint32_t permissions = 0;  // the permission bits (rwx for user, group and others)
};

// A file opened for reading from its start.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    // Reads up to `n` bytes into `buffer`; `*got` is less than `n` only at the end of the file.
    virtual Status Read(std::size_t n, char* buffer, std::size_t* got) = 0;
    // What GetInfo tells of the opened file, without looking its path up again.
    virtual Status Info(FileInfo* info) = 0;
};

// A file opened for writing (created or truncated, or opened for appending).
class WritableFile {
public:
    virtual ~WritableFile() = default;
    // Writes all of `data` or fails; a failed append may have written part of it.
    virtual Status Append(std::string_view data) = 0;
    // Flushes what was written to stable storage.
    virtual Status Sync() = 0;
    // Closes the file; a failure here may mean written data was lost.
    virtual Status Close() = 0;
};

// A file opened to be changed where it lies: written at any offset and cut short.
class UpdatableFile {
public:
    virtual ~UpdatableFile() = default;
    // Writes all of `data` from `offset` (at the file's size: appends it) or fails; a failed write
    // may have written part of it.
    virtual Status WriteAt(std::uint64_t offset, std::string_view data) = 0;
    // Cuts the file to `length` bytes.
    virtual Status Truncate(std::uint64_t length) = 0;
    // Reads up to `n` bytes from `offset` into `buffer`; `*got` is less than `n` only at the end.
    virtual Status ReadAt(std::uint64_t offset, std::size_t n, char* buffer, std::size_t* got) = 0;
    // What GetInfo tells of the opened file now, without looking its path up again.
    virtual Status Info(FileInfo* info) = 0;
    // Flushes what was written to stable storage.
    virtual Status Sync() = 0;
    // Closes the file; a failure here may mean written data was lost.
    virtual Status Close() = 0;
};

// A run that changes a directory holds its lock exclusively; one that only reads it, shared.
enum class LockMode { kExclusive, kShared };

// Held while a directory is locked; destroying it releases the lock.
class DirectoryLock {
public:
    virtual ~DirectoryLock() = default;
};

// Files of one directory, by their names in it: `count` of them, the i-th named by `at(i)`. A
// commit of tens of thousands of files names them one at a time, when they are needed, instead of
// holding a list of their paths, which may take megabytes.
struct FileNames {
    std::size_t count = 0;
    std::function<std::string(std::size_t)> at;

    // The names of `names`, which must outlive the FileNames.
    static FileNames Of(const std::vector<std::string>& names) {
        return {names.size(), [&names](std::size_t i) { return names[i]; }};
    }
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens a regular file for reading; anything else (a directory, a device, a pipe) is refused
    // without waiting for it.
    virtual Status OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* file) = 0;
    // Creates the file, or truncates an existing one.
    virtual Status CreateForWrite(const std::string& path, std::unique_ptr<WritableFile>* file) = 0;
    // Creates a file that must not exist yet, not even as a symbolic link (Exists when it does),
    // with `permissions` when given (else the default of new files).
    virtual Status CreateNew(const std::string& path, std::unique_ptr<WritableFile>* file,
                             std::optional<std::uint32_t> permissions = std::nullopt) = 0;
    // Opens an existing regular file to change it in place, not through a symbolic link (NotFound
    // when there is none). `info`, when given, is what GetInfo tells of it as it was opened.
    virtual Status OpenForUpdate(const std::string& path, std::unique_ptr<UpdatableFile>* file,
                                 FileInfo* info = nullptr) = 0;
    // Renames `from` to `to`, replacing `to` atomically when it exists.
    virtual Status Rename(const std::string& from, const std::string& to) = 0;
    virtual Status Remove(const std::string& path) = 0;
    // Makes renames and creations inside `directory` durable.
    virtual Status SyncDirectory(const std::string& directory) = 0;
    // Makes what was written to the files `names` of `directory`, and the names of `directory`,
    // durable: what syncing each file and then the directory does, in one step where the system
    // has one (Linux: syncfs), so that many files cost one sync. By default each file is opened
    // for update and synced, then the directory.
    virtual Status SyncFiles(const std::string& directory, const FileNames& names);
    // The names of the entries of `directory`, without "." and "..".
    virtual Status ListDirectory(const std::string& directory, std::vector<std::string>* names) = 0;
    // Calls `each` with the name of every entry of `directory` but "." and "..", holding none of
    // them: a directory of tens of thousands of files needs no list of them. On an error `each`
    // may have seen some. By default, through ListDirectory.
    virtual Status ForEachEntry(const std::string& directory,
                                const std::function<void(std::string_view name)>& each);

    // The absolute path of `path` with every symbolic link, "." and ".." resolved.
    virtual Status CanonicalPath(const std::string& path, std::string* canonical) = 0;
    virtual bool IsDirectory(const std::string& path) = 0;
    // The kind, size and permissions of the file at `path`, following symbolic links; NotFound
    // when there is none.
    virtual Status GetInfo(const std::string& path, FileInfo* info) = 0;
    // True when names that differ only in the case of letters name different files, so that a
    // file found under one spelling is there under that spelling. False (the safe answer) where a
    // lookup by name may find another spelling, as on Windows.
    virtual bool DistinguishesCase() const { return false; }
    // True when its calls, and those of the files it opens, may come from two threads at once (a
    // file used by one thread at a time): a run then reads its next input file while it writes
    // out the last. False, the safe answer, for file systems that count or order their calls.
    virtual bool TakesCallsFromManyThreads() const { return false; }
    // Busy, with a message that names the file, when another program holds `path` open so that
    // it can be neither renamed over nor removed (on Windows; on POSIX the directory decides, and
    // this is always Ok). A run asks before its commit, while it can still be undone.
    virtual Status CheckReplaceable(const std::string& path) {
        (void)path;
        return Status::Ok();
    }
    // How many files a run may keep open at once beside the few it opens and closes, raising the
    // process's limit of open files where the system lets it.
    virtual std::size_t FilesToKeepOpen() { return 0; }
    // A new file of the system's folder for temporary files, empty, that no other program sees
    // by name and that goes when it is closed or the process ends: room for a run's own data
    // that would not fit its memory. None (NotFound) by default: the caller keeps its data in
    // memory then.
    virtual Status OpenScratch(std::unique_ptr<UpdatableFile>* file) {
        (void)file;
        return Status::NotFound("No file for temporary data");
    }
    // Takes the lock of `directory` among the processes that lock it this way, without waiting:
    // a Busy status when another holds it exclusively, or holds it at all and `mode` is
    // exclusive. On POSIX no file is made for it; on Windows a hidden file KORVEX.LCK is there
    // while the lock is held, and goes with its last holder.
    virtual Status LockDirectory(const std::string& directory, std::unique_ptr<DirectoryLock>* lock,
                                 LockMode mode = LockMode::kExclusive) = 0;

    // The file system of the machine the program runs on.
    static FileSystem& Default();

protected:
    // ListDirectory through ForEachEntry, for a file system that lists by the latter: `names`
    // is empty on an error.
    Status CollectEntries(const std::string& directory, std::vector<std::string>* names);
};

// A FileSystem that passes every call to another one; a subclass overrides only what it changes.
class FileSystemWrapper : public FileSystem {
public:
    explicit FileSystemWrapper(FileSystem& target) : target_(target) {}

    FileSystem& target() const { return target_; }

    Status OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
        return target_.OpenForRead(path, file);
    }
    Status CreateForWrite(const std::string& path, std::unique_ptr<WritableFile>* file) override {
        return target_.CreateForWrite(path, file);
    }
    Status CreateNew(const std::string& path, std::unique_ptr<WritableFile>* file,
                     std::optional<std::uint32_t> permissions = std::nullopt) override {
        return target_.CreateNew(path, file, permissions);
    }
    Status OpenForUpdate(const std::string& path, std::unique_ptr<UpdatableFile>* file,
                         FileInfo* info = nullptr) override {
        return target_.OpenForUpdate(path, file, info);
    }
    Status Rename(const std::string& from, const std::string& to) override {
        return target_.Rename(from, to);
    }
    Status Remove(const std::string& path) override { return target_.Remove(path); }
    Status SyncDirectory(const std::string& directory) override {
        return target_.SyncDirectory(directory);
    }
    Status SyncFiles(const std::string& directory, const FileNames& names) override {
        return target_.SyncFiles(directory, names);
    }
    Status ListDirectory(const std::string& directory, std::vector<std::string>* names) override {
        return target_.ListDirectory(directory, names);
    }
    Status CanonicalPath(const std::string& path, std::string* canonical) override {
        return target_.CanonicalPath(path, canonical);
    }
    bool IsDirectory(const std::string& path) override { return target_.IsDirectory(path); }
    Status GetInfo(const std::string& path, FileInfo* info) override {
        return target_.GetInfo(path, info);
    }
    bool DistinguishesCase() const override { return target_.DistinguishesCase(); }
    std::size_t FilesToKeepOpen() override { return target_.FilesToKeepOpen(); }
    Status OpenScratch(std::unique_ptr<UpdatableFile>* file) override {
        return target_.OpenScratch(file);
    }
    Status CheckReplaceable(const std::string& path) override {
        return target_.CheckReplaceable(path);
    }
    Status LockDirectory(const std::string& directory, std::unique_ptr<DirectoryLock>* lock,
                         LockMode mode = LockMode::kExclusive) override {
        return target_.LockDirectory(directory, lock, mode);
    }

private:
    FileSystem& target_;
};

// The character that separates the parts of a path on this platform.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// True when `c` separates path components here ('/' everywhere, '\\' too on Windows).
bool IsPathSeparator(char c);

// `directory` and `name` joined by one separator.
std::string JoinPath(const std::string& directory, const std::string& name);

// The directory part of `path` ("." when it has none).
std::string DirectoryOf(const std::string& path);

// The last part of `path`, after its last separator.
std::string FileNameOf(const std::string& path);

// Reads the whole file at `path` into `data`.
Status ReadWholeFile(FileSystem& fs, const std::string& path, std::string* data);

// Reads at most `limit` bytes from the start of the file at `path` into `data`, and, when `info`
// is given, what GetInfo tells of the file, from the same opening.
Status ReadFilePrefix(FileSystem& fs, const std::string& path, std::size_t limit, std::string* data,
                      FileInfo* info = nullptr);

// Writes `data` to `tempPath`, syncs it and renames it over `path`, then syncs the directory. The
// old file at `path` stays in place until the rename, so it is never missing; on failure the
// temporary is removed and `path` is as it was, unless `*renamed` (when given) says that only the
// directory sync after the rename failed: the new file is then in place, though perhaps not
// durably.
Status ReplaceFile(FileSystem& fs, const std::string& path, const std::string& tempPath,
                   std::string_view data, bool* renamed = nullptr);

// The entry of `names` that is `name` without regard to the case of ASCII letters: the exact
// spelling, else the first in byte order of those that differ only in case; nothing when none.
std::optional<std::string> FindNameNoCase(const std::vector<std::string>& names,
                                          std::string_view name);

// A directory's listing, in which a name is found as FindNameNoCase finds it, without reading
// the whole list: a directory may hold tens of thousands of price files.
class NameIndex {
public:
    NameIndex() = default;
    explicit NameIndex(const std::vector<std::string>& names);

    // Builds the index a name at a time: Add each, then Sort once.
    void Add(std::string_view name);
    void Sort();

    std::optional<std::string> Find(std::string_view name) const;

private:
    std::string_view At(std::size_t i) const {
        return std::string_view(text_).substr(names_[i].first, names_[i].second);
    }

    // The names one after another, and where each is, in the order of their upper-case
    // spelling, then bytes: a few bytes a name beside its own.
    std::string text_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> names_;
};

// The name of the entry of `directory` that matches `name` without regard to the case of ASCII
// letters, preferring the exact spelling, as FindNameNoCase finds it in its listing; nothing when
// there is none. A listing failure is an error.
Status FindEntryNoCase(FileSystem& fs, const std::string& directory, std::string_view name,
                       std::optional<std::string>* found);

// True when two texts are equal without regard to the case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Below 0, 0 or above 0 as `a` comes before, with or after `b` in the byte order of their
// upper-case spellings (ASCII letters only).
int CompareNoCase(std::string_view a, std::string_view b);

}  // namespace msdb
