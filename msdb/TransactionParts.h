// What the files of the transaction share: the checks of a directory's names and files before
// a run changes them, and the writing of a new file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/FileSystem.h"
#include "msdb/Status.h"

namespace msdb::transaction_parts {

// The highest number a temporary's name ends in.
inline constexpr int kMaxTemporaryNumber = 999;

bool IsReadOnly(const FileInfo& info);

// Why a read-only `path` is not replaced, removed or appended to.
Status ReadOnlyRefusal(const std::string& path);

// Why a file to append to, `length` bytes long when it was read, is not: it is `size` bytes now.
Status ChangedLength(const std::string& path, std::uint64_t size, std::uint64_t length);

std::string Upper(std::string_view text);

// A file made new with `data`, synced when `sync`, and closed; `*made` says whether it was
// created.
Status WriteNew(FileSystem& fs, const std::string& path, std::string_view data,
                std::optional<std::uint32_t> permissions, bool* made, bool sync = true);

// The journals that another run left refuse a new run; `ownJournal` when KORVEX.JNL is this
// run's.
Status CheckNoOtherJournal(const std::string& directory, const std::vector<std::string>& names,
                           bool ownJournal);
Status CheckNoOtherJournal(const std::string& directory, const NameIndex& names, bool ownJournal);

}  // namespace msdb::transaction_parts
