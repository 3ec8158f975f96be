// The FileSystem of Windows, through the Win32 API. Paths are UTF-8 inside Korvex and UTF-16 at the
// API; a path too long for the classic limit goes to the API in its "\\?\" form.
//
// Where Windows and POSIX differ, this keeps the POSIX behaviour the rest of Korvex expects:
// - A read-only file (FILE_ATTRIBUTE_READONLY, permission bits 0444) can still be replaced by a
//   rename or removed, as on POSIX, where the directory and not the file decides; the attribute is
//   cleared just for that and the replacement carries it again when it was made read-only.
// - SyncDirectory has nothing to flush: a rename is durable when MoveFileExW returns, since it is
//   made with MOVEFILE_WRITE_THROUGH, and NTFS journals its directories.
// - SyncFiles flushes each file (FlushFileBuffers): Windows has no sync of a whole volume that
//   a program without administrator rights may call.
// - LockDirectory locks a file in the directory (kLockFileName), opened with delete-on-close so
//   that it disappears with the last handle, also when the process is killed. A directory handle
//   itself cannot be locked with LockFileEx.
// A file that another program has open without sharing it gives a Busy status that says so.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "msdb/FileSystem.h"
#include "msdb/Journal.h"

namespace msdb {
namespace {

// The longest path that every Win32 function takes without the "\\?\" form (a directory must leave
// room for an 8.3 name below it).
constexpr std::size_t kClassicPathLimit = MAX_PATH - 12;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A file just written is often opened for a moment by a virus scanner or the search indexer; a
// rename or removal that meets it is tried again for about a third of a second.
constexpr int kInUseRetries = 5;
constexpr std::chrono::milliseconds kFirstInUseWait{20};

std::wstring Wide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
    return text;
}

bool StartsWith(std::wstring_view text, std::wstring_view start) {
    return text.substr(0, start.size()) == start;
}

// The absolute form of `path`, with backslashes and without "." or ".."; empty on failure.
std::wstring FullPath(const std::wstring& path) {
    DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (length == 0) {
        return {};
    }
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    full.resize(length < full.size() ? length : 0);
    return full;
}

// `path` as the API is given it: UTF-16, and in the "\\?\" form (absolute, with backslashes and
// without "." or "..") when it is too long for the classic form.
std::wstring ApiPath(const std::string& path) {
    std::wstring wide = Wide(path.empty() ? "." : path);
    if (wide.size() < kClassicPathLimit || StartsWith(wide, L"\\\\?\\") ||
        StartsWith(wide, L"\\\\.\\")) {
        return wide;
    }
    std::wstring full = FullPath(wide);
    if (full.empty()) {
        return wide;
    }
    if (full.size() < kClassicPathLimit) {
        return full;
    }
    if (StartsWith(full, L"\\\\")) {  // \\server\share\... becomes \\?\UNC\server\share\...
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}

// A path the API gave back, as the user writes it: without "\\?\" (or "\\?\UNC\" for "\\").
std::string UserPath(std::wstring path) {
    if (StartsWith(path, L"\\\\?\\UNC\\")) {
        path = L"\\" + path.substr(7);
    } else if (StartsWith(path, L"\\\\?\\")) {
        path = path.substr(4);
    }
    return Narrow(path);
}

std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length =
        FormatMessageW(flags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                       reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0) {
        length = FormatMessageW(flags, nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                nullptr);
    }
    std::string text = length == 0 ? std::string() : Narrow(std::wstring_view(buffer, length));
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "Windows error " + std::to_string(error) : text;
}

bool IsInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The status of a failed call about `path`, with the reasons that Linux also gives in its words.
Status Failure(const std::string& what, const std::string& path, DWORD error) {
    const std::string head = what + " " + path + ": ";
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return Status::NotFound(head + "No such file or directory");
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return Status::Exists(head + "File exists");
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Status::NoSpace(head + "No space left on device");
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return Status::Busy(head + "another program is using the file.");
        case ERROR_ACCESS_DENIED:
            return Status::IoError(head + "Permission denied");
        case ERROR_DIRECTORY:
            return Status::IoError(head + "Not a directory");
        case ERROR_WRITE_PROTECT:
            return Status::IoError(head + "Read-only file system");
        default:
            return Status::IoError(head + SystemMessage(error));
    }
}

