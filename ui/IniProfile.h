// The old INI profile that the settings store imports once: "[name]" lines open a section,
// "name=value" lines inside a section give a value. Shared by the settings stores of every
// platform.
#pragma once

#include <functional>
#include <string>

namespace ui {

// Reads the profile at `path` line by line as it has always been read: a line of more than 519
// characters is read as several, blanks around a line are dropped, and text after a NUL on a line
// is ignored. Calls `onSection` for each section line and `onValue` for each value line that
// follows one. False, calling nothing, when `path` is not a regular file that can be read.
bool ReadIniProfile(const std::string& path,
                    const std::function<void(const std::string& section)>& onSection,
                    const std::function<void(const std::string& section, const std::string& entry,
                                             const std::string& value)>& onValue);

}  // namespace ui
