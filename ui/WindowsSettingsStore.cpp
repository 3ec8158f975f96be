// PlatformSettingsStore on Windows: the settings in the registry (see PlatformSettingsStore.h).
//
// Text is UTF-8 inside Korvex and UTF-16 in the registry. Bytes that are not UTF-8 are kept as
// the code units U+DC80 to U+DCFF, which no UTF-8 text becomes, so any text reads back exactly. A
// key name may be neither empty nor hold a backslash, so section names escape '%' and '\' as
// "%25" and "%5C", and the empty name is "%".
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "ui/IniProfile.h"
#include "ui/PlatformSettingsStore.h"

namespace ui {

namespace {

constexpr char kDefaultKeyPath[] = "Software\\Halvorn\\Korvex";
constexpr wchar_t kFirstKeptByte = 0xDC80;  // the byte 0x80 that is not part of UTF-8 text
constexpr wchar_t kLastKeptByte = 0xDCFF;

// The length of the UTF-8 sequence at `at`, 0 when the bytes there are no whole valid sequence;
// `*codePoint` is what it encodes.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    char32_t value = length == 1 ? lead : lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i) & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *codePoint = value;
    return length;
}

std::wstring Wide(std::string_view text) {
    std::wstring wide;
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(text, at, &c);
        if (length == 0) {
            wide += static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        at += length;
        if (c >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(c);
        }
    }
    return wide;
}

void AppendUtf8(char32_t c, std::string* text) {
    if (c < 0x80) {
        *text += static_cast<char>(c);
    } else if (c < 0x800) {
        *text += static_cast<char>(0xC0 | (c >> 6));
        *text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *text += static_cast<char>(0xE0 | (c >> 12));
        *text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *text += static_cast<char>(0xF0 | (c >> 18));
        *text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Narrow(std::wstring_view wide) {
    std::string text;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char32_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (wide[i + 1] - 0xDC00u), &text);
            ++i;
        } else if (unit >= kFirstKeptByte && unit <= kLastKeptByte) {
            text += static_cast<char>(unit - 0xDC00);
        } else {
            AppendUtf8(unit, &text);
        }
    }
    return text;
}

std::wstring SectionKeyName(const std::string& section) {
    if (section.empty()) {
        return L"%";
    }
    std::wstring name;
    for (wchar_t c : Wide(section)) {
        name += c == L'%'    ? std::wstring(L"%25")
                : c == L'\\' ? std::wstring(L"%5C")
                             : std::wstring(1, c);
    }
    return name;
}

std::wstring SectionKeyPath(const std::string& root, const std::string& section) {
    return Wide(root) + L'\\' + SectionKeyName(section);
}

// The text of value `entry` in key `path` of `hive`; nothing when there is no such text value.
std::optional<std::string> ReadValue(HKEY hive, const std::wstring& path,
                                     const std::string& entry) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring name = Wide(entry);
    std::wstring data;
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS result = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
        data.resize(size / sizeof(wchar_t) + 1);
        DWORD room = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        result = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &room);
        if (result == ERROR_SUCCESS) {
            data.resize(room / sizeof(wchar_t));
            break;
        }
        size = room;  // the value grew in between
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    if (!data.empty() && data.back() == L'\0') {
        data.pop_back();
    }
    return Narrow(data);
}

}  // namespace

std::string PlatformSettingsStore::DefaultPath() {
    if (const char* path = std::getenv("KORVEX_SETTINGS"); path != nullptr && *path != '\0') {
        return path;
    }
    return kDefaultKeyPath;
}

bool PlatformSettingsStore::CreateRoot(const std::string& path, bool* createdNew) {
    root_ = path;
    *createdNew = false;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    *createdNew = disposition == REG_CREATED_NEW_KEY;
    return true;
}

void PlatformSettingsStore::ImportIniProfile(const std::string& iniPath) {
    (void)ReadIniProfile(
        iniPath,
        [&](const std::string& section) {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, SectionKeyPath(root_, section).c_str(), 0,
                                nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                                nullptr) == ERROR_SUCCESS) {
                RegCloseKey(key);
            }
        },
        [&](const std::string& section, const std::string& entry, const std::string& value) {
            (void)WriteString(section, entry, value);
        });
}

std::string PlatformSettingsStore::ReadString(const std::string& section, const std::string& entry,
                                              const std::string& defaultValue) {
    const std::wstring path = SectionKeyPath(root_, section);
    std::optional<std::string> value = ReadValue(HKEY_CURRENT_USER, path, entry);
    if (!value) {
        value = ReadValue(HKEY_LOCAL_MACHINE, path, entry);
    }
    return value && value->size() < kMaxValueLength ? *value : defaultValue;
}

int PlatformSettingsStore::ReadInt(const std::string& section, const std::string& entry,
                                   int defaultValue) {
    const std::string absent(kMaxValueLength, '\0');  // longer than any text that reads
    return LeadingInt(ReadString(section, entry, absent), defaultValue);
}

bool PlatformSettingsStore::WriteString(const std::string& section, const std::string& entry,
                                        const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SectionKeyPath(root_, section).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring data = Wide(text);
    const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    const LSTATUS result = RegSetValueExW(key, Wide(entry).c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(data.c_str()), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool PlatformSettingsStore::WriteInt(const std::string& section, const std::string& entry,
                                     int value) {
    return WriteString(section, entry, std::to_string(value));
}

}  // namespace ui
