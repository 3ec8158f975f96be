// What one conversion is asked to do: the input file, the target directory and security, and how
// the input's lines are read. The command-line program, the desktop program and the tests each
// build one, check it with Validate and hand it to a ConversionJob.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msdb/CodePage.h"
#include "msdb/Encoding.h"
#include "msdb/Master.h"
#include "msdb/SecurityFiles.h"

namespace engine {

using msdb::DateFormat;
using msdb::PerField;
using msdb::Period;
using msdb::PriceField;

// The limits of the settings, as the settings dialog keeps them.
namespace limits {
inline constexpr int kFirstColumn = 1;
inline constexpr int kLastColumn = 20;  // a line's fields after the 20th are not read
inline constexpr std::size_t kMaxSymbolLength = msdb::kSymbolFieldSize;  // as MASTER holds it
inline constexpr std::size_t kMaxNameLength = msdb::kNameFieldSize;
inline constexpr std::size_t kMaxDirectoryLength = 200;
inline constexpr int kMaxSkipRows = 200;
inline constexpr std::size_t kMaxDateFormatText = 12;  // the longest name of the list
}  // namespace limits

// Whether the security is added to the directory's MASTER or a new MASTER is made for it.
enum class MasterChoice { kUseExisting, kMakeNew };

// One price field's setting: stored or not, and the column (counted from 1) it is read from.
struct FieldSetting {
    bool on = true;
    int column = 1;
    bool operator==(const FieldSetting&) const = default;
};

// Which setting a problem concerns.
enum class SettingsField {
    kColumn,
    kName,
    kDirectory,
    kSymbol,
    kSkipRows,
    kDateFormat,
    kDecimalComma,
    kMaster,  // the choice between the directory's MASTER and a new one
    kRange,   // the dates From and To
    kCodePage,
    kPeriod,
};

enum class ProblemKind {
    kOutOfRange,        // a number outside [minimum, maximum]
    kTooLong,           // a text longer than `maximum` bytes
    kDuplicateColumns,  // two switched-on fields share a column
    kEmpty,             // a text that is empty once its trailing blanks are gone
    kConflict,          // a setting that the others rule out
    kNotInCodePage,     // a text that holds a character the code page lacks
};

// One thing wrong with the settings. `message` is the settings dialog's text for it.
struct SettingsProblem {
    SettingsField field;
    ProblemKind kind;
    PriceField priceField = PriceField::kDate;  // for kColumn
    int minimum = 0;
    int maximum = 0;
    std::string message;
};

// The checks of single values, which the settings dialog also makes as each control is read.
std::optional<SettingsProblem> CheckColumn(PriceField field, int column);
std::optional<SettingsProblem> CheckSkipRows(int rows);
// `field` is kName, kDirectory, kSymbol or kDateFormat (a format's name as typed). A symbol and a
// name are counted in characters (each one byte of MASTER's code page), the others in bytes.
std::optional<SettingsProblem> CheckLength(SettingsField field, std::string_view text);

// A symbol or a name (`field`) that holds a character code page `codePage` lacks: a problem that
// names the character and a code page that has it.
std::optional<SettingsProblem> CheckCodePage(SettingsField field, std::string_view text,
                                             int codePage);

// The period named by `text`: D, W or M, or Daily, Weekly or Monthly, in any letter case.
// Anything else gives nothing, and `refusal` (worded to follow the option's name) says why and
// what is allowed; an intraday period (I, 5, 60, H, Min, Tick ...) is told apart, as Korvex does
// not write its record layout.
std::optional<Period> ReadPeriod(std::string_view text, std::string* refusal);

// `text` without its trailing blanks (spaces, tabs, line ends).
std::string TrimTrailingBlanks(std::string_view text);

// The day of a date written as YYYY-MM-DD, from 1961 to 2099; nothing for any other text.
std::optional<msdb::DayNumber> ParseIsoDate(std::string_view text);

// A symbol as it is stored: trailing blanks removed, ASCII letters in upper case.
std::string NormalizeSymbol(std::string_view symbol);

// The series of a list written as "EQ, be;BL": separated by commas, semicolons or blanks, each
// as NormalizeSymbol gives it, in their order, each once.
std::vector<std::string> ParseSeriesList(std::string_view text);
// The list as ParseSeriesList reads it back: "EQ,BE".
std::string SeriesListText(const std::vector<std::string>& series);

// The columns (from 1) of the fields that are not prices, each 0 when the file has none. With a
// symbol column a file holds any number of securities, each symbol's lines the records of its
// own; a name column names each security, a period column gives each line's time frame (D, W or
// M, as Period reads them) and a time column each line's time of day, which must be midnight:
// intraday prices are a record layout of their own. A series column gives each line's series, as
// exchanges list a symbol in several (EQ, BE, BL, N1, ...): with series to keep, the lines of the
// others are passed over.
struct OtherColumns {
    int symbol = 0;
    int name = 0;
    int period = 0;
    int time = 0;
    int series = 0;
    bool operator==(const OtherColumns&) const = default;
};

struct ConversionSettings {
    std::string inputPath;
    std::string directory;  // relative paths are taken from the current directory
    std::string symbol;
    std::string name;
    MasterChoice master = MasterChoice::kUseExisting;
    // Converts over the security of the same symbol that the MASTER of the directory lists,
    // keeping its file number and its place, instead of refusing it as a duplicate.
    bool replaceExisting = false;
    // Stores a file whose lines have problems all the same: what cannot be read as 0.
    bool acceptProblems = false;
    // With a new MASTER, makes an EMASTER beside it too, as other programs keep one.
    bool makeEMaster = false;
    // A security that MASTER has no room for (it lists 255) is listed in the directory's XMASTER,
    // made when there is none, its prices in F<n>.MWD (n from 256). A directory that has an
    // XMASTER already is added to without it. Off: such a run is refused.
    bool xmaster = false;
    // A security the directory holds already gets the records dated after its last stored day
    // appended; records of days it holds are passed over when they equal the stored ones and are
    // problems when they differ. Securities it does not hold are added.
    bool update = false;
    // Does everything but the commit: the directory is only read.
    bool dryRun = false;
    char delimiter = ',';  // ',', '\t', ' ' or ';'
    // Numbers are written with a decimal comma ("10,5"), as European sources write them; only
    // with a delimiter other than comma.
    bool decimalComma = false;
    DateFormat dateFormat = DateFormat::MMDDYY;
    // The time frame charting programs show the security in; each line of the input is one
    // period's prices, and each becomes one record.
    Period period = Period::kDaily;
    bool skipOn = false;
    int skipRows = 0;
    // Only the lines dated from `from` to `to` (each when given) are converted; the others are
    // passed over. A file of more records than one security holds is converted a range at a time.
    std::optional<msdb::DayNumber> from;
    std::optional<msdb::DayNumber> to;
    // The code page, 1250 to 1258, in which MASTER, EMASTER and XMASTER hold symbols and names.
    int codePage = msdb::kDefaultCodePage;
    // Date and close are always stored; by default all seven fields, in columns 1 to 7.
    PerField<FieldSetting> fields = {
        {{{true, 1}, {true, 2}, {true, 3}, {true, 4}, {true, 5}, {true, 6}, {true, 7}}}};
    OtherColumns columns;
    // With a series column, the series whose lines are read (as NormalizeSymbol gives them);
    // empty for all of them.
    std::vector<std::string> series;

    // Every problem, in the order in which the settings dialog checks: the columns of the fields
    // switched on, the lengths of name, directory and symbol, the rows to skip, duplicate columns,
    // an empty symbol, an empty directory, a date format that is none of the list, a decimal
    // comma with the comma delimiter, a code page that is none of 1250 to 1258, a symbol or name
    // with a character the code page lacks, a From date after the To date, and a period that is
    // none of daily, weekly and monthly.
    std::vector<SettingsProblem> Validate() const;

    // The number of fields switched on, the fields a price record holds.
    int FieldCount() const;

    PerField<bool> FieldsOn() const;

    // The number of lines to skip before the first line that is read (0 with skipping off).
    int RowsToSkip() const { return skipOn ? skipRows : 0; }
};

}  // namespace engine
