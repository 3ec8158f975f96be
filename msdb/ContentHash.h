// A hash of a file's bytes, which tells that a file is still as a run read it.
#pragma once

#include <cstdint>
#include <string_view>

namespace msdb {

// FNV-1a, 64 bits, of bytes that may come in parts: HashBytes(b, HashBytes(a)) is the hash of a
// then b.
inline constexpr std::uint64_t kHashStart = 14695981039346656037ULL;

inline std::uint64_t HashBytes(std::string_view bytes, std::uint64_t hash = kHashStart) {
    for (const char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash;
}

}  // namespace msdb
