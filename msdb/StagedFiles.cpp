// Files staged by a transaction: their bytes go to their temporaries as they come.
#include <algorithm>

#include "msdb/Transaction.h"
#include "msdb/TransactionParts.h"

namespace msdb {

using namespace transaction_parts;

Status Transaction::StageData(const std::string& name, bool create, std::string_view data) {
    std::size_t index = 0;
    Status s = staging_;
    if (s.ok()) {
        s = Staged(name, create, &index);
    }
    if (s.ok()) {
        StagedFile* write = &staged_[index];
        if (created_ && openIndex_ == index) {
            s = created_->Append(data);  // its bytes so far end where these go
            write->size += data.size();
        } else if (s = OpenStaged(index); s.ok()) {
            s = open_->WriteAt(write->size, data);
            write->size += data.size();
        }
    }
    if (!s.ok() && staging_.ok()) {
        staging_ = s;
    }
    return s;
}

Status Transaction::PatchStaged(const std::string& name, std::uint64_t offset,
                                std::string_view data) {
    Status s = staging_;
    if (!s.ok()) {
        return s;
    }
    const std::optional<std::size_t> it = stagedByName_.Find(name);
    if (!it) {
        s = Status::IoError("Cannot patch " + PathOf(name) + ": nothing of it was staged");
    } else if (const StagedFile& write = staged_[*it]; offset + data.size() > write.size) {
        s = Status::IoError("Cannot patch " + PathOf(std::string(NameOf(write))) + ": only " +
                            std::to_string(write.size) + " bytes of it were staged");
    }
    if (s.ok()) {
        s = OpenStaged(*it);
    }
    if (s.ok()) {
        s = open_->WriteAt(offset, data);
    }
    if (!s.ok() && staging_.ok()) {
        staging_ = s;
    }
    return s;
}

std::size_t Transaction::StagedName::operator()(std::string_view name) const {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a of the upper-case spelling
    for (char c : name) {
        const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
        hash = (hash ^ static_cast<unsigned char>(upper)) * 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

bool Transaction::StagedName::operator()(std::string_view a, std::size_t b) const {
    return EqualsNoCase(a, (*this)[b]);
}

// The staged file `name`, its temporary made when it is the first call for it.
Status Transaction::Staged(const std::string& name, bool create, std::size_t* index) {
    if (const std::optional<std::size_t> it = stagedByName_.Find(name)) {
        *index = *it;
        if (const StagedFile& write = staged_[*index]; write.create != create) {
            return Status::IoError("Cannot stage " + PathOf(std::string(NameOf(write))) +
                                   " both as a new file and as a replacement");
        }
        return Status::Ok();
    }
    if (stageSuffix_.empty()) {
        if (Status s = BeginStaging(); !s.ok()) {
            return s;
        }
    }
    const std::optional<std::string> found = stageNames_.Find(name);
    if (found && create) {
        return Status::Exists("Cannot create " + PathOf(*found) + ": File exists");
    }
    const std::string_view spelling = found ? std::string_view(*found) : std::string_view(name);
    StagedFile staged;
    staged.nameAt = static_cast<std::uint32_t>(stagedNames_.size());
    staged.nameSize = static_cast<std::uint16_t>(spelling.size());
    staged.create = create;
    staged.permissions = journalBits_;
    stagedNames_ += spelling;
    if (found) {
        FileInfo info;
        if (Status s = fs_.GetInfo(PathOf(*found), &info); !s.ok()) {
            return s;
        }
        if (info.kind != FileKind::kRegular) {
            return Status::IoError("Cannot replace " + PathOf(*found) + ": Not a regular file");
        }
        if (IsReadOnly(info)) {
            return ReadOnlyRefusal(PathOf(*found));
        }
        staged.permissions = info.permissions;
    }
    if (Status s = CloseStaged(); !s.ok()) {
        return s;
    }
    if (Status s = fs_.CreateNew(PathOf(TemporaryOf(staged)), &created_, staged.permissions);
        !s.ok()) {
        return s;
    }
    *index = staged_.size();
    openIndex_ = *index;  // kept open for the bytes that follow
    staged_.push_back(std::move(staged));
    stagedByName_.Insert(*index);
    return Status::Ok();
}

// The start of the journal, on disk before the first temporary of a staged file is made: it
// names the ending that every such temporary has, one that no name of the directory has now.
Status Transaction::BeginStaging() {
    // The directory may hold tens of thousands of files: their names go straight into the index,
    // and the numbers of the temporaries' endings they have into a table.
    NameIndex names;
    std::vector<bool> taken(kMaxTemporaryNumber + 1, false);
    const std::string ending = Upper(kTemporarySuffix);
    Status s = fs_.ForEachEntry(directory_, [&](std::string_view name) {
        names.Add(name);
        const std::string upper = Upper(name);
        const std::size_t at = upper.rfind(ending);
        if (at == std::string::npos) {
            return;
        }
        const std::string_view digits = std::string_view(upper).substr(at + ending.size());
        const bool number =
            !digits.empty() && digits[0] != '0' &&
            digits.size() <= std::to_string(kMaxTemporaryNumber).size() &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (number && std::stoi(std::string(digits)) <= kMaxTemporaryNumber) {
            taken[static_cast<std::size_t>(std::stoi(std::string(digits)))] = true;
        }
    });
    names.Sort();
    if (s.ok()) {
        s = CheckNoOtherJournal(directory_, names, false);
    }
    if (!s.ok()) {
        return s;
    }
    if (const std::optional<std::string> master = names.Find("MASTER")) {
        std::string target;
        FileInfo info;
        s = fs_.CanonicalPath(PathOf(*master), &target);
        if (s.ok()) {
            s = fs_.GetInfo(target, &info);
        }
        if (!s.ok()) {
            return s;
        }
        if (IsReadOnly(info)) {
            return ReadOnlyRefusal(PathOf(*master));
        }
        journalBits_ = info.permissions;
    }
    std::string suffix;
    for (int n = 1; suffix.empty() && n <= kMaxTemporaryNumber; ++n) {
        if (!taken[static_cast<std::size_t>(n)]) {
            suffix = std::string(kTemporarySuffix) + std::to_string(n);
        }
    }
    if (suffix.empty()) {
        return Status::Exists("No name is free for the temporaries of a run in " + directory_);
    }
    const std::string start =
        JournalText({{JournalEntry::Kind::kStage, "", suffix, false, 0, ""}}, false);
    s = WriteNew(fs_, PathOf(std::string(kJournalName)), start, journalBits_, &journal_);
    if (s.ok()) {
        stageSuffix_ = suffix;
        stageNames_ = std::move(names);
        journalSize_ = start.size();
    }
    return s;
}

// Keeps the temporary of staged_[index] open to write anywhere in it, and no other: a run may
// stage thousands.
Status Transaction::OpenStaged(std::size_t index) {
    if (open_ && openIndex_ == index) {
        return Status::Ok();
    }
    if (Status s = CloseStaged(); !s.ok()) {
        return s;
    }
    Status s = fs_.OpenForUpdate(PathOf(TemporaryOf(staged_[index])), &open_);
    openIndex_ = index;
    return s;
}

Status Transaction::CloseStaged() {
    Status s = Status::Ok();
    if (created_) {
        s = created_->Close();
        created_.reset();
    }
    if (open_) {
        Status closed = open_->Close();
        open_.reset();
        s = s.ok() ? closed : s;
    }
    return s;
}

}  // namespace msdb
