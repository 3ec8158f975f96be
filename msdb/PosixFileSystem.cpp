// The FileSystem of POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "msdb/FileSystem.h"

namespace msdb {
namespace {

Status IoError(const std::string& what, const std::string& path, int error) {
    std::string message = what + " " + path + ": " + std::strerror(error);
    switch (error) {
        case ENOENT:
            return Status::NotFound(std::move(message));
        case EEXIST:
            return Status::Exists(std::move(message));
        case ENOSPC:
        case EDQUOT:
            return Status::NoSpace(std::move(message));
        default:
            return Status::IoError(std::move(message));
    }
}

FileInfo InfoOf(const struct stat& st) {
    FileInfo info;
    info.kind = S_ISREG(st.st_mode)   ? FileKind::kRegular
                : S_ISDIR(st.st_mode) ? FileKind::kDirectory
                                      : FileKind::kOther;
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
    return info;
}

// fsync of `fd`, a failure named after `path`.
Status SyncFd(int fd, const std::string& path) {
    if (::fsync(fd) != 0) {
        return IoError("Cannot sync", path, errno);
    }
    return Status::Ok();
}

// Closes `*fd` and marks it closed, so that a later call does nothing.
Status CloseFd(int* fd, const std::string& path) {
    const int open = *fd;
    *fd = -1;
    if (open >= 0 && ::close(open) != 0) {
        return IoError("Cannot close", path, errno);
    }
    return Status::Ok();
}

// Reads up to `n` bytes into `buffer` with `call(at, size)` (read or pread), again after a
// signal, until the end of the file or until `more(bytes just read)` says no more will come.
template <typename Call, typename More>
Status ReadLoop(const std::string& path, std::size_t n, char* buffer, std::size_t* got, Call call,
                More more) {
    *got = 0;
    while (*got < n) {
        const ssize_t r = call(buffer + *got, n - *got);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return IoError("Cannot read", path, errno);
        }
        if (r == 0) {
            break;
        }
        *got += static_cast<std::size_t>(r);
        if (!more(static_cast<std::size_t>(r))) {
            break;
        }
    }
    return Status::Ok();
}

// Files are opened with O_NONBLOCK so that a pipe with no writer is refused rather than waited
// for; on the regular files that are kept open the flag does nothing, so it is left set.
class PosixReadableFile final : public ReadableFile {
public:
    PosixReadableFile(std::string path, int fd, FileInfo info)
        : path_(std::move(path)), fd_(fd), info_(info) {}
    ~PosixReadableFile() override { ::close(fd_); }

    Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        return ReadLoop(
            path_, n, buffer, got,
            [&](char* at, std::size_t size) { return ::read(fd_, at, size); },
            [&](std::size_t r) {
                read_ += r;
                // The end as it was opened: no empty read needed to learn it.
                return !(info_.size > 0 && read_ >= info_.size);
            });
    }

    Status Info(FileInfo* info) override {
        *info = info_;
        return Status::Ok();
    }

private:
    std::string path_;
    int fd_;
    FileInfo info_;
    std::uint64_t read_ = 0;
};

class PosixWritableFile final : public WritableFile {
public:
    PosixWritableFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~PosixWritableFile() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    Status Append(std::string_view data) override {
        while (!data.empty()) {
            ssize_t w = ::write(fd_, data.data(), data.size());
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return IoError("Cannot write", path_, errno);
            }
            data.remove_prefix(static_cast<std::size_t>(w));
        }
        return Status::Ok();
    }

    Status Sync() override { return SyncFd(fd_, path_); }

    int fd() const { return fd_; }

    Status Close() override { return CloseFd(&fd_, path_); }

private:
    std::string path_;
    int fd_;
};

class PosixUpdatableFile final : public UpdatableFile {
public:
    PosixUpdatableFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~PosixUpdatableFile() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    Status WriteAt(std::uint64_t offset, std::string_view data) override {
        while (!data.empty()) {
            ssize_t w = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return IoError("Cannot write", path_, errno);
            }
            data.remove_prefix(static_cast<std::size_t>(w));
            offset += static_cast<std::uint64_t>(w);
        }
        return Status::Ok();
    }

    Status Truncate(std::uint64_t length) override {
        if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
            return IoError("Cannot truncate", path_, errno);
        }
        return Status::Ok();
    }

    Status ReadAt(std::uint64_t offset, std::size_t n, char* buffer, std::size_t* got) override {
        return ReadLoop(
            path_, n, buffer, got,
            [&](char* at, std::size_t size) {
                return ::pread(fd_, at, size, static_cast<off_t>(offset + (at - buffer)));
            },
            [](std::size_t) { return true; });
    }

    Status Info(FileInfo* info) override {
        struct stat st;
        if (::fstat(fd_, &st) != 0) {
            return IoError("Cannot look at", path_, errno);
        }
        *info = InfoOf(st);
        return Status::Ok();
    }

    Status Sync() override { return SyncFd(fd_, path_); }

    Status Close() override { return CloseFd(&fd_, path_); }

