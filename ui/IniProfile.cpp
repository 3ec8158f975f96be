#include "ui/IniProfile.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "msdb/FileSystem.h"

namespace ui {

namespace {

// The longest line the profile was ever read with; a longer one goes on as the next line.
constexpr std::size_t kLineLimit = 519;

std::string Trim(const std::string& text) {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), space);
    auto end = std::find_if_not(text.rbegin(), text.rend(), space).base();
    return begin < end ? std::string(begin, end) : std::string();
}

}  // namespace

bool ReadIniProfile(const std::string& path,
                    const std::function<void(const std::string& section)>& onSection,
                    const std::function<void(const std::string& section, const std::string& entry,
                                             const std::string& value)>& onValue) {
    msdb::FileSystem& fs = msdb::FileSystem::Default();
    msdb::FileInfo info;
    std::string text;
    // Only a regular file: a pipe or a device could block or never end.
    if (!fs.GetInfo(path, &info).ok() || info.kind != msdb::FileKind::kRegular ||
        !msdb::ReadWholeFile(fs, path, &text).ok()) {
        return false;
    }
    std::optional<std::string> section;  // none until the first section line
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t newline = text.find('\n', at);
        const std::size_t end =
            std::min(newline == std::string::npos ? text.size() : newline + 1, at + kLineLimit);
        std::string chunk = text.substr(at, end - at);
        at = end;
        chunk.resize(std::min(chunk.size(), chunk.find('\0')));
        std::string line = Trim(chunk);
        std::size_t open = line.find('[');
        std::size_t close = line.find(']');
        if (open == 0 && close != std::string::npos && close + 1 == line.size()) {
            line[open] = ' ';
            line[close] = ' ';
            section = Trim(line);
            onSection(*section);
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals != std::string::npos && section) {
            onValue(*section, line.substr(0, equals), line.substr(equals + 1));
        }
    }
    return true;
}

}  // namespace ui
