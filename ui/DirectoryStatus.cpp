#include "ui/DirectoryStatus.h"

#include "msdb/FileSystem.h"
#include "msdb/Master.h"

namespace ui {

DirectoryStatus DescribeDirectory(const std::string& typed, int master) {
    DirectoryStatus status;
    std::string& text = status.text;
    bool& warn = status.warn;
    msdb::FileSystem& fs = msdb::FileSystem::Default();
    msdb::FileInfo info;
    const msdb::Status found = typed.empty() ? msdb::Status::Ok() : fs.GetInfo(typed, &info);
    if (typed.empty()) {
        text = "Type the directory that receives the data, or browse to it.";
    } else if (!found.ok()) {
        text = "The directory does not exist.";
        status.missing = true;
        status.fittingMaster = 1;
        warn = master == 0;
        if (warn) {
            text += "\nUse Existing Master needs a directory that holds a MASTER.";
        }
    } else if (info.kind != msdb::FileKind::kDirectory) {
        text = "This is a file, not a directory.";
        warn = true;
    } else {
        std::optional<std::string> masterPath;
        const msdb::Status s = msdb::LocateMaster(fs, typed, &masterPath);
        msdb::Master file;
        if (!s.ok()) {
            text = "The directory cannot be read: " + s.message();
            warn = true;
        } else if (!masterPath) {
            text = "The directory exists and holds no MASTER.";
            status.fittingMaster = 1;
            warn = master == 0;
            if (warn) {
                text +=
                    "\nUse Existing Master will be refused: choose Make New Master to start one.";
            }
        } else if (!msdb::Master::Read(fs, *masterPath, &file).ok() || !file.HasWholeHeader()) {
            text = "The directory holds a MASTER that cannot be read.";
            warn = true;
        } else {
            const int count = file.header().recordCount;
            text = "The directory holds a MASTER that lists " + std::to_string(count) +
                   (count == 1 ? " security." : " securities.");
            status.fittingMaster = 0;
            warn = master == 1;
            if (warn) {
                text +=
                    "\nMake New Master will be refused: choose Use Existing Master to add to it.";
            }
        }
    }
    return status;
}

int MasterChoiceFor(const std::string& directory) {
    std::optional<std::string> masterPath;
    return !directory.empty() &&
                   msdb::LocateMaster(msdb::FileSystem::Default(), directory, &masterPath).ok() &&
                   masterPath
               ? 0
               : 1;
}

}  // namespace ui
