// Test doubles for the engine's seams and helpers for temporary directories and bytes.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/Services.h"

namespace testing_support {

// Records every message instead of showing it.
class RecordingNotifier final : public engine::Notifier {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

// Always the same day.
class FixedClock final : public engine::Clock {
public:
    explicit FixedClock(engine::CalendarDate date = {2026, 12, 7}) : date_(date) {}
    engine::CalendarDate Today() override { return date_; }

private:
    engine::CalendarDate date_;
};

// `path` with the platform's separators: on Windows each '/' becomes '\\'.
std::string NativePath(std::string path);

// A fresh directory under the system's temporary directory, removed with everything in it when the
// object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // `name` inside the directory; its '/' are the platform's separators, as in the paths that
    // Korvex makes.
    std::string operator/(const std::string& name) const { return NativePath(path_ + "/" + name); }

private:
    std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names in a directory, sorted.
std::vector<std::string> ListNames(const std::string& directory);

// Every file of a directory (not its sub-directories) by name, with its bytes; the lock file of a
// run on Windows is left out.
using Snapshot = std::map<std::string, std::string>;
Snapshot TakeSnapshot(const std::string& directory);

// Bytes from hexadecimal text; blanks between the pairs are ignored ("00 00 01 00").
std::string Hex(const std::string& text);
// Hexadecimal text of bytes, pairs separated by one blank, for readable failure output.
std::string ToHex(const std::string& bytes);

}  // namespace testing_support
