// What the settings dialog says under the directory field: whether the directory exists, whether
// it holds a MASTER and how many securities that lists, and whether the master choice fits it.
#pragma once

#include <QString>

struct DirectoryStatus {
    QString text;
    bool warn = false;     // the run would be refused, or the directory cannot be used
    bool missing = false;  // there is no such directory: it can be made
};

// `typed` is the directory as typed; `master` is 0 for Use Existing Master, 1 for Make New Master
// and -1 for neither.
DirectoryStatus DescribeDirectory(const QString& typed, int master);
