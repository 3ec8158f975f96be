#include "tests/support/TestSupport.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {

std::string NativePath(std::string path) {
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

TempDir::TempDir() {
#ifdef _WIN32
    // No mkdtemp: a random name, taken only when create_directory made it.
    static std::mt19937_64 random{std::random_device{}()};
    std::filesystem::path made;
    for (int attempt = 0; attempt < 100 && made.empty(); ++attempt) {
        std::filesystem::path candidate = std::filesystem::temp_directory_path() /
                                          ("korvex-test-" + std::to_string(random() % 1000000000));
        if (std::filesystem::create_directory(candidate)) {
            made = candidate;
        }
    }
    if (made.empty()) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = std::filesystem::canonical(made).string();
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "korvex-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = std::filesystem::canonical(pattern).string();
#endif
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::vector<std::string> ListNames(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The file that a run on Windows locks in the directory; it goes with the run, but a power cut
// can leave it behind, empty, and the next run takes it over.
#ifdef _WIN32
constexpr std::string_view kLockFile = "KORVEX.LCK";
#else
constexpr std::string_view kLockFile;
#endif

Snapshot TakeSnapshot(const std::string& directory) {
    Snapshot files;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name != kLockFile) {
            files[name] = ReadFileBytes(entry.path().string());
        }
    }
    return files;
}

std::string Hex(const std::string& text) {
    std::string bytes;
    std::string digits;
    for (char c : text) {
        if (c != ' ' && c != '\n') {
            digits += c;
        }
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

std::string ToHex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        if (i > 0) {
            text += ' ';
        }
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

}  // namespace testing_support
