// The securities of one directory as the user picks from them: what its MASTER lists, then what
// its XMASTER lists, each with its price records and dates, in UTF-8.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ui {

struct ListedSecurity {
    std::string symbol;          // as stored, without trailing blanks: what a removal is asked for
    std::string name;            // EMASTER's full name where MASTER holds it cut short
    std::optional<int> records;  // as its price file's header counts them; none when unreadable
    std::string firstDate;       // YYYY-MM-DD; empty when the stored date is no valid date
    std::string lastDate;
    bool inXMaster = false;  // listed by XMASTER, its prices in F<n>.MWD

    bool operator==(const ListedSecurity&) const = default;
};

// The securities of `directory`'s own MASTER in record order (sub-directory entries are not
// securities, and sub-directories are not entered), then those of its XMASTER, symbols and names
// decoded from code page `codePage`. Nothing, and `*problem` saying why, when no directory is
// given, it does not exist or cannot be read, it holds no MASTER, or its MASTER cannot be read or
// is damaged; otherwise `*problem` is empty.
std::vector<ListedSecurity> ListSecurities(const std::string& directory, int codePage,
                                           std::string* problem);

}  // namespace ui