private:
    std::string path_;
    int fd_;
};

class PosixDirectoryLock final : public DirectoryLock {
public:
    explicit PosixDirectoryLock(int fd) : fd_(fd) {}
    ~PosixDirectoryLock() override { ::close(fd_); }  // closing releases the lock

private:
    int fd_;
};

class PosixFileSystem final : public FileSystem {
public:
    Status OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            return IoError("Cannot open", path, errno);
        }
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            int error = errno;
            ::close(fd);
            return IoError("Cannot open", path, error);
        }
        if (!S_ISREG(st.st_mode)) {
            ::close(fd);
            return S_ISDIR(st.st_mode)
                       ? IoError("Cannot open", path, EISDIR)
                       : Status::IoError("Cannot open " + path + ": Not a regular file");
        }
        *file = std::make_unique<PosixReadableFile>(path, fd, InfoOf(st));
        return Status::Ok();
    }

    Status CreateForWrite(const std::string& path, std::unique_ptr<WritableFile>* file) override {
        return OpenWritable(path, O_WRONLY | O_CREAT | O_TRUNC, "Cannot create", file);
    }

    Status CreateNew(const std::string& path, std::unique_ptr<WritableFile>* file,
                     std::optional<std::uint32_t> permissions) override {
        Status s =
            OpenWritable(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, "Cannot create", file);
        if (s.ok() && permissions) {
            auto* posix = static_cast<PosixWritableFile*>(file->get());
            if (::fchmod(posix->fd(), static_cast<mode_t>(*permissions & 07777)) != 0) {
                int error = errno;
                file->reset();
                ::unlink(path.c_str());
                return IoError("Cannot set the permissions of", path, error);
            }
        }
        return s;
    }

    Status OpenForUpdate(const std::string& path, std::unique_ptr<UpdatableFile>* file,
                         FileInfo* info) override {
        int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            return IoError("Cannot open", path, errno);
        }
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return Status::IoError("Cannot open " + path + ": Not a regular file");
        }
        if (info != nullptr) {
            *info = InfoOf(st);
        }
        *file = std::make_unique<PosixUpdatableFile>(path, fd);
        return Status::Ok();
    }

    Status Rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            return IoError("Cannot rename " + from + " to", to, errno);
        }
        return Status::Ok();
    }

    Status Remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) {
            return IoError("Cannot remove", path, errno);
        }
        return Status::Ok();
    }

    Status SyncDirectory(const std::string& directory) override {
        int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return IoError("Cannot open", directory, errno);
        }
        int rc = ::fsync(fd);
        int error = errno;
        ::close(fd);
        if (rc != 0 && error != EINVAL) {  // some file systems cannot sync a directory
            return IoError("Cannot sync", directory, error);
        }
        return Status::Ok();
    }

#ifdef __linux__
    // One syncfs of the directory's file system writes every file's data and the directory's
    // names: far cheaper than an fsync per file when there are thousands. But it writes all that
    // other programs wrote to the file system and left unsynced as well, which may be gigabytes
    // (a download, a backup): a run of a few files syncs each of them and the directory instead.
    // Those few are all set writing before the first fsync, so that on a journalling file
    // system (ext4, XFS) the first fsync commits the blocks of all of them and the others
    // find theirs committed already: one commit of the journal instead of one per file.
    Status SyncFiles(const std::string& directory, const FileNames& names) override {
        constexpr std::size_t kSyncedOneByOne = 16;
        if (names.count <= kSyncedOneByOne) {
            std::vector<int> fds;
            std::vector<std::string> paths;
            fds.reserve(names.count);
            paths.reserve(names.count);
            Status s = Status::Ok();
            for (std::size_t i = 0; i < names.count; ++i) {
                const std::string& path = paths.emplace_back(JoinPath(directory, names.at(i)));
                const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
                if (fd < 0) {
                    s = IoError("Cannot open", path, errno);
                    break;
                }
                fds.push_back(fd);
                // Only a start: a system that cannot do it leaves the whole work to fsync.
                (void)::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
            }
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (s.ok()) {
                    s = SyncFd(fds[i], paths[i]);
                }
                ::close(fds[i]);
            }
            return s.ok() ? SyncDirectory(directory) : s;
        }
        int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return IoError("Cannot open", directory, errno);
        }
        int rc = ::syncfs(fd);
        int error = errno;
        ::close(fd);
        if (rc != 0) {
            return IoError("Cannot sync", directory, error);
        }
        return Status::Ok();
    }
