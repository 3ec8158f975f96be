// The XMASTER file of directories with more than 255 securities, as other programs write it: a
// 150-byte header, then one 150-byte record per security, whose prices lie in F<n>.MWD (n from
// 256), laid out as F<n>.DAT. Korvex reads it; it never writes one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/Encoding.h"
#include "msdb/FileSystem.h"
#include "msdb/Status.h"

namespace msdb {

inline constexpr std::size_t kXMasterRecordSize = 150;
inline constexpr std::string_view kXMasterFileName = "XMASTER";

// One security of an XMASTER.
struct XMasterEntry {
    std::size_t recordNumber = 0;  // from 1
    int fileNumber = 0;
    std::string symbol;
    std::string name;
    int fieldCount = 0;    // the bits set in the field mask
    MbfBytes firstDate{};  // as MASTER would hold them
    MbfBytes lastDate{};
};

class XMaster {
public:
    [[nodiscard]] static Status Read(FileSystem& fs, const std::string& path, XMaster* xmaster);

    const std::string& path() const { return path_; }

    // Refuses, as damaged, a file without the XMASTER signature, shorter than its header, or
    // whose count disagrees with its records. The message says why.
    [[nodiscard]] Status Check() const;

    // The securities of the records present, as many as the header counts at most.
    std::vector<XMasterEntry> Entries() const;

    // True when the symbol or the name of `entry` is `symbol`, letter case aside.
    static bool Matches(const XMasterEntry& entry, std::string_view symbol);

private:
    std::string path_;
    std::string bytes_;
};

// "F<n>.MWD" for file number n.
std::string MwdFileName(int fileNumber);

// The XMASTER of `directory` (found in any letter case), read; NotFound when there is none.
Status ReadXMasterOf(FileSystem& fs, const std::string& directory, XMaster* xmaster);

}  // namespace msdb
