#include "app/DirectoryStatus.h"

#include <QFileInfo>
#include <optional>
#include <string>

#include "msdb/FileSystem.h"
#include "msdb/Master.h"

DirectoryStatus DescribeDirectory(const QString& typed, int master) {
    DirectoryStatus status;
    QString& text = status.text;
    bool& warn = status.warn;
    const QFileInfo info(typed);
    if (typed.isEmpty()) {
        text = QStringLiteral("Type the directory that receives the data, or browse to it.");
    } else if (!info.exists()) {
        text = QStringLiteral("The directory does not exist.");
        status.missing = true;
        warn = master == 0;
        if (warn) {
            text += QStringLiteral(" Use Existing Master needs a directory that holds a MASTER.");
        }
    } else if (!info.isDir()) {
        text = QStringLiteral("This is a file, not a directory.");
        warn = true;
    } else {
        std::optional<std::string> masterPath;
        const msdb::Status s = msdb::LocateMaster(msdb::FileSystem::Default(),
                                                  typed.toLocal8Bit().toStdString(), &masterPath);
        msdb::Master file;
        if (!s.ok()) {
            text = QStringLiteral("The directory cannot be read: ") +
                   QString::fromLocal8Bit(s.message().c_str());
            warn = true;
        } else if (!masterPath) {
            text = QStringLiteral("The directory exists and holds no MASTER.");
            warn = master == 0;
            if (warn) {
                text += QStringLiteral(
                    " Use Existing Master will be refused: choose Make New Master to start one.");
            }
        } else if (!msdb::Master::Read(msdb::FileSystem::Default(), *masterPath, &file).ok() ||
                   !file.HasWholeHeader()) {
            text = QStringLiteral("The directory holds a MASTER that cannot be read.");
            warn = true;
        } else {
            const int count = file.header().recordCount;
            text = QStringLiteral("The directory holds a MASTER that lists %1 %2.")
                       .arg(count)
                       .arg(count == 1 ? QStringLiteral("security") : QStringLiteral("securities"));
            warn = master == 1;
            if (warn) {
                text += QStringLiteral(
                    " Make New Master will be refused: choose Use Existing Master to add to it.");
            }
        }
    }
    return status;
}
