#include "msdb/TransactionParts.h"

#include <algorithm>

#include "msdb/Journal.h"

namespace msdb::transaction_parts {
namespace {

constexpr std::uint32_t kWriteBits = 0222;

}  // namespace

bool IsReadOnly(const FileInfo& info) {
    return (info.permissions & kWriteBits) == 0;
}

Status ReadOnlyRefusal(const std::string& path) {
    return Status::IoError("The file " + path +
                           " is read-only, and Korvex does not replace or remove a read-only "
                           "file: make it writable to go on.");
}

Status ChangedLength(const std::string& path, std::uint64_t size, std::uint64_t length) {
    return Status::Busy("The file " + path + " is " + std::to_string(size) + " bytes long, not " +
                        std::to_string(length) +
                        " as when it was read: another program changed it.");
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return upper;
}

Status WriteNew(FileSystem& fs, const std::string& path, std::string_view data,
                std::optional<std::uint32_t> permissions, bool* made, bool sync) {
    std::unique_ptr<WritableFile> file;
    Status s = fs.CreateNew(path, &file, permissions);
    *made = s.ok();
    if (!s.ok()) {
        return s;
    }
    s = file->Append(data);
    if (s.ok() && sync) {
        s = file->Sync();
    }
    Status closed = file->Close();
    return s.ok() ? closed : s;
}

Status CheckNoOtherJournal(const std::string& directory, const std::vector<std::string>& names,
                           bool ownJournal) {
    for (std::string_view journal : {kJournalName, kCommittedJournalName}) {
        if (FindNameNoCase(names, journal) && !(ownJournal && journal == kJournalName)) {
            return Status::Exists("The directory " + directory + " holds the journal " +
                                  std::string(journal) + " of another run.");
        }
    }
    return Status::Ok();
}

Status CheckNoOtherJournal(const std::string& directory, const NameIndex& names, bool ownJournal) {
    for (std::string_view journal : {kJournalName, kCommittedJournalName}) {
        if (names.Find(journal) && !(ownJournal && journal == kJournalName)) {
            return Status::Exists("The directory " + directory + " holds the journal " +
                                  std::string(journal) + " of another run.");
        }
    }
    return Status::Ok();
}

}  // namespace msdb::transaction_parts
