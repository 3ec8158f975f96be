// What each run of the session did, in the user's words: added, replaced (with the records before
// and after), removed, or failed and why, with what that left of the directory. The main window
// shows it; opening a file adds to it and never wipes it; View > Clear Window empties it.
#pragma once

#include <string>
#include <vector>

#include "engine/ConversionJob.h"
#include "engine/DatabaseRun.h"
#include "engine/RemoveSecurity.h"

namespace ui {

// The lines of an opened file the log shows.
inline constexpr int kOpenedLines = 10;

// The first `count` lines of the file at `path` (UTF-8) as a text-mode read with a 300-byte buffer
// gives them: at most 299 characters each (a longer line comes in pieces), without their line
// ends. None when the file cannot be read.
std::vector<std::string> FirstLines(const std::string& path, int count);

class SessionLog {
public:
    // A file was opened: its path and, below, its first lines as they are, each ending in a line
    // break.
    void Opened(const std::string& path, const std::vector<std::string>& firstLines);
    // Several files were opened for one run: their paths, and the first lines of the first.
    void OpenedFiles(const std::vector<std::string>& paths,
                     const std::vector<std::string>& firstLines);
    // A conversion ended: what `job` did, committed or not. `reason` is the last message the run
    // gave when it failed.
    void Converted(const engine::ConversionJob& job, bool succeeded, const std::string& reason);
    // A conversion was stopped before its commit.
    void Cancelled(const engine::ConversionJob& job);
    // A run of many securities ended: committed, its report with a line per security; else
    // stopped or failed (`reason` the last message it gave) and what that left of the directory.
    void Ran(const engine::DatabaseRun& run, bool succeeded, bool cancelled,
             const std::string& reason);
    // Adds an entry made elsewhere (by a task).
    void Add(std::string entry);
    // A removal ended: `symbol` as typed, what the removal reported, and the reason it gave when
    // it failed.
    void Removed(const std::string& symbol, const engine::RemovalReport& report, bool succeeded,
                 const std::string& reason);
    void Clear();

    // The entries, oldest first; each is one or more lines. The window shows them one after the
    // other, a blank line between.
    const std::vector<std::string>& Entries() const { return entries_; }
    // The newest entry, or an empty text.
    std::string Last() const { return entries_.empty() ? std::string() : entries_.back(); }

private:
    std::vector<std::string> entries_;
};

}  // namespace ui