DWORD Attributes(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

bool IsReadOnlyFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// True when another program holds `path` open in a way that forbids renaming or removing it.
bool HeldByAnother(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return IsInUse(GetLastError());
}

// Runs `call` (a rename or removal), trying again for a moment while a file is in use, and once
// more with the read-only attribute of `readOnlyTarget` cleared when that is what refused it.
template <typename Call>
DWORD RunChange(Call call, const std::wstring& readOnlyTarget) {
    auto wait = kFirstInUseWait;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0;; ++attempt) {
        if (call()) {
            return ERROR_SUCCESS;
        }
        error = GetLastError();
        if (error == ERROR_ACCESS_DENIED && !readOnlyTarget.empty()) {
            const DWORD attributes = Attributes(readOnlyTarget);
            if (IsReadOnlyFile(attributes) &&
                SetFileAttributesW(readOnlyTarget.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
                if (call()) {
                    return ERROR_SUCCESS;
                }
                error = GetLastError();
                SetFileAttributesW(readOnlyTarget.c_str(), attributes);
            }
        }
        if ((!IsInUse(error) && error != ERROR_ACCESS_DENIED) || attempt + 1 == kInUseRetries) {
            return error;
        }
        std::this_thread::sleep_for(wait);
        wait *= 2;
    }
}

// What GetInfo tells of the file that `h` has open.
Status InfoOfHandle(HANDLE h, const std::string& path, FileInfo* info) {
    BY_HANDLE_FILE_INFORMATION about;
    if (GetFileInformationByHandle(h, &about) == 0) {
        return Failure("Cannot look at", path, GetLastError());
    }
    // Windows keeps one bit of permission: read-only, for files only.
    constexpr std::uint32_t kReadWrite = 0666;
    constexpr std::uint32_t kReadOnly = 0444;
    constexpr std::uint32_t kDirectory = 0777;
    if ((about.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        info->kind = FileKind::kDirectory;
        info->permissions = kDirectory;
    } else {
        info->kind = GetFileType(h) == FILE_TYPE_DISK ? FileKind::kRegular : FileKind::kOther;
        info->permissions =
            (about.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? kReadOnly : kReadWrite;
    }
    info->size = (static_cast<std::uint64_t>(about.nFileSizeHigh) << 32) | about.nFileSizeLow;
    return Status::Ok();
}

// FlushFileBuffers of `handle`, a failure named after `path`.
Status SyncHandle(HANDLE handle, const std::string& path) {
    if (!FlushFileBuffers(handle)) {
        return Failure("Cannot sync", path, GetLastError());
    }
    return Status::Ok();
}

// Closes `*handle` and marks it closed, so that a later call does nothing.
Status CloseHandleOnce(HANDLE* handle, const std::string& path) {
    const HANDLE open = *handle;
    *handle = INVALID_HANDLE_VALUE;
    if (open != INVALID_HANDLE_VALUE && !CloseHandle(open)) {
        return Failure("Cannot close", path, GetLastError());
    }
    return Status::Ok();
}

// Reads up to `n` bytes of `handle` into `buffer` until the end of the file: from its file
// pointer, or from `*offset` when given.
Status ReadHandle(HANDLE handle, const std::string& path, const std::uint64_t* offset,
                  std::size_t n, char* buffer, std::size_t* got) {
    *got = 0;
    while (*got < n) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n - *got, 1u << 30));
        OVERLAPPED at = {};
        if (offset != nullptr) {
            at.Offset = static_cast<DWORD>(*offset + *got);
            at.OffsetHigh = static_cast<DWORD>((*offset + *got) >> 32);
        }
        DWORD read = 0;
        if (!ReadFile(handle, buffer + *got, want, &read, offset != nullptr ? &at : nullptr)) {
            const DWORD error = GetLastError();
            if (offset != nullptr && error == ERROR_HANDLE_EOF) {
                break;
            }
            return Failure("Cannot read", path, error);
        }
        if (read == 0) {
            break;
        }
        *got += read;
    }
    return Status::Ok();
}

class WindowsReadableFile final : public ReadableFile {
public:
    WindowsReadableFile(std::string path, HANDLE handle)
        : path_(std::move(path)), handle_(handle) {}
    ~WindowsReadableFile() override { CloseHandle(handle_); }

    Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        return ReadHandle(handle_, path_, nullptr, n, buffer, got);
    }

    Status Info(FileInfo* info) override { return InfoOfHandle(handle_, path_, info); }

private:
    std::string path_;
    HANDLE handle_;
};

