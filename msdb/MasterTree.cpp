#include "msdb/MasterTree.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace msdb {
namespace {

bool EndsWithSeparator(std::string_view path) {
#ifdef _WIN32
    if (path.back() == ':') {
        return true;
    }
#endif
    return IsPathSeparator(path.back());
}

// `directory` ending in a separator, so that a name can be put behind it; "" stays "".
std::string AsParent(std::string directory) {
    if (!directory.empty() && !EndsWithSeparator(directory)) {
        directory += kPathSeparator;
    }
    return directory;
}

// True when `path` is `root` or lies below it.
bool IsInside(const std::string& path, const std::string& root) {
    if (path == root) {
        return true;
    }
    std::string prefix = root;
    if (prefix.empty() || !IsPathSeparator(prefix.back())) {
        prefix += kPathSeparator;
    }
    return path.compare(0, prefix.size(), prefix) == 0;
}

// Reads the MASTER of `directory` ("" for the current directory).
Status ReadMasterOf(FileSystem& fs, const std::string& directory, Master* master) {
    const std::string where = directory.empty() ? std::string(".") : directory;
    std::optional<std::string> path;
    Status s = LocateMaster(fs, where, &path);
    if (!s.ok()) {
        return s;
    }
    if (!path) {
        return Status::NotFound("No MASTER file in " + where);
    }
    return Master::Read(fs, *path, master);
}

struct Level {
    std::string directory;
    int depth = 0;
};

}  // namespace

TreeGuard::TreeGuard(FileSystem& fs, const std::string& startDirectory) : fs_(fs) {
    if (!fs.CanonicalPath(startDirectory.empty() ? "." : startDirectory, &root_).ok()) {
        root_.clear();
    }
    visited_.insert(root_);
}

std::optional<std::string> TreeGuard::Enter(const std::string& parentPath, const std::string& name,
                                            int depth) {
    if (name.empty() || name == "." || name == ".." ||
        std::any_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\'; }) ||
        depth >= kMaxSearchLevels) {
        return std::nullopt;
    }
    std::string path = parentPath + name;
    if (!fs_.IsDirectory(path)) {
        // Entries written on systems that ignore case may spell the directory otherwise.
        std::optional<std::string> spelled;
        if (!FindEntryNoCase(fs_, parentPath.empty() ? "." : parentPath, name, &spelled).ok() ||
            !spelled) {
            return std::nullopt;
        }
        path = parentPath + *spelled;
    }
    std::string canonical;
    if (!fs_.IsDirectory(path) || !fs_.CanonicalPath(path, &canonical).ok() ||
        (!root_.empty() && !IsInside(canonical, root_)) || !visited_.insert(canonical).second) {
        return std::nullopt;
    }
    return path;
}

void WalkMasterTree(FileSystem& fs, const std::string& startDirectory, MasterTreeVisitor& visitor) {
    TreeGuard guard(fs, AsParent(startDirectory));
    // Depth first: each level keeps the sub-directory names it has not entered yet.
    struct Pending {
        Level level;
        std::vector<std::string> subdirectories;
        std::size_t next = 0;
    };
    std::vector<Pending> stack;
    auto visit = [&](const Level& level) -> bool {
        Master master;
        Status s = ReadMasterOf(fs, level.directory, &master);
        visitor.OnMaster(level.directory, s, master);
        Pending pending{level, {}, 0};
        const int count = s.ok() ? std::max<int>(master.header().recordCount, 0) : 0;
        bool whole = true;
        for (int i = 1; i <= count; ++i) {
            if (static_cast<std::size_t>(i) > master.RecordsPresent()) {
                whole = false;  // the file ends before its last counted record
                break;
            }
            RecordBytes record = master.Record(static_cast<std::size_t>(i));
            if (IsSubdirectoryEntry(record)) {
                pending.subdirectories.push_back(SubdirectoryName(record));
            } else if (visitor.OnSecurity(level.directory, static_cast<std::size_t>(i), record)) {
                return true;
            }
        }
        if (!whole) {
            pending.subdirectories.clear();
        }
        stack.push_back(std::move(pending));
        return false;
    };
    if (visit(Level{startDirectory, 0})) {
        return;
    }
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next == top.subdirectories.size()) {
            stack.pop_back();
            continue;
        }
        const std::string name = top.subdirectories[top.next++];
        const int depth = static_cast<int>(stack.size());
        std::optional<std::string> path = guard.Enter(AsParent(top.level.directory), name, depth);
        if (path && visit(Level{*path, depth})) {
            return;
        }
    }
}

