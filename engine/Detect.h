// Layout detection: from the first lines of a text price file, the settings that read it: the
// delimiter, the decimal comma, the heading lines to skip, the column of each field and the date
// format, with the reasons for each and what could not be decided.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ConversionSettings.h"
#include "msdb/FileSystem.h"

namespace engine {

// The most lines of a file that detection looks at.
inline constexpr std::size_t kDetectionLines = 1000;

enum class Confidence { kHigh, kLow };

// The name of a delimiter as the command line spells it: "comma", "tab", "space", "semicolon".
std::string DelimiterName(char delimiter);

// The settings that read a file, as detection proposes them. Fields not found are switched off;
// the columns that are not prices (symbol, name, period, time) are 0 when none is found.
struct DetectedLayout {
    char delimiter = ',';
    bool decimalComma = false;
    int skipRows = 0;
    DateFormat dateFormat = DateFormat::kNone;
    PerField<FieldSetting> fields;
    OtherColumns columns;
    std::vector<std::string> series;  // the series to keep, with a series column
};

struct DetectionResult {
    bool found = false;  // a layout is proposed
    DetectedLayout layout;
    // High when the proposal reads every sampled line without a problem and nothing was left
    // undecided.
    Confidence confidence = Confidence::kLow;
    std::vector<std::string> reasons;    // why each setting is what it is
    std::vector<std::string> undecided;  // what the sample could not tell
    // What each of `undecided` is about: a setting given instead of the proposal makes it moot.
    enum class About { kDateFormat, kColumns, kSeries };
    std::vector<About> undecidedAbout;
    // The sample's dates read as well in another format that nothing in it sets apart (one date,
    // or the same steps between the dates either way): the format proposed is a guess, which
    // may store other days than the file means.
    bool dateFormatGuessed = false;
    std::string failure;  // why nothing is proposed, when found is false
};

// The first kDetectionLines lines of `text`, split as LineReader splits them (at LF, CR LF or a
// lone CR; a UTF-8 byte order mark is not part of line 1).
std::vector<std::string> SplitSampleLines(std::string_view text);

// Reads the first kDetectionLines lines of the file at `path` as the conversion reads them.
// `*notText` says why the file is not a text file (a UTF-16 or UTF-32 mark, a NUL byte), else is
// emptied.
[[nodiscard]] msdb::Status ReadSampleLines(msdb::FileSystem& fs, const std::string& path,
                                           std::vector<std::string>* lines, std::string* notText);

// Proposes the layout that reads `lines`, the first lines of a file. With `delimiter` given, only
// that delimiter is considered. A heading names the symbol, name, period and time columns; without
// one, a column of short upper-case codes is the symbol only when the days repeat and no code
// has a day twice, and a column of midnights right after the dates is the time. With a symbol
// column the dates go one way for each symbol, not through the whole file. The proposal is checked
// by reading the lines with the input parser, as the conversion will.
DetectionResult DetectLayout(std::span<const std::string> lines,
                             std::optional<char> delimiter = std::nullopt);

// The same, for the first bytes of a file.
DetectionResult DetectLayoutOfText(std::string_view text);

// The layout's settings in `settings`: delimiter, decimal comma, rows to skip, date format,
// fields and the other columns.
void ApplyLayout(const DetectedLayout& layout, ConversionSettings* settings);

}  // namespace engine