class WindowsWritableFile final : public WritableFile {
public:
    WindowsWritableFile(std::string path, HANDLE handle)
        : path_(std::move(path)), handle_(handle) {}
    ~WindowsWritableFile() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }

    Status Append(std::string_view data) override {
        while (!data.empty()) {
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
            DWORD written = 0;
            if (!WriteFile(handle_, data.data(), want, &written, nullptr)) {
                return Failure("Cannot write", path_, GetLastError());
            }
            data.remove_prefix(written);
        }
        return Status::Ok();
    }

    Status Sync() override { return SyncHandle(handle_, path_); }

    Status Close() override { return CloseHandleOnce(&handle_, path_); }

private:
    std::string path_;
    HANDLE handle_;
};

class WindowsUpdatableFile final : public UpdatableFile {
public:
    WindowsUpdatableFile(std::string path, HANDLE handle)
        : path_(std::move(path)), handle_(handle) {}
    ~WindowsUpdatableFile() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }

    Status WriteAt(std::uint64_t offset, std::string_view data) override {
        while (!data.empty()) {
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
            OVERLAPPED at = {};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD written = 0;
            if (!WriteFile(handle_, data.data(), want, &written, &at)) {
                return Failure("Cannot write", path_, GetLastError());
            }
            data.remove_prefix(written);
            offset += written;
        }
        return Status::Ok();
    }

    Status Truncate(std::uint64_t length) override {
        FILE_END_OF_FILE_INFO end = {};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
        if (!SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end)) {
            return Failure("Cannot truncate", path_, GetLastError());
        }
        return Status::Ok();
    }

    Status Sync() override { return SyncHandle(handle_, path_); }

    Status Close() override { return CloseHandleOnce(&handle_, path_); }

    Status ReadAt(std::uint64_t offset, std::size_t n, char* buffer, std::size_t* got) override {
        return ReadHandle(handle_, path_, &offset, n, buffer, got);
    }

    Status Info(FileInfo* info) override { return InfoOfHandle(handle_, path_, info); }

private:
    std::string path_;
    HANDLE handle_;
};

class WindowsDirectoryLock final : public DirectoryLock {
public:
    explicit WindowsDirectoryLock(HANDLE handle) : handle_(handle) {}
    // Closing releases the lock and, with the last handle, removes the lock file.
    ~WindowsDirectoryLock() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }

private:
    HANDLE handle_;
};

// The identity of an open file: its volume and its number there.
bool SameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x;
    BY_HANDLE_FILE_INFORMATION y;
    return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