std::optional<FoundSecurity> FindSecurity(FileSystem& fs, std::string_view startDirectory,
                                          std::string_view symbol) {
    class Finder final : public MasterTreeVisitor {
    public:
        explicit Finder(std::string_view sought) : sought_(sought) {}
        bool OnSecurity(const std::string& directory, std::size_t recordNumber,
                        RecordBytes record) override {
            if (!SecurityMatches(record, sought_)) {
                return false;
            }
            FoundSecurity found;
            std::copy(record.begin(), record.end(), found.record.begin());
            for (std::size_t offset : {kFirstDateOffset, kLastDateOffset}) {
                MbfBytes mbf;
                std::copy_n(record.begin() + static_cast<std::ptrdiff_t>(offset), mbf.size(),
                            mbf.begin());
                float value = FromMbf(mbf);
                std::memcpy(found.record.data() + offset, &value, sizeof value);
            }
            found.directory = AsParent(directory);
            found.recordNumber = recordNumber;
            result = std::move(found);
            return true;
        }
        std::optional<FoundSecurity> result;

    private:
        std::string_view sought_;
    };
    Finder finder(symbol);
    WalkMasterTree(fs, std::string(startDirectory), finder);
    return std::move(finder.result);
}

bool SecurityIsExactly(RecordBytes record, std::string_view symbol) {
    auto field = [&](std::size_t offset, std::size_t width) {
        std::string_view text(reinterpret_cast<const char*>(record.data() + offset), width);
        text = text.substr(0, text.find('\0'));
        while (!text.empty() && text.back() == ' ') {
            text.remove_suffix(1);
        }
        return text;
    };
    return !IsSubdirectoryEntry(record) &&
           (EqualsNoCase(symbol, field(kSymbolOffset, kSymbolFieldSize)) ||
            EqualsNoCase(symbol, field(kNameOffset, kNameFieldSize)));
}

namespace {

// Every security of the tree for which `matches` holds, records as stored.
std::vector<FoundSecurity> Collect(FileSystem& fs, std::string_view startDirectory,
                                   const std::function<bool(RecordBytes)>& matches) {
    class Collector final : public MasterTreeVisitor {
    public:
        explicit Collector(const std::function<bool(RecordBytes)>& test) : test_(test) {}
        bool OnSecurity(const std::string& directory, std::size_t recordNumber,
                        RecordBytes record) override {
            if (test_(record)) {
                FoundSecurity found;
                std::copy(record.begin(), record.end(), found.record.begin());
                found.directory = AsParent(directory);
                found.recordNumber = recordNumber;
                found_.push_back(std::move(found));
            }
            return false;
        }
        std::vector<FoundSecurity> found_;

    private:
        const std::function<bool(RecordBytes)>& test_;
    };
    Collector collector(matches);
    WalkMasterTree(fs, std::string(startDirectory), collector);
    return std::move(collector.found_);
}

}  // namespace

std::vector<FoundSecurity> FindSecuritiesExactly(FileSystem& fs, std::string_view startDirectory,
                                                 std::string_view symbol) {
    return Collect(fs, startDirectory,
                   [symbol](RecordBytes record) { return SecurityIsExactly(record, symbol); });
}

std::vector<std::string> TreeDirectories(FileSystem& fs, const std::string& startDirectory) {
    class Collector final : public MasterTreeVisitor {
    public:
        explicit Collector(FileSystem& files) : fs_(files) {}
        void OnMaster(const std::string& directory, const Status& status, const Master&) override {
            std::string canonical;
            if (status.ok() &&
                fs_.CanonicalPath(directory.empty() ? "." : directory, &canonical).ok()) {
                directories.push_back(canonical);
            }
        }
        bool OnSecurity(const std::string&, std::size_t, RecordBytes) override { return false; }
        std::vector<std::string> directories;

    private:
        FileSystem& fs_;
    };
    Collector collector(fs);
    WalkMasterTree(fs, startDirectory, collector);
    return std::move(collector.directories);
}

}  // namespace msdb
