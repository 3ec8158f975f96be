// Walking a MASTER tree: the MASTER of a directory and, depth first in record order, those of the
// sub-directories its "<DIR>" entries list. The one walk that the symbol lookup, the listing and
// the check share, with the one set of safety rules.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/FileSystem.h"
#include "msdb/Master.h"
#include "msdb/Status.h"

namespace msdb {

// The most levels of directories that a walk searches: the start directory and 15 below it.
inline constexpr int kMaxSearchLevels = 16;

// The safety rules of every walk over a MASTER tree: a sub-directory entry is followed only when
// its name is a plain name (no separator, not "." or ".."), it leads to a directory inside the tree
// the walk started in that the walk has not entered yet, and the walk is not already
// kMaxSearchLevels levels deep. So no content of any MASTER can make a walk leave its tree or go
// round in a loop.
class TreeGuard {
public:
    // Starts a walk at `startDirectory` ("" for the current directory).
    TreeGuard(FileSystem& fs, const std::string& startDirectory);

    // The path of the sub-directory `name` of `parentPath` (which ends in a separator, or is empty)
    // when the walk may enter it at `depth` (the start directory is depth 0), marking it entered.
    // The directory is found whatever the case of its letters, the exact spelling first.
    std::optional<std::string> Enter(const std::string& parentPath, const std::string& name,
                                     int depth);

private:
    FileSystem& fs_;
    std::string root_;
    std::set<std::string> visited_;
};

// What a walk tells its caller.
class MasterTreeVisitor {
public:
    virtual ~MasterTreeVisitor() = default;

    // Each MASTER the walk reaches, or the reason it could not be read (a directory without one
    // included). `directory` is the start directory as given, or a path below it.
    virtual void OnMaster(const std::string& directory, const Status& status,
                          const Master& master) {
        (void)directory;
        (void)status;
        (void)master;
    }

    // Each security entry of a MASTER's listed records; true ends the walk at once.
    virtual bool OnSecurity(const std::string& directory, std::size_t recordNumber,
                            RecordBytes record) = 0;
};

// Walks the tree from `startDirectory`. A MASTER lists the records its header counts: records 1 to
// N are looked at in order, every security of a MASTER before its first sub-directory is entered;
// a negative count lists none. When the file ends before record N, the securities before that point
// are still visited but none of the MASTER's sub-directories is entered. A MASTER that is missing
// or cannot be read lists nothing. The walk never leaves the start directory's tree, never enters a
// directory twice and ends on any content.
void WalkMasterTree(FileSystem& fs, const std::string& startDirectory, MasterTreeVisitor& visitor);

// A security found by FindSecurity: its record, with the first and last dates turned into IEEE
// singles, and the directory it was found in, ending in a separator (empty when the walk started
// in the current directory, "").
struct FoundSecurity {
    MasterRecord record{};
    std::string directory;
    std::size_t recordNumber = 0;  // its place in that MASTER, from 1
};

// Looks `symbol` up, as SecurityMatches compares, in the MASTER tree of `startDirectory`; the
// first match of the walk's order, or nothing.
std::optional<FoundSecurity> FindSecurity(FileSystem& fs, std::string_view startDirectory,
                                          std::string_view symbol);

// Every security of the MASTER tree of `startDirectory` whose symbol or name, each up to its first
// NUL and without trailing blanks, is `symbol` (letter case aside), in the walk's order. Unlike
// FindSecurity, "FOO" does not find "FOO BAR".
std::vector<FoundSecurity> FindSecuritiesExactly(FileSystem& fs, std::string_view startDirectory,
                                                 std::string_view symbol);

// True when `record` is a security whose symbol or name is `symbol`, as FindSecuritiesExactly
// compares.
bool SecurityIsExactly(RecordBytes record, std::string_view symbol);

// The directories of the MASTER tree of `startDirectory` whose MASTER could be read, canonical.
std::vector<std::string> TreeDirectories(FileSystem& fs, const std::string& startDirectory);

}  // namespace msdb
