#include "msdb/Journal.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "msdb/SecurityFiles.h"

namespace msdb {
namespace {

constexpr std::string_view kHeading = "korvex journal 2";
constexpr std::string_view kLegacyHeading = "korvex journal 1";
constexpr std::string_view kEnd = "end";
constexpr std::size_t kMaxTemporaryDigits = 3;

std::string Upper(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return upper;
}

// F<n>.DAT and F<n>.DOP of MASTER's securities, F<n>.MWD and F<n>.DOP of XMASTER's (whose
// numbers other programs may have given from 1).
bool IsPriceFileName(std::string_view name) {
    std::string extension;
    if (XMasterFileNumber(name, &extension)) {
        return extension != "DAT";
    }
    return SecurityFileNumber(name).has_value();
}

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string ToHex(std::string_view bytes) {
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHexDigits[byte >> 4];
        hex += kHexDigits[byte & 0x0F];
    }
    return hex;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The bytes of `hex` (upper-case pairs), or false when it is not that.
bool FromHex(std::string_view hex, std::string* bytes) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    bytes->clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at <= line.size();) {
        std::size_t end = std::min(line.find(' ', at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

// The entry of one line, or why the line is not one a run writes.
std::string ParseEntry(std::string_view line, JournalEntry* entry) {
    const std::vector<std::string_view> words = Words(line);
    if (words[0] == "write" && (words.size() == 3 || (words.size() == 4 && words[3] == "link"))) {
        *entry = {JournalEntry::Kind::kWrite,
                  std::string(words[1]),
                  std::string(words[2]),
                  words.size() == 4,
                  0,
                  ""};
        if (!IsNameARunWrites(entry->name)) {
            return "\"" + entry->name + "\" is not a file that a run writes";
        }
        if (!IsTemporaryOf(entry->temporary, entry->name)) {
            return "\"" + entry->temporary + "\" is not a temporary of " + entry->name;
        }
        if (entry->link && !EqualsNoCase(entry->name, "MASTER")) {
            return "only MASTER is replaced through a link";
        }
        return "";
    }
    if (words[0] == "remove" && words.size() == 2) {
        *entry = {JournalEntry::Kind::kRemove, std::string(words[1]), "", false, 0, ""};
        return IsPriceFileName(entry->name)
                   ? ""
                   : "\"" + entry->name + "\" is not a price file that a run removes";
    }
    if (words[0] == "append" && (words.size() == 3 || words.size() == 4)) {
        *entry = {JournalEntry::Kind::kAppend, std::string(words[1]), "", false, 0, ""};
        if (!IsNameARunAppendsTo(entry->name)) {
            return "\"" + entry->name + "\" is not a price file that a run appends to";
        }
        const std::string_view length = words[2];
        if (length.empty() || !AllDigits(length) ||
            std::from_chars(length.data(), length.data() + length.size(), entry->length).ec !=
                std::errc()) {
            return "\"" + std::string(length) + "\" is not a length";
        }
        if (words.size() == 4 && !FromHex(words[3], &entry->header)) {
            return "\"" + std::string(words[3]) + "\" is not the hexadecimal text of bytes";
        }
        if (entry->header.size() > entry->length) {
            return "its bytes reach past its length";
        }
        return "";
    }
    if (words[0] == "stage" && words.size() == 2 && !words[1].empty() &&
        words[1].size() <= kMaxTemporaryDigits && AllDigits(words[1])) {
        *entry = {JournalEntry::Kind::kStage,
                  "",
                  std::string(kTemporarySuffix) + std::string(words[1]),
                  false,
                  0,
                  ""};
        return "";
    }
    return "it is not a line of a journal";
}

std::vector<std::string> Lines(std::string_view text, bool* complete) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string_view::npos; at = end + 1) {
        lines.emplace_back(text.substr(at, end - at));
    }
    *complete = at == text.size();
    if (!*complete) {
        lines.emplace_back(text.substr(at));  // cut short
    }
    return lines;
}

Status ParseLegacy(const std::vector<std::string>& lines, Journal* journal) {
    // "master PATH FINGERPRINT", then "old NAME" for each file set aside.
    if (lines.size() < 2 || !lines[1].starts_with("master ")) {
        return Status::Damaged("its second line names no MASTER");
    }
    const std::size_t space = lines[1].rfind(' ');
    const std::string path = lines[1].substr(7, space - 7);
    journal->legacyMaster = path.substr(path.find_last_of("/\\") + 1);
    journal->legacyFingerprint = lines[1].substr(space + 1);
    if (!EqualsNoCase(journal->legacyMaster, "MASTER")) {
        return Status::Damaged("\"" + journal->legacyMaster + "\" is not a MASTER");
    }
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (lines[i].empty()) {
            continue;
        }
        const std::string name = lines[i].substr(std::min<std::size_t>(4, lines[i].size()));
        if (!lines[i].starts_with("old ") || !IsNameARunWrites(name)) {
            return Status::Damaged("line " + std::to_string(i + 1) + " (\"" + lines[i] +
                                   "\") does not name a file that a run replaces");
        }
        journal->setAside.push_back(name);
    }
    journal->state = Journal::State::kLegacy;
    return Status::Ok();
}

Status Parse(std::string_view text, bool committed, Journal* journal) {
    // A power cut while the journal was written can leave zeros where its end should be.
    const bool zeros = text.find('\0') != std::string_view::npos;
    text = text.substr(0, text.find('\0'));
    bool complete = false;
    const std::vector<std::string> lines = Lines(text, &complete);
    if (!lines.empty() && lines[0] == kLegacyHeading && complete && !zeros && !committed) {
        return ParseLegacy(lines, journal);
    }
    const bool ended = complete && !lines.empty() && lines.back() == kEnd;
    // A journal without its end was being written when the run stopped; every line it has
    // must still be one a run writes.
    const std::size_t whole = ended ? lines.size() - 1 : complete ? lines.size() : lines.size() - 1;
    if (whole > 0 && lines[0] != kHeading) {
        return Status::Damaged("its first line is not \"" + std::string(kHeading) + "\"");
    }
    if (!ended && whole == 0 && !std::string_view(kHeading).starts_with(text)) {
        return Status::Damaged("it does not begin as a journal");
    }
    std::set<std::string> names;
    for (std::size_t i = 1; i < whole; ++i) {
        JournalEntry entry;
        std::string why = ParseEntry(lines[i], &entry);
        // A stage line is one of the names too: "" can be listed once.
        if (why.empty() && !names.insert(Upper(entry.name)).second) {
            why = entry.kind == JournalEntry::Kind::kStage ? "a second stage line"
                                                           : entry.name + " is listed twice";
        }
        if (!why.empty()) {
            return Status::Damaged("line " + std::to_string(i + 1) + " (\"" + lines[i] +
                                   "\"): " + why);
        }
        journal->entries.push_back(std::move(entry));
    }
    if (committed && (!ended || zeros)) {
        return Status::Damaged("it does not end with \"end\"");
    }
    journal->state = committed         ? Journal::State::kCommitted
                     : ended && !zeros ? Journal::State::kPending
                                       : Journal::State::kTorn;
    return Status::Ok();
}

}  // namespace

