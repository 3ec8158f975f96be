// The texts that the conversion steps show the user.
#pragma once

namespace engine::messages {

inline constexpr const char* kMoreColumns = "You need to select more columns";
inline constexpr const char* kPathDoesNotExist = "Path does not exist";
inline constexpr const char* kNoMasterFile = "Path specified does not point to a Master file";
inline constexpr const char* kMasterExists = "New Master chosen but one already exists";
inline constexpr const char* kDuplicateSymbol = "Duplicate Symbol";
inline constexpr const char* kTooManySecurities =
    "This portfolio already has the\nmaximum number of symbols (255).\nChoose a different or new "
    "portfolio.";
// Told on the command line and in the desktop program alike: it names the way of each.
inline constexpr const char* kXMasterNeeded =
    "Securities past MASTER's 255 are listed in an XMASTER beside it (made for the first of "
    "them), with their prices in F<n>.MWD, n from 256: give --xmaster on the command line, or "
    "check \"List securities past MASTER's size (255) in XMASTER\" in the settings dialog. "
    "Programs that read only MASTER, such as older versions of MetaStock, see only MASTER's 255 "
    "securities.";
inline constexpr const char* kNumericDateExpected =
    "You specified a numeric-only date format\nbut a non-numeric date character was found.";
inline constexpr const char* kSeparatedDateExpected =
    "You specified a character-separated date format\nbut a only numeric date characters were "
    "found.";

}  // namespace engine::messages
