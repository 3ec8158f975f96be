#include "msdb/Master.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace msdb {
namespace {

std::int16_t ReadInt16(const char* p) {
    auto lo = static_cast<std::uint8_t>(p[0]);
    auto hi = static_cast<std::uint8_t>(p[1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
}

void WriteInt16(char* p, std::int16_t value) {
    auto bits = static_cast<std::uint16_t>(value);
    p[0] = static_cast<char>(bits & 0xFF);
    p[1] = static_cast<char>(bits >> 8);
}

void PutPadded(MasterRecord* record, std::size_t offset, std::string_view text, std::size_t width) {
    text = text.substr(0, std::min(text.size(), width));
    for (std::size_t i = 0; i < width; ++i) {
        (*record)[offset + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
    }
}

// The text of a fixed-width field up to its first NUL.
std::string_view FieldText(const std::uint8_t* record, std::size_t offset, std::size_t width) {
    const char* begin = reinterpret_cast<const char*>(record + offset);
    std::string_view text(begin, width);
    return text.substr(0, text.find('\0'));
}

std::string_view TrimTrailingSpaces(std::string_view text) {
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

bool EndsWithSeparator(std::string_view path) {
#ifdef _WIN32
    if (path.back() == ':') {
        return true;
    }
#endif
    return IsPathSeparator(path.back());
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

struct Level {
    std::string path;  // the directory, ending in a separator (or empty: current directory)
    std::string data;  // its MASTER: header and at most `count` records
    int count = 0;     // N, the header's record count
    int position = 0;  // p: 0 before the first scan, else the next record to look at
    bool loaded = false;
};

void LoadLevel(FileSystem& fs, Level* level) {
    level->loaded = true;
    std::optional<std::string> master;
    std::string directory = level->path.empty() ? std::string(".") : level->path;
    if (!LocateMaster(fs, directory, &master).ok() || !master ||
        !ReadFilePrefix(fs, *master, kMasterRecordSize, &level->data).ok() ||
        level->data.size() < kMasterRecordSize) {
        level->count = 0;
        level->position = 1;  // exhausted
        return;
    }
    level->count = ReadMasterHeader(level->data).recordCount;
    std::size_t wanted =
        kMasterRecordSize * (static_cast<std::size_t>(std::max(level->count, 0)) + 1);
    if (!ReadFilePrefix(fs, *master, wanted, &level->data).ok()) {
        level->count = 0;
        level->position = 1;
    }
}

const std::uint8_t* RecordAt(const Level& level, int index) {
    std::size_t end = kMasterRecordSize * (static_cast<std::size_t>(index) + 1);
    if (end > level.data.size()) {
        return nullptr;
    }
    return reinterpret_cast<const std::uint8_t*>(level.data.data()) + kMasterRecordSize * index;
}

}  // namespace

MasterHeader ReadMasterHeader(std::string_view bytes) {
    return MasterHeader{ReadInt16(bytes.data()), ReadInt16(bytes.data() + 2)};
}

void WriteMasterHeaderCounts(std::string* bytes, const MasterHeader& header) {
    WriteInt16(bytes->data(), header.recordCount);
    WriteInt16(bytes->data() + 2, header.addCount);
}

std::string MakeEmptyMaster() {
    return std::string(kMasterRecordSize, '\0');
}

MasterRecord MakeMasterRecord(std::uint8_t fileNumber, int fieldCount, std::string_view name,
                              std::string_view symbol, const MbfBytes& firstDate,
                              const MbfBytes& lastDate) {
    MasterRecord record{};
    record[kFileNumberOffset] = fileNumber;
    record[1] = 0x00;
    record[2] = 0x65;
    record[kRecordLengthOffset] = static_cast<std::uint8_t>((4 * fieldCount) & 0xFF);
    record[kFieldCountOffset] = static_cast<std::uint8_t>(fieldCount);
    PutPadded(&record, kNameOffset, name, kNameFieldSize);
    std::copy(firstDate.begin(), firstDate.end(), record.begin() + kFirstDateOffset);
    std::copy(lastDate.begin(), lastDate.end(), record.begin() + kLastDateOffset);
    record[33] = 'D';
    PutPadded(&record, kSymbolOffset, symbol, kSymbolFieldSize);
    return record;
}

bool IsSubdirectoryEntry(const std::uint8_t* record) {
    return std::memcmp(record + kDirMarkerOffset, "<DIR>", 5) == 0 && record[kNameOffset] != ' ';
}

std::string SubdirectoryName(const std::uint8_t* record) {
    return std::string(TrimTrailingSpaces(FieldText(record, kNameOffset, 8)));
}

bool SecurityMatches(const std::uint8_t* record, std::string_view symbol) {
    std::size_t k = 1 + static_cast<std::size_t>(std::count(symbol.begin(), symbol.end(), ' '));
    std::string_view name = TrimTrailingSpaces(FieldText(record, kNameOffset, kNameFieldSize));
    std::string_view stored = FieldText(record, kSymbolOffset, kSymbolFieldSize);
    std::size_t spaces = 0;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == ' ' && ++spaces == k) {
            stored = stored.substr(0, i);
            break;
        }
    }
    return EqualsNoCase(symbol, name) || EqualsNoCase(symbol, stored);
}

Status LocateMaster(FileSystem& fs, const std::string& directory,
                    std::optional<std::string>* path) {
    std::optional<std::string> name;
    Status s = FindEntryNoCase(fs, directory, kMasterFileName, &name);
    if (!s.ok()) {
        return s;
    }
    path->reset();
    if (name) {
        *path = JoinPath(directory, *name);
    }
    return Status::Ok();
}

TreeGuard::TreeGuard(FileSystem& fs, const std::string& startDirectory) : m_fs(fs) {
    if (!fs.CanonicalPath(startDirectory.empty() ? "." : startDirectory, &m_root).ok()) {
        m_root.clear();
    }
    m_visited.insert(m_root);
}

std::optional<std::string> TreeGuard::Enter(const std::string& parentPath, const std::string& name,
                                            int depth) {
    if (name.empty() || name == "." || name == ".." ||
        std::any_of(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\'; }) ||
        depth >= kMaxSearchLevels) {
        return std::nullopt;
    }
    std::string path = parentPath + name;
    if (!m_fs.IsDirectory(path)) {
        // Entries written on systems that ignore case may spell the directory otherwise.
        std::optional<std::string> spelled;
        if (!FindEntryNoCase(m_fs, parentPath.empty() ? "." : parentPath, name, &spelled).ok() ||
            !spelled) {
            return std::nullopt;
        }
        path = parentPath + *spelled;
    }
    std::string canonical;
    if (!m_fs.IsDirectory(path) || !m_fs.CanonicalPath(path, &canonical).ok() ||
        (!m_root.empty() && !IsInside(canonical, m_root)) || !m_visited.insert(canonical).second) {
        return std::nullopt;
    }
    return path;
}

std::int16_t FindSecurity(FileSystem& fs, std::string_view startDirectory, std::string_view symbol,
                          MasterRecord* record, std::string* directory) {
    std::vector<Level> levels(1);
    levels[0].path = std::string(startDirectory);
    if (!levels[0].path.empty() && !EndsWithSeparator(levels[0].path)) {
        levels[0].path += kPathSeparator;
    }
    TreeGuard guard(fs, levels[0].path);

    for (;;) {
        Level& level = levels.back();
        if (!level.loaded) {
            LoadLevel(fs, &level);
        }
        if (level.position == 0) {
            for (int i = 1; i <= level.count; ++i) {
                const std::uint8_t* entry = RecordAt(level, i);
                if (entry == nullptr) {
                    level.count = 0;
                    level.position = 1;
                    break;
                }
                if (IsSubdirectoryEntry(entry)) {
                    if (level.position == 0) {
                        level.position = i;
                    }
                } else if (SecurityMatches(entry, symbol)) {
                    std::copy(entry, entry + kMasterRecordSize, record->begin());
                    for (std::size_t offset : {kFirstDateOffset, kLastDateOffset}) {
                        MbfBytes mbf;
                        std::copy(entry + offset, entry + offset + 4, mbf.begin());
                        float value = FromMbf(mbf);
                        std::memcpy(record->data() + offset, &value, sizeof value);
                    }
                    *directory = level.path;
                    return kSecurityFound;
                }
            }
            if (level.position == 0) {
                level.position = level.count + 1;
            }
        }
        bool entered = false;
        while (level.position >= 1 && level.position <= level.count) {
            const std::uint8_t* entry = RecordAt(level, level.position);
            if (entry == nullptr) {
                return kMasterReadError;
            }
            ++level.position;
            if (!IsSubdirectoryEntry(entry)) {
                continue;
            }
            std::optional<std::string> path =
                guard.Enter(level.path, SubdirectoryName(entry), static_cast<int>(levels.size()));
            if (!path) {
                continue;
            }
            Level child;
            child.path = *path + kPathSeparator;
            levels.push_back(std::move(child));
            entered = true;
            break;
        }
        if (entered) {
            continue;
        }
        if (levels.size() == 1) {
            return kSecurityNotFound;
        }
        levels.pop_back();
    }
}

}  // namespace msdb