std::string JournalText(const std::vector<JournalEntry>& entries, bool complete) {
    return JournalText(
        entries.size(), [&entries](std::size_t i) { return entries[i]; }, complete);
}

namespace {

void AppendLine(const JournalEntry& entry, std::string* text) {
    switch (entry.kind) {
        case JournalEntry::Kind::kWrite:
            *text += "write ";
            *text += entry.name;
            *text += ' ';
            *text += entry.temporary;
            *text += entry.link ? " link" : "";
            break;
        case JournalEntry::Kind::kRemove:
            *text += "remove ";
            *text += entry.name;
            break;
        case JournalEntry::Kind::kAppend:
            *text += "append ";
            *text += entry.name;
            *text += ' ';
            *text += std::to_string(entry.length);
            if (!entry.header.empty()) {
                *text += ' ';
                *text += ToHex(entry.header);
            }
            break;
        case JournalEntry::Kind::kStage:
            *text += "stage ";
            *text += std::string_view(entry.temporary).substr(kTemporarySuffix.size());
            break;
    }
    *text += '\n';
}

}  // namespace

std::string JournalText(std::size_t count, const std::function<JournalEntry(std::size_t)>& entryAt,
                        bool complete) {
    std::string text;
    (void)WriteJournalText(count, entryAt, complete, [&text](std::string_view part) {
        text += part;
        return Status::Ok();
    });
    return text;
}

Status WriteJournalText(std::size_t count, const std::function<JournalEntry(std::size_t)>& entryAt,
                        bool complete, const std::function<Status(std::string_view)>& write) {
    constexpr std::size_t kPart = 64 << 10;
    std::string text;
    text += kHeading;
    text += '\n';
    for (std::size_t i = 0; i < count; ++i) {
        AppendLine(entryAt(i), &text);
        if (text.size() >= kPart) {
            if (Status s = write(text); !s.ok()) {
                return s;
            }
            text.clear();
        }
    }
    if (complete) {
        text += kEnd;
        text += '\n';
    }
    return text.empty() ? Status::Ok() : write(text);
}

