#include "ui/PlatformSettingsStore.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "msdb/FileSystem.h"
#include "ui/IniProfile.h"

namespace ui {

namespace {

// The settings file in memory: sections in file order, entries in file order within each.
struct Entry {
    std::string name;
    std::string value;
};
struct Section {
    std::string name;
    std::vector<Entry> entries;
};
using Settings = std::vector<Section>;

bool SameName(const std::string& a, const std::string& b) {
    return msdb::EqualsNoCase(a, b);
}

// Names escape '\', '=', '[', ']' and line ends as \xHH; values escape '\' and line ends.
std::string Escape(const std::string& text, bool name) {
    std::string out;
    for (char c : text) {
        bool special = c == '\\' || c == '\n' || c == '\r' || c == '\0' ||
                       (name && (c == '=' || c == '[' || c == ']'));
        if (special) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

Settings Parse(const std::string& text) {
    Settings settings;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            settings.push_back(Section{Unescape(line.substr(1, line.size() - 2)), {}});
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string::npos || settings.empty()) {
            continue;
        }
        settings.back().entries.push_back(
            Entry{Unescape(line.substr(0, equals)), Unescape(line.substr(equals + 1))});
    }
    return settings;
}

std::string Format(const Settings& settings) {
    std::string text;
    for (const Section& section : settings) {
        text += "[" + Escape(section.name, true) + "]\n";
        for (const Entry& entry : section.entries) {
            text += Escape(entry.name, true) + "=" + Escape(entry.value, false) + "\n";
        }
    }
    return text;
}

bool Load(const std::string& path, Settings* settings) {
    std::string text;
    if (!msdb::ReadWholeFile(msdb::FileSystem::Default(), path, &text).ok()) {
        return false;
    }
    *settings = Parse(text);
    return true;
}

bool Save(const std::string& path, const Settings& settings) {
    return msdb::ReplaceFile(msdb::FileSystem::Default(), path, path + ".tmp", Format(settings))
        .ok();
}

Section& SectionNamed(Settings* settings, const std::string& name) {
    auto s = std::find_if(settings->begin(), settings->end(),
                          [&](const Section& x) { return SameName(x.name, name); });
    if (s != settings->end()) {
        return *s;
    }
    settings->push_back(Section{name, {}});
    return settings->back();
}

void Set(Settings* settings, const std::string& section, const std::string& entry,
         const std::string& value) {
    Section& s = SectionNamed(settings, section);
    auto e = std::find_if(s.entries.begin(), s.entries.end(),
                          [&](const Entry& x) { return SameName(x.name, entry); });
    if (e == s.entries.end()) {
        s.entries.push_back(Entry{entry, value});
    } else {
        e->value = value;
    }
}

const std::string* Find(const Settings& settings, const std::string& section,
                        const std::string& entry) {
    for (const Section& s : settings) {
        if (SameName(s.name, section)) {
            for (const Entry& e : s.entries) {
                if (SameName(e.name, entry)) {
                    return &e.value;
                }
            }
        }
    }
    return nullptr;
}

}  // namespace

std::string PlatformSettingsStore::DefaultPath() {
    if (const char* path = std::getenv("KORVEX_SETTINGS"); path != nullptr && *path != '\0') {
        return path;
    }
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr) {
        config = std::string(home) + "/.config";
    } else {
        config = ".";
    }
    return config + "/Halvorn/Korvex.ini";
}

bool PlatformSettingsStore::CreateRoot(const std::string& path, bool* createdNew) {
    root_ = path;
    *createdNew = false;
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
    }
    if (std::filesystem::exists(path, ec)) {
        return true;
    }
    if (!Save(path, Settings{})) {
        return false;
    }
    *createdNew = true;
    return true;
}

void PlatformSettingsStore::ImportIniProfile(const std::string& iniPath) {
    Settings settings;
    if (!Load(root_, &settings)) {
        settings.clear();
    }
    const bool read = ReadIniProfile(
        iniPath, [&](const std::string& section) { SectionNamed(&settings, section); },
        [&](const std::string& section, const std::string& entry, const std::string& value) {
            Set(&settings, section, entry, value);
        });
    if (read) {
        (void)Save(root_, settings);
    }
}

std::string PlatformSettingsStore::ReadString(const std::string& section, const std::string& entry,
                                              const std::string& defaultValue) {
    Settings settings;
    const std::string* value = Load(root_, &settings) ? Find(settings, section, entry) : nullptr;
    return value != nullptr && value->size() < kMaxValueLength ? *value : defaultValue;
}

int PlatformSettingsStore::ReadInt(const std::string& section, const std::string& entry,
                                   int defaultValue) {
    Settings settings;
    const std::string* value = Load(root_, &settings) ? Find(settings, section, entry) : nullptr;
    return value == nullptr ? defaultValue : LeadingInt(*value, defaultValue);
}

bool PlatformSettingsStore::WriteString(const std::string& section, const std::string& entry,
                                        const std::string& text) {
    Settings settings;
    if (!Load(root_, &settings)) {
        std::error_code ec;
        if (std::filesystem::exists(root_, ec)) {
            return false;  // there, but unreadable: never write over what cannot be read
        }
        std::filesystem::create_directories(std::filesystem::path(root_).parent_path(), ec);
    }
    Set(&settings, section, entry, text);
    return Save(root_, settings);
}

bool PlatformSettingsStore::WriteInt(const std::string& section, const std::string& entry,
                                     int value) {
    return WriteString(section, entry, std::to_string(value));
}

}  // namespace ui
