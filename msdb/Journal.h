// The journal of a run: the list of every change the run makes to one directory, written and
// synced before the first of them. It names plain file names of the directory, never paths, so
// that a directory that was moved or mounted elsewhere after a stop recovers as well.
//
// A run writes its journal as KORVEX.JNL, then each new file's contents to a temporary that the
// journal names, and commits by renaming the journal to KORVEX.CMT. That rename is the commit
// point: a KORVEX.JNL left behind means the run stopped before it (undo: remove its temporaries),
// a KORVEX.CMT that it stopped after it (finish: move each temporary that is still there to its
// name, remove what the run removes).
//
// A file that a run appends to in place is listed with its length and its first bytes before the
// run, which the run overwrites (a price file's header, with its new count of records); the line
// is on disk before the file is touched, and the file is synced before the commit. Undo cuts it
// back to that length and writes those bytes back; finishing has nothing to do for it.
//
// A run that writes large files as their bytes come begins its journal with "stage N" before it
// makes the first of their temporaries, each named after its file and ending in ".korvex-tmpN",
// a number no name of the directory ended in when it began. Undoing a journal with that line
// also removes every temporary of a name a run writes that ends so, listed or not: the run may
// have been stopped before it listed them. At the commit the run adds the rest of the journal to
// that start, these temporaries among its writes, and syncs it.
//
//     korvex journal 2
//     stage 1
//     write F3.DAT F3.DAT.korvex-tmp
//     write F4.DAT F4.DAT.korvex-tmp1
//     write MASTER MASTER.korvex-tmp link
//     write MASTER.BAK MASTER.BAK.korvex-tmp
//     append F12.MWD 140028 00006B13...
//     remove F1.DAT
//     end
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/FileSystem.h"
#include "msdb/Status.h"

namespace msdb {

// The journal of a run before its commit, and after it.
inline constexpr std::string_view kJournalName = "KORVEX.JNL";
inline constexpr std::string_view kCommittedJournalName = "KORVEX.CMT";
// The longest journal that ReadJournal takes. The largest run lists each of the 65,790
// securities that MASTER and XMASTER hold with two files, in lines of at most about 100 bytes
// (an appended file with its header): under 14 MB.
inline constexpr std::size_t kMaxJournalSize = 16 << 20;
// Every temporary of a run ends in this, followed by a number when the plain name was taken.
inline constexpr std::string_view kTemporarySuffix = ".korvex-tmp";
// The backup that a run leaves beside a MASTER or EMASTER it replaced.
inline constexpr std::string_view kBackupSuffix = ".BAK";
// The file that holds the lock of a directory on Windows while a run has it.
inline constexpr std::string_view kLockFileName = "KORVEX.LCK";

struct JournalEntry {
    enum class Kind { kWrite, kRemove, kAppend, kStage };
    Kind kind = Kind::kWrite;
    std::string name;  // the file of the directory (none for kStage)
    // kWrite: where its new contents wait until they are moved to `name`; kStage: how the name of
    // every temporary of the run that was staged ends (".korvex-tmp1").
    std::string temporary;
    bool link = false;         // kWrite: `name` is a symbolic link, whose target is replaced
    std::uint64_t length = 0;  // kAppend: the length of `name` before the run
    std::string header;        // kAppend: its first bytes before the run, which the run overwrites

    bool operator==(const JournalEntry&) const = default;
};

struct Journal {
    enum class State {
        kPending,    // KORVEX.JNL: stopped before the commit
        kTorn,       // KORVEX.JNL whose writing was stopped: nothing else had been done yet
        kCommitted,  // KORVEX.CMT: stopped after the commit
        kLegacy,     // a journal of Korvex 1.4, which set the replaced files aside
    };
    State state = State::kPending;
    std::string fileName;  // kJournalName or kCommittedJournalName
    std::vector<JournalEntry> entries;
    // kLegacy: the files set aside as NAME.korvex-old, and the fingerprint of the MASTER that
    // made the commit.
    std::vector<std::string> setAside;
    std::string legacyMaster;
    std::string legacyFingerprint;
};

// The text of a journal listing `entries`; without its last line ("end") when not `complete`: the
// start of a journal that a run adds to.
std::string JournalText(const std::vector<JournalEntry>& entries, bool complete = true);

// The same of the `count` entries that `entryAt` makes, from 0, each when it is asked for: a run
// that lists tens of thousands of files need not hold them all as entries.
std::string JournalText(std::size_t count, const std::function<JournalEntry(std::size_t)>& entryAt,
                        bool complete = true);
// The same text handed to `write` in parts of about 64 KB, in order, and its size: the journal
// of a run of tens of thousands of files is not held whole.
Status WriteJournalText(std::size_t count, const std::function<JournalEntry(std::size_t)>& entryAt,
                        bool complete, const std::function<Status(std::string_view)>& write);
std::size_t JournalTextSize(std::size_t count,
                            const std::function<JournalEntry(std::size_t)>& entryAt,
                            bool complete = true);

// Reads the journal of `directory`: NotFound when there is none; Damaged, with a message that
// names the journal and the line, when it is not a journal that Korvex could have written (a
// name with a separator, "..", a path, a file no run writes), or when both journals are there.
Status ReadJournal(FileSystem& fs, const std::string& directory, Journal* journal);

// True when a run may write `name`: MASTER, EMASTER, XMASTER, their backups (NAME.BAK), F<n>.DAT
// (n from 1 to 255), and F<n>.DOP and F<n>.MWD (n from 1 to 65535), in any letter case.
bool IsNameARunWrites(std::string_view name);

// True when a run may append to `name` in place: F<n>.DAT and F<n>.MWD, in any letter case.
bool IsNameARunAppendsTo(std::string_view name);

// True when `file` is one of the temporaries that the run of the kStage entry `stage` may have
// made: a name that a run writes followed by the ending that the entry gives.
bool IsStagedTemporary(std::string_view file, const JournalEntry& stage);

// True when `temporary` is a name a run gives the temporary of `name`: `name` followed by
// ".korvex-tmp" and at most three digits.
bool IsTemporaryOf(std::string_view temporary, std::string_view name);

// True for the names of the files that Korvex reads or keeps in a MetaStock-format directory:
// MASTER, EMASTER, XMASTER and their backups, F<n>.DAT, F<n>.DOP and F<n>.MWD, the journals,
// the lock file and temporaries. Any letter case.
bool IsDirectoryFileName(std::string_view name);

}  // namespace msdb