std::size_t JournalTextSize(std::size_t count,
                            const std::function<JournalEntry(std::size_t)>& entryAt,
                            bool complete) {
    std::size_t size = kHeading.size() + 1 + (complete ? kEnd.size() + 1 : 0);
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        line.clear();
        AppendLine(entryAt(i), &line);
        size += line.size();
    }
    return size;
}

Status ReadJournal(FileSystem& fs, const std::string& directory, Journal* journal) {
    *journal = Journal{};
    std::string pending;
    std::string committed;
    Status s = ReadFilePrefix(fs, JoinPath(directory, std::string(kJournalName)),
                              kMaxJournalSize + 1, &pending);
    const bool hasPending = s.ok();
    if (!s.ok() && !s.IsNotFound()) {
        return s;
    }
    s = ReadFilePrefix(fs, JoinPath(directory, std::string(kCommittedJournalName)),
                       kMaxJournalSize + 1, &committed);
    const bool hasCommitted = s.ok();
    if (!s.ok() && !s.IsNotFound()) {
        return s;
    }
    if (!hasPending && !hasCommitted) {
        return Status::NotFound("No journal in " + directory);
    }
    journal->fileName = std::string(hasCommitted ? kCommittedJournalName : kJournalName);
    const std::string path = JoinPath(directory, journal->fileName);
    if (hasPending && hasCommitted) {
        return Status::Damaged(
            "The directory " + directory + " holds both " + std::string(kJournalName) + " and " +
            std::string(kCommittedJournalName) + ", which no run leaves together.");
    }
    const std::string& text = hasCommitted ? committed : pending;
    s = text.size() > kMaxJournalSize ? Status::Damaged("it is too long")
                                      : Parse(text, hasCommitted, journal);
    if (!s.ok()) {
        return Status::Damaged("The journal " + path +
                               " is not one that Korvex wrote: " + s.message() + ".");
    }
    return Status::Ok();
}

bool IsNameARunWrites(std::string_view name) {
    const std::string upper = Upper(name);
    return upper == "MASTER" || upper == "EMASTER" || upper == "XMASTER" || upper == "MASTER.BAK" ||
           upper == "EMASTER.BAK" || upper == "XMASTER.BAK" || IsPriceFileName(name);
}

bool IsNameARunAppendsTo(std::string_view name) {
    const std::string upper = Upper(name);
    return IsPriceFileName(name) && (upper.ends_with(".DAT") || upper.ends_with(".MWD"));
}

bool IsStagedTemporary(std::string_view file, const JournalEntry& stage) {
    return stage.kind == JournalEntry::Kind::kStage && !stage.temporary.empty() &&
           file.size() > stage.temporary.size() && file.ends_with(stage.temporary) &&
           IsNameARunWrites(file.substr(0, file.size() - stage.temporary.size()));
}

bool IsTemporaryOf(std::string_view temporary, std::string_view name) {
    if (!temporary.starts_with(name) ||
        !temporary.substr(name.size()).starts_with(kTemporarySuffix)) {
        return false;
    }
    const std::string_view digits = temporary.substr(name.size() + kTemporarySuffix.size());
    return digits.size() <= kMaxTemporaryDigits && AllDigits(digits);
}

bool IsDirectoryFileName(std::string_view name) {
    const std::string upper = Upper(name);
    for (std::string_view index : {"MASTER", "EMASTER", "XMASTER"}) {
        if (upper == index || upper == std::string(index) + ".BAK") {
            return true;
        }
    }
    if (upper == kJournalName || upper == kCommittedJournalName || upper == kLockFileName ||
        upper.find(Upper(kTemporarySuffix)) != std::string::npos ||
        upper.ends_with(".KORVEX-OLD")) {
        return true;
    }
    // F<n>.DAT, F<n>.DOP and F<n>.MWD, whatever the number.
    const std::size_t dot = upper.find('.');
    return upper.size() > 1 && upper[0] == 'F' && dot != std::string::npos && dot > 1 &&
           std::all_of(upper.begin() + 1, upper.begin() + static_cast<std::ptrdiff_t>(dot),
                       [](char c) { return c >= '0' && c <= '9'; }) &&
           (upper.substr(dot) == ".DAT" || upper.substr(dot) == ".DOP" ||
            upper.substr(dot) == ".MWD");
}

}  // namespace msdb
