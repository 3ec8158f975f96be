#include "msdb/FileSystem.h"

#include <algorithm>
#include <cctype>

namespace msdb {

bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

namespace {

// The length of the drive prefix of `path` ("C:"), 0 when it has none. A drive alone names the
// current directory of that drive, not its root: "C:" and "C:\" are different places.
std::size_t DrivePrefixLength(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        return 2;
    }
#else
    (void)path;
#endif
    return 0;
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) {
        return name;
    }
    // Exactly as long as the path: operator+ would leave room for as much again.
    std::string path;
    const bool separated =
        IsPathSeparator(directory.back()) || directory.size() == DrivePrefixLength(directory);
    path.reserve(directory.size() + (separated ? 0 : 1) + name.size());
    path += directory;
    if (!separated) {
        path += kPathSeparator;
    }
    path += name;
    return path;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t drive = DrivePrefixLength(path);
    auto it = std::find_if(path.rbegin(), path.rend() - static_cast<std::ptrdiff_t>(drive),
                           IsPathSeparator);
    if (it == path.rend() - static_cast<std::ptrdiff_t>(drive)) {
        return drive == 0 ? "." : path.substr(0, drive);
    }
    std::size_t end = static_cast<std::size_t>(path.rend() - it) - 1;
    // The separator right after the drive, or the leading one, is the root and stays.
    return end == drive ? path.substr(0, drive + 1) : path.substr(0, end);
}

std::string FileNameOf(const std::string& path) {
    auto it = std::find_if(path.rbegin(), path.rend(), IsPathSeparator);
    return std::string(it.base(), path.end());
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

Status FileSystem::ForEachEntry(const std::string& directory,
                                const std::function<void(std::string_view name)>& each) {
    std::vector<std::string> names;
    if (Status s = ListDirectory(directory, &names); !s.ok()) {
        return s;
    }
    for (const std::string& name : names) {
        each(name);
    }
    return Status::Ok();
}

Status FileSystem::CollectEntries(const std::string& directory, std::vector<std::string>* names) {
    names->clear();
    Status s =
        ForEachEntry(directory, [names](std::string_view name) { names->emplace_back(name); });
    if (!s.ok()) {
        names->clear();
    }
    return s;
}

Status FileSystem::SyncFiles(const std::string& directory, const FileNames& names) {
    for (std::size_t i = 0; i < names.count; ++i) {
        std::unique_ptr<UpdatableFile> file;
        Status s = OpenForUpdate(JoinPath(directory, names.at(i)), &file);
        if (s.ok()) {
            s = file->Sync();
            Status closed = file->Close();
            if (s.ok()) {
                s = closed;
            }
        }
        if (!s.ok()) {
            return s;
        }
    }
    return SyncDirectory(directory);
}

Status ReadFilePrefix(FileSystem& fs, const std::string& path, std::size_t limit, std::string* data,
                      FileInfo* info) {
    constexpr std::size_t kChunk = 65536;
    std::unique_ptr<ReadableFile> file;
    Status s = fs.OpenForRead(path, &file);
    FileInfo own;
    // A file read whole is read into room of its size: a buffer that doubled as it filled could
    // hold nearly twice as much.
    const bool large = limit > kChunk;
    if (s.ok() && (info != nullptr || large)) {
        s = file->Info(info != nullptr ? info : &own);
    }
    if (!s.ok()) {
        return s;
    }
    data->clear();
    if (large) {
        const std::uint64_t size = (info != nullptr ? info : &own)->size;
        data->reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size, limit)));
    }
    char buffer[kChunk];
    while (data->size() < limit) {
        std::size_t want = std::min(sizeof buffer, limit - data->size());
        std::size_t got = 0;
        s = file->Read(want, buffer, &got);
        if (!s.ok()) {
            return s;
        }
        data->append(buffer, got);
        if (got < want) {
            break;
        }
    }
    return Status::Ok();
}

Status ReadWholeFile(FileSystem& fs, const std::string& path, std::string* data) {
    return ReadFilePrefix(fs, path, static_cast<std::size_t>(-1), data);
}

Status ReplaceFile(FileSystem& fs, const std::string& path, const std::string& tempPath,
                   std::string_view data, bool* renamed) {
    if (renamed != nullptr) {
        *renamed = false;
    }
    std::unique_ptr<WritableFile> file;
    Status s = fs.CreateForWrite(tempPath, &file);
    if (s.ok()) {
        s = file->Append(data);
        if (s.ok()) {
            s = file->Sync();
        }
        Status closed = file->Close();
        if (s.ok()) {
            s = closed;
        }
    }
    if (s.ok()) {
        s = fs.Rename(tempPath, path);
    }
    if (!s.ok()) {
        (void)fs.Remove(tempPath);  // best effort: the old file is intact either way
        return s;
    }
    if (renamed != nullptr) {
        *renamed = true;
    }
    return fs.SyncDirectory(DirectoryOf(path));
}

Status FindEntryNoCase(FileSystem& fs, const std::string& directory, std::string_view name,
                       std::optional<std::string>* found) {
    found->reset();
    // The exact spelling, when it is there, is the answer: a directory of thousands of price files
    // need not be listed for it.
    FileInfo info;
    if (fs.DistinguishesCase() && fs.GetInfo(JoinPath(directory, std::string(name)), &info).ok()) {
        *found = std::string(name);
        return Status::Ok();
    }
    std::vector<std::string> names;
    Status s = fs.ListDirectory(directory, &names);
    if (!s.ok()) {
        return s;
    }
    *found = FindNameNoCase(names, name);
    return Status::Ok();
}

std::optional<std::string> FindNameNoCase(const std::vector<std::string>& names,
                                          std::string_view name) {
    const std::string* best = nullptr;
    for (const std::string& entry : names) {
        if (entry == name) {
            return entry;
        }
        if (EqualsNoCase(entry, name) && (best == nullptr || entry < *best)) {
            best = &entry;
        }
    }
    return best == nullptr ? std::nullopt : std::optional<std::string>(*best);
}

int CompareNoCase(std::string_view a, std::string_view b) {
    auto upper = [](char c) {
        return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (upper(a[i]) != upper(b[i])) {
            return upper(a[i]) < upper(b[i]) ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The listing is sorted where it lies: copied to fit, a directory of tens of thousands of files
// would be held twice while it is.
NameIndex::NameIndex(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        Add(name);
    }
    Sort();
}

void NameIndex::Add(std::string_view name) {
    names_.emplace_back(static_cast<std::uint32_t>(text_.size()),
                        static_cast<std::uint32_t>(name.size()));
    text_ += name;
}

void NameIndex::Sort() {
    std::sort(names_.begin(), names_.end(), [this](const auto& x, const auto& y) {
        const std::string_view a = std::string_view(text_).substr(x.first, x.second);
        const std::string_view b = std::string_view(text_).substr(y.first, y.second);
        const int order = CompareNoCase(a, b);
        return order != 0 ? order < 0 : a < b;
    });
}

std::optional<std::string> NameIndex::Find(std::string_view name) const {
    std::size_t from = 0;
    for (std::size_t count = names_.size(); count > 0;) {  // the first not before `name`
        const std::size_t half = count / 2;
        if (CompareNoCase(At(from + half), name) < 0) {
            from += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    std::size_t to = from;
    while (to < names_.size() && CompareNoCase(At(to), name) == 0) {
        if (At(to) == name) {
            return std::string(At(to));
        }
        ++to;
    }
    // Those that differ only in case are in byte order: the first is the one to take.
    return from == to ? std::nullopt : std::optional<std::string>(At(from));
}

}  // namespace msdb
