// korvex-cli list, export and check: what a MetaStock-format directory holds, its prices as text,
// and whether it is sound.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Each takes its command line without the command's name and returns the exit status.
int RunList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunExport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const kListUsage;
extern const char* const kExportUsage;
extern const char* const kCheckUsage;

}  // namespace cli
