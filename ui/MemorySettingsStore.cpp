#include "ui/SettingsStore.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace ui {

std::string MemorySettingsStore::ReadString(const std::string& section, const std::string& entry,
                                            const std::string& defaultValue) {
    auto it = values.find({section, entry});
    return it == values.end() ? defaultValue : it->second;
}

int MemorySettingsStore::ReadInt(const std::string& section, const std::string& entry,
                                 int defaultValue) {
    auto it = values.find({section, entry});
    if (it == values.end()) {
        return defaultValue;
    }
    const char* begin = it->second.c_str();
    char* end = nullptr;
    const long number = std::strtol(begin, &end, 10);
    return end == begin ? defaultValue
                        : static_cast<int>(std::clamp<long>(number, INT_MIN, INT_MAX));
}

bool MemorySettingsStore::WriteString(const std::string& section, const std::string& entry,
                                      const std::string& text) {
    values[{section, entry}] = text;
    return true;
}

bool MemorySettingsStore::WriteInt(const std::string& section, const std::string& entry,
                                   int value) {
    return WriteString(section, entry, std::to_string(value));
}

}  // namespace ui
