// What the settings dialog says under the directory field: whether the directory exists, whether
// it holds a MASTER and how many securities that lists, and whether the master choice fits it.
#pragma once

#include <optional>
#include <string>

namespace ui {

struct DirectoryStatus {
    std::string text;
    bool warn = false;     // the run would be refused, or the directory cannot be used
    bool missing = false;  // there is no such directory: it can be made
    // The master choice that fits the directory: 0 Use Existing Master where there is a MASTER,
    // 1 Make New Master where there is none; nothing when the directory cannot be used.
    std::optional<int> fittingMaster;
};

// `typed` is the directory as typed; `master` is 0 for Use Existing Master, 1 for Make New Master
// and -1 for neither.
DirectoryStatus DescribeDirectory(const std::string& typed, int master);

// The master choice a directory calls for: Use Existing Master (0) when it holds a MASTER, else
// Make New Master (1), whatever an earlier run chose.
int MasterChoiceFor(const std::string& directory);

}  // namespace ui