class WindowsFileSystem final : public FileSystem {
public:
    Status OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
        const std::wstring api = ApiPath(path);
        HANDLE h = CreateFileW(api.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            const DWORD attributes = Attributes(api);
            if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return Status::IoError("Cannot open " + path + ": Is a directory");
            }
            return Failure("Cannot open", path, error);
        }
        if (GetFileType(h) != FILE_TYPE_DISK) {
            CloseHandle(h);
            return Status::IoError("Cannot open " + path + ": Not a regular file");
        }
        *file = std::make_unique<WindowsReadableFile>(path, h);
        return Status::Ok();
    }

    Status CreateForWrite(const std::string& path, std::unique_ptr<WritableFile>* file) override {
        return OpenWritable(path, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, file);
    }

    Status CreateNew(const std::string& path, std::unique_ptr<WritableFile>* file,
                     std::optional<std::uint32_t> permissions) override {
        constexpr std::uint32_t kOwnerWrite = 0200;
        const DWORD attributes = permissions && (*permissions & kOwnerWrite) == 0
                                     ? FILE_ATTRIBUTE_READONLY
                                     : FILE_ATTRIBUTE_NORMAL;
        return OpenWritable(path, CREATE_NEW, attributes, file);
    }

    Status OpenForUpdate(const std::string& path, std::unique_ptr<UpdatableFile>* file,
                         FileInfo* info) override {
        const std::wstring api = ApiPath(path);
        HANDLE h = CreateFileW(api.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_ACCESS_DENIED && HeldByAnother(api)) {
                return Failure("Cannot open", path, ERROR_SHARING_VIOLATION);
            }
            return Failure("Cannot open", path, error);
        }
        BY_HANDLE_FILE_INFORMATION about;
        if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &about) ||
            (about.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                0) {
            CloseHandle(h);
            return Status::IoError("Cannot open " + path + ": Not a regular file");
        }
        if (info != nullptr) {
            if (Status s = InfoOfHandle(h, path, info); !s.ok()) {
                CloseHandle(h);
                return s;
            }
        }
        *file = std::make_unique<WindowsUpdatableFile>(path, h);
        return Status::Ok();
    }

    Status Rename(const std::string& from, const std::string& to) override {
        return Move(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }

    Status Remove(const std::string& path) override {
        const std::wstring api = ApiPath(path);
        const DWORD error = RunChange([&] { return DeleteFileW(api.c_str()) != 0; }, api);
        if (error == ERROR_SUCCESS) {
            return Status::Ok();
        }
        if (error == ERROR_ACCESS_DENIED && HeldByAnother(api)) {
            return Failure("Cannot remove", path, ERROR_SHARING_VIOLATION);
        }
        return Failure("Cannot remove", path, error);
    }

    Status SyncDirectory(const std::string& directory) override {
        // Nothing to flush (see the top of this file); only a directory that is gone is reported.
        const DWORD attributes = Attributes(ApiPath(directory));
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            return Failure("Cannot open", directory, GetLastError());
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return Failure("Cannot open", directory, ERROR_DIRECTORY);
        }
        return Status::Ok();
    }

    Status ListDirectory(const std::string& directory, std::vector<std::string>* names) override {
        return CollectEntries(directory, names);
    }

    Status ForEachEntry(const std::string& directory,
                        const std::function<void(std::string_view name)>& each) override {
        std::wstring pattern = ApiPath(directory);
        if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/' &&
            pattern.back() != L':') {
            pattern += L'\\';
        }
        pattern += L'*';
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
        if (find == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND && IsDirectory(directory)) {
                return Status::Ok();  // the root of a drive lists no "." and ".."
            }
            return Failure("Cannot list", directory, error);
        }
        do {
            std::wstring_view name = entry.cFileName;
            if (name != L"." && name != L"..") {
                each(Narrow(name));
            }
        } while (FindNextFileW(find, &entry));
        const DWORD error = GetLastError();
        FindClose(find);
        if (error != ERROR_NO_MORE_FILES) {
            return Failure("Cannot list", directory, error);
        }
        return Status::Ok();
    }

    Status CanonicalPath(const std::string& path, std::string* canonical) override {
        HANDLE h = OpenAttributes(path);
        if (h == INVALID_HANDLE_VALUE) {
            return Failure("Cannot resolve", path, GetLastError());
        }
        // Room for the longest path there is, so that one call is enough.
        constexpr DWORD kLongestPath = 32768;
        std::wstring final(kLongestPath, L'\0');
        const DWORD length = GetFinalPathNameByHandleW(h, final.data(), kLongestPath,
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        const DWORD error = GetLastError();
        CloseHandle(h);
        if (length == 0 || length >= kLongestPath) {
            // Wine cannot name a file whose path is longer than MAX_PATH; the full path is the
            // next best, with "." and ".." resolved but not links.
            const std::wstring full = FullPath(Wide(path));
            if (full.empty()) {
                return Failure("Cannot resolve", path, error);
            }
            final = full;
        } else {
            final.resize(length);
        }
        *canonical = UserPath(std::move(final));
        return Status::Ok();
    }

    bool IsDirectory(const std::string& path) override {
        const DWORD attributes = Attributes(ApiPath(path));
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    Status GetInfo(const std::string& path, FileInfo* info) override {
        HANDLE h = OpenAttributes(path);
        if (h == INVALID_HANDLE_VALUE) {
            return Failure("Cannot look at", path, GetLastError());
        }
        const Status s = InfoOfHandle(h, path, info);
        CloseHandle(h);
        return s;
    }

    // Windows has no small limit of open handles.
    std::size_t FilesToKeepOpen() override { return 16384; }

    // A uniquely named file of the user's temporary folder, deleted by Windows when its handle
    // closes, the process's end included.
    Status OpenScratch(std::unique_ptr<UpdatableFile>* file) override {
        wchar_t folder[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
        if (length == 0 || length > MAX_PATH) {
            return Failure("Cannot find the folder for", "temporary files", GetLastError());
        }
        wchar_t name[MAX_PATH];
        if (GetTempFileNameW(folder, L"kvx", 0, name) == 0) {
            return Failure("Cannot create a temporary file in", Narrow(folder), GetLastError());
        }
        HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                               TRUNCATE_EXISTING,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            DeleteFileW(name);
            return Failure("Cannot open", Narrow(name), error);
        }
        *file = std::make_unique<WindowsUpdatableFile>(Narrow(name), h);
        return Status::Ok();
    }
    // Each call and each handle stands alone.
    bool TakesCallsFromManyThreads() const override { return true; }

    Status CheckReplaceable(const std::string& path) override {
        const std::wstring api = ApiPath(path);
        auto wait = kFirstInUseWait;
        for (int attempt = 1; HeldByAnother(api); ++attempt) {
            if (attempt == kInUseRetries) {
                return Failure("Cannot replace", path, ERROR_SHARING_VIOLATION);
            }
            std::this_thread::sleep_for(wait);
            wait *= 2;
        }
        return Status::Ok();
    }

    Status LockDirectory(const std::string& directory, std::unique_ptr<DirectoryLock>* lock,
                         LockMode mode) override {
        std::wstring path = ApiPath(directory);
        if (!path.empty() && path.back() != L'\\' && path.back() != L'/') {
            path += L'\\';
        }
        path += Wide(kLockFileName);
        // Every run opens the one lock file, sharing it, and the lock on its first byte decides.
        HANDLE h =
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
                // A lock file whose last handle is closing refuses to open: its holder is just
                // ending. Without one, this process may not write the directory, and needs no lock
                // against its own writes.
                const bool lockFileThere = Attributes(path) != INVALID_FILE_ATTRIBUTES ||
                                           GetLastError() != ERROR_FILE_NOT_FOUND;
                if (error == ERROR_ACCESS_DENIED && lockFileThere) {
                    return Status::Busy("Another process has locked " + directory);
                }
                *lock = std::make_unique<WindowsDirectoryLock>(INVALID_HANDLE_VALUE);
                return Status::Ok();
            }
            return Failure("Cannot lock", directory, error);
        }
        OVERLAPPED at = {};
        const DWORD exclusive = mode == LockMode::kExclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
        if (!LockFileEx(h, exclusive | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            const DWORD error = GetLastError();
            CloseHandle(h);
            if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
                return Status::Busy("Another process has locked " + directory);
            }
            return Failure("Cannot lock", directory, error);
        }
        // The holder before may have closed the file just as this run opened it: the name then
        // goes with this handle, and a third run could lock a new file of the same name. The lock
        // counts only while the name still leads to the locked file.
        HANDLE again = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool current = again != INVALID_HANDLE_VALUE && SameFile(h, again);
        if (again != INVALID_HANDLE_VALUE) {
            CloseHandle(again);
        }
        if (!current) {
            CloseHandle(h);
            return Status::Busy("Another process has locked " + directory);
        }
        *lock = std::make_unique<WindowsDirectoryLock>(h);
        return Status::Ok();
    }

