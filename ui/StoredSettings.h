// Everything the desktop programs remember between runs, in one table of keys and defaults: the
// settings of the last conversion, the recent files, the folder File > Open was last in and the
// main window's placement. The keys are those the settings files of earlier versions hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/ConversionSettings.h"
#include "ui/SettingsStore.h"

namespace ui {

// The Conversion Settings as the dialog holds them: texts as typed, choices as list positions.
// Built from the store or from detection, edited by the user, turned into a run's settings.
struct FormValues {
    std::string directory;
    std::string symbol;
    std::string name;
    int master = 0;  // 0 "Use Existing Master", 1 "Make New Master", -1 none chosen
    bool makeEMaster = false;
    int delimiter = 0;  // 0 comma, 1 tab, 2 space, 3 semicolon, -1 none chosen
    bool decimalComma = false;
    std::string dateFormat = "MMDDYY";  // a name of the date format list, or its start
    bool skipOn = false;
    int skipRows = 0;
    std::string from;  // YYYY-MM-DD or empty, as typed
    std::string to;
    int codePage = msdb::kDefaultCodePage;
    engine::PerField<engine::FieldSetting> fields = {
        {{{true, 1}, {true, 2}, {true, 3}, {true, 4}, {true, 5}, {true, 6}, {true, 7}}}};
    // The columns of each line's symbol, name and period; 0 when the file has none. With a
    // symbol column one file holds many securities.
    engine::OtherColumns columns;
    // The series whose lines are read, as typed ("EQ,BE"); with a series column only.
    std::string series;
    bool update = false;   // add the new days to securities the directory holds already
    bool xmaster = false;  // list securities past MASTER's 255 in XMASTER

    bool operator==(const FormValues&) const = default;

    // The enabling rules of the form: a field switched off keeps its column, greyed out; so do
    // the rows to skip while skipping is off, and the EMASTER choice without a new MASTER.
    bool ColumnEnabled(engine::PriceField field) const {
        return field == engine::PriceField::kDate || field == engine::PriceField::kClose ||
               fields[field].on;
    }
    bool SkipRowsEnabled() const { return skipOn; }
    bool MakeEMasterEnabled() const { return master == 1; }
    // The series to keep are typed with a series column only.
    bool SeriesEnabled() const { return columns.series != 0; }
    // The symbol and name typed for one file: a symbol column names each line's security, and
    // several files each take their own.
    bool SymbolEnabled(std::size_t fileCount) const {
        return fileCount <= 1 && columns.symbol == 0;
    }
};

// What the dialog says of a From or To that is no date.
inline constexpr std::string_view kBadDateMessage =
    "Write the date as YYYY-MM-DD, from 1961 to 2099, or leave it empty.";

// One remembered value: its section and entry in the store and its text when none is stored.
struct StoredSetting {
    std::string_view section;
    std::string_view entry;
    std::string_view defaultValue;
};

// The section of the conversion settings, and that of the recent files and the window.
inline constexpr std::string_view kSettingSection = "Setting";
inline constexpr std::string_view kRecentSection = "Recent File List";
inline constexpr std::string_view kScreenSection = "Screen";

// Every stored setting, in the order written.
const std::vector<StoredSetting>& StoredSettingsTable();

// The last run's settings, each absent one at its default.
FormValues LoadForm(SettingsStore& store);
// Remembers how the file was read and where it went: every setting of the form. The symbol and
// the name are remembered too, though a newly opened file never starts from them.
void SaveForm(SettingsStore& store, const FormValues& form);

// The entry of the date format list whose name `text` begins, without regard to case; nothing for
// an empty text or one that begins none.
std::optional<engine::DateFormat> DateFormatOf(std::string_view text);

// The run's settings that `form` gives for `inputPath`. A date format that is none of the list is
// format 0, which the run refuses; a From or To that is no date is no limit (the dialog refuses
// one before a run).
engine::ConversionSettings ToSettings(const FormValues& form, const std::string& inputPath);

// The form's reading settings (delimiter, decimal comma, skipping, date format, fields) taken
// from `settings`; the directory, symbol, name and master choice are left as they are.
void TakeReading(const engine::ConversionSettings& settings, FormValues* form);

// The files opened last, newest first, at most kRecentFiles.
inline constexpr int kRecentFiles = 4;
std::vector<std::string> RecentFiles(SettingsStore& store);
// Puts `path` first (once); drops it, when `opened` is false, because it could not be opened.
void NoteRecentFile(SettingsStore& store, const std::string& path, bool opened = true);

// The folder File > Open showed last; empty at first.
std::string OpenFolder(SettingsStore& store);
void SetOpenFolder(SettingsStore& store, const std::string& folder);

// The main window's place: its normal frame (the size it comes back to from maximised) and
// whether it was maximised.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
};
WindowPlacement LoadPlacement(SettingsStore& store);
void SavePlacement(SettingsStore& store, const WindowPlacement& placement);
// Where the window goes on a screen `screenWidth` by `screenHeight`: the stored normal frame when
// it fits the screen, else 85 % of the screen, centred. `maximized` is kept.
WindowPlacement FitPlacement(const WindowPlacement& stored, int screenWidth, int screenHeight);

}  // namespace ui