#endif

    // Unnamed from the start where the file system can (O_TMPFILE), else removed as soon as
    // it is made: either way nothing is left behind, even by a process that is killed.
    Status OpenScratch(std::unique_ptr<UpdatableFile>* file) override {
        const char* tmpdir = std::getenv("TMPDIR");
        const std::string directory = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
        int fd = -1;
#ifdef O_TMPFILE
        fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
        if (fd < 0) {
            std::string path = directory + "/korvex-XXXXXX";
            fd = ::mkostemp(path.data(), O_CLOEXEC);
            if (fd < 0) {
                return IoError("Cannot create a temporary file in", directory, errno);
            }
            ::unlink(path.c_str());
        }
        *file = std::make_unique<PosixUpdatableFile>(directory + "/(temporary)", fd);
        return Status::Ok();
    }

    Status ListDirectory(const std::string& directory, std::vector<std::string>* names) override {
        return CollectEntries(directory, names);
    }

    Status ForEachEntry(const std::string& directory,
                        const std::function<void(std::string_view name)>& each) override {
        DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
        if (dir == nullptr) {
            return IoError("Cannot list", directory, errno);
        }
        // readdir gives null at the end and on an error alike; only errno tells them apart.
        for (;;) {
            errno = 0;
            struct dirent* entry = ::readdir(dir);
            if (entry == nullptr) {
                break;
            }
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                each(name);
            }
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0) {
            return IoError("Cannot list", directory, error);
        }
        return Status::Ok();
    }

    Status CanonicalPath(const std::string& path, std::string* canonical) override {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) {
            return IoError("Cannot resolve", path, errno);
        }
        *canonical = resolved;
        std::free(resolved);
        return Status::Ok();
    }

    Status GetInfo(const std::string& path, FileInfo* info) override {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            return IoError("Cannot look at", path, errno);
        }
        *info = InfoOf(st);
        return Status::Ok();
    }

    bool DistinguishesCase() const override {
        return true;
    }

    // Nothing of it is shared: each call and each file stands alone.
    bool TakesCallsFromManyThreads() const override {
        return true;
    }

    // Half of the limit of open files, raised first to the most the system allows a process (up
    // to 65,536): the default soft limit of 1,024 would keep a run of thousands of securities from
    // holding their price files open between reading and writing them.
    std::size_t FilesToKeepOpen() override {
        static const std::size_t files = [] {
            struct rlimit limit;
            if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
                return std::size_t{0};
            }
            const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, 65536);
            if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
                struct rlimit raised = limit;
                raised.rlim_cur = wanted;
                if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
                    limit = raised;
                }
            }
            const rlim_t soft = std::min<rlim_t>(limit.rlim_cur, 65536);
            return static_cast<std::size_t>(soft / 2);
        }();
        return files;
    }

    bool IsDirectory(const std::string& path) override {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    Status LockDirectory(const std::string& directory, std::unique_ptr<DirectoryLock>* lock,
                         LockMode mode) override {
        int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return IoError("Cannot open", directory, errno);
        }
        if (::flock(fd, (mode == LockMode::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
            int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                return Status::Busy("Another process has locked " + directory);
            }
            return IoError("Cannot lock", directory, error);
        }
        *lock = std::make_unique<PosixDirectoryLock>(fd);
        return Status::Ok();
    }

private:
    static Status OpenWritable(const std::string& path, int flags, const char* what,
                               std::unique_ptr<WritableFile>* file) {
        int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0) {
            return IoError(what, path, errno);
        }
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return Status::IoError(std::string(what) + " " + path + ": Not a regular file");
        }
        *file = std::make_unique<PosixWritableFile>(path, fd);
        return Status::Ok();
    }
};

}  // namespace

FileSystem& FileSystem::Default() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace msdb