private:
    // A handle that can only look at the file (or directory) at `path`, following links.
    static HANDLE OpenAttributes(const std::string& path) {
        return CreateFileW(ApiPath(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }

    static Status OpenWritable(const std::string& path, DWORD disposition, DWORD attributes,
                               std::unique_ptr<WritableFile>* file) {
        const std::wstring api = ApiPath(path);
        HANDLE h = CreateFileW(api.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, disposition, attributes, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            const DWORD existing = Attributes(api);
            if (error == ERROR_ACCESS_DENIED && existing != INVALID_FILE_ATTRIBUTES &&
                (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return Status::IoError("Cannot create " + path + ": Is a directory");
            }
            return Failure("Cannot create", path, error);
        }
        if (GetFileType(h) != FILE_TYPE_DISK) {
            CloseHandle(h);
            return Status::IoError("Cannot create " + path + ": Not a regular file");
        }
        *file = std::make_unique<WindowsWritableFile>(path, h);
        return Status::Ok();
    }

    static Status Move(const std::string& from, const std::string& to, DWORD flags) {
        const std::wstring source = ApiPath(from);
        const std::wstring target = ApiPath(to);
        const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
        const DWORD error =
            RunChange([&] { return MoveFileExW(source.c_str(), target.c_str(), flags) != 0; },
                      replace ? target : std::wstring());
        if (error == ERROR_SUCCESS) {
            return Status::Ok();
        }
        // Say which of the two files another program holds, when one does.
        if (IsInUse(error) || error == ERROR_ACCESS_DENIED) {
            if (HeldByAnother(source)) {
                return Failure("Cannot rename", from, ERROR_SHARING_VIOLATION);
            }
            if (replace && HeldByAnother(target)) {
                return Failure("Cannot replace", to, ERROR_SHARING_VIOLATION);
            }
        }
        return Failure("Cannot rename " + from + " to", to, error);
    }
};

}  // namespace

FileSystem& FileSystem::Default() {
    static WindowsFileSystem fs;
    return fs;
}

}  // namespace msdb
