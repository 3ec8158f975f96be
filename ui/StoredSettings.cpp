#include "ui/StoredSettings.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <functional>

namespace ui {
namespace {

using engine::PriceField;

// A stored setting with the way it is read into and written from a form.
struct Binding {
    StoredSetting key;
    std::function<std::string(const FormValues&)> get;
    std::function<void(FormValues&, const std::string&)> set;
};

// The leading integer of a stored text, as "%d" reads it; `fallback` when there is none.
int LeadingInt(const std::string& text, int fallback) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const long number = std::strtol(begin, &end, 10);
    return end == begin ? fallback : static_cast<int>(std::clamp<long>(number, INT_MIN, INT_MAX));
}

Binding Text(std::string_view entry, std::string_view fallback, std::string FormValues::*member) {
    return {{kSettingSection, entry, fallback},
            [member](const FormValues& form) { return form.*member; },
            [member](FormValues& form, const std::string& text) { form.*member = text; }};
}

template <typename T>
Binding Number(std::string_view entry, std::string_view fallback, T FormValues::*member) {
    return {
        {kSettingSection, entry, fallback},
        [member](const FormValues& form) { return std::to_string(static_cast<int>(form.*member)); },
        [member, fallback](FormValues& form, const std::string& text) {
            const int defaultValue = LeadingInt(std::string(fallback), 0);
            const int value = LeadingInt(text, defaultValue);
            if constexpr (std::is_same_v<T, bool>) {
                form.*member = value != 0;
            } else {
                form.*member = value;
            }
        }};
}

// A field's switch ("OpenOn") or column ("OpenCol").
Binding FieldOn(std::string_view entry, std::string_view fallback, PriceField field) {
    return {
        {kSettingSection, entry, fallback},
        [field](const FormValues& form) { return std::string(form.fields[field].on ? "1" : "0"); },
        [field](FormValues& form, const std::string& text) {
            form.fields[field].on = LeadingInt(text, 1) != 0;
        }};
}

Binding FieldColumn(std::string_view entry, std::string_view fallback, PriceField field) {
    return {{kSettingSection, entry, fallback},
            [field](const FormValues& form) { return std::to_string(form.fields[field].column); },
            [field, fallback](FormValues& form, const std::string& text) {
                form.fields[field].column = LeadingInt(text, LeadingInt(std::string(fallback), 1));
            }};
}

// The column of a field that is not a price; 0, the default, when the file has none.
Binding OtherColumn(std::string_view entry, int engine::OtherColumns::*member) {
    return {{kSettingSection, entry, "0"},
            [member](const FormValues& form) { return std::to_string(form.columns.*member); },
            [member](FormValues& form, const std::string& text) {
                form.columns.*member = LeadingInt(text, 0);
            }};
}

const std::vector<Binding>& Bindings() {
    static const std::vector<Binding> bindings = {
        Text("DateFormat", "MMDDYY", &FormValues::dateFormat),
        Number("Exist", "0", &FormValues::master),
        Number("Delimiter", "0", &FormValues::delimiter),
        Text("Path", "", &FormValues::directory),
        Text("Symbol", "", &FormValues::symbol),
        Text("Name", "", &FormValues::name),
        Number("CodePage", "1252", &FormValues::codePage),
        Text("From", "", &FormValues::from),
        Text("To", "", &FormValues::to),
        Number("SkipOn", "0", &FormValues::skipOn),
        Number("EMaster", "0", &FormValues::makeEMaster),
        Number("DecimalComma", "0", &FormValues::decimalComma),
        Number("SkipRows", "0", &FormValues::skipRows),
        FieldColumn("DateCol", "1", PriceField::kDate),
        FieldOn("OpenOn", "1", PriceField::kOpen),
        FieldColumn("OpenCol", "2", PriceField::kOpen),
        FieldOn("HiOn", "1", PriceField::kHigh),
        FieldColumn("HiCol", "3", PriceField::kHigh),
        FieldOn("LoOn", "1", PriceField::kLow),
        FieldColumn("LoCol", "4", PriceField::kLow),
        FieldColumn("CloCol", "5", PriceField::kClose),
        FieldOn("VolOn", "1", PriceField::kVolume),
        FieldColumn("VolCol", "6", PriceField::kVolume),
        FieldOn("OIOn", "1", PriceField::kOpenInterest),
        FieldColumn("OICol", "7", PriceField::kOpenInterest),
        OtherColumn("SymbolCol", &engine::OtherColumns::symbol),
        OtherColumn("NameCol", &engine::OtherColumns::name),
        OtherColumn("PeriodCol", &engine::OtherColumns::period),
        OtherColumn("SeriesCol", &engine::OtherColumns::series),
        Text("Series", "", &FormValues::series),
        Number("Update", "0", &FormValues::update),
        Number("XMaster", "0", &FormValues::xmaster),
    };
    return bindings;
}

std::string RecentEntry(int i) {
    return "File" + std::to_string(i + 1);
}

constexpr std::string_view kOpenFolderEntry = "OpenFolder";

}  // namespace

const std::vector<StoredSetting>& StoredSettingsTable() {
    static const std::vector<StoredSetting> table = [] {
        std::vector<StoredSetting> keys;
        for (const Binding& binding : Bindings()) {
            keys.push_back(binding.key);
        }
        keys.push_back({kSettingSection, kOpenFolderEntry, ""});
        for (int i = 0; i < kRecentFiles; ++i) {
            static const std::array<std::string, kRecentFiles> names = {
                RecentEntry(0), RecentEntry(1), RecentEntry(2), RecentEntry(3)};
            keys.push_back({kRecentSection, names[static_cast<std::size_t>(i)], ""});
        }
        for (std::string_view entry : {"x", "y", "cx", "cy", "Maximized"}) {
            keys.push_back({kScreenSection, entry, "0"});
        }
        return keys;
    }();
    return table;
}

FormValues LoadForm(SettingsStore& store) {
    FormValues form;
    for (const Binding& binding : Bindings()) {
        binding.set(
            form, store.ReadString(std::string(binding.key.section), std::string(binding.key.entry),
                                   std::string(binding.key.defaultValue)));
    }
    return form;
}

void SaveForm(SettingsStore& store, const FormValues& form) {
    for (const Binding& binding : Bindings()) {
        (void)store.WriteString(std::string(binding.key.section), std::string(binding.key.entry),
                                binding.get(form));
    }
}

std::optional<engine::DateFormat> DateFormatOf(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < msdb::kDateFormatNames.size(); ++i) {
        const std::string_view name = msdb::kDateFormatNames[i];
        if (text.size() <= name.size() && msdb::EqualsNoCase(name.substr(0, text.size()), text)) {
            return static_cast<engine::DateFormat>(i + 1);
        }
    }
    return std::nullopt;
}

engine::ConversionSettings ToSettings(const FormValues& form, const std::string& inputPath) {
    engine::ConversionSettings settings;
    settings.inputPath = inputPath;
    settings.directory = form.directory;
    settings.symbol = form.symbol;
    settings.name = form.name;
    settings.master =
        form.master == 0 ? engine::MasterChoice::kUseExisting : engine::MasterChoice::kMakeNew;
    settings.makeEMaster = form.makeEMaster && settings.master == engine::MasterChoice::kMakeNew;
    static constexpr std::array<char, 4> kDelimiters = {',', '\t', ' ', ';'};
    settings.delimiter = form.delimiter >= 0 && form.delimiter < 4
                             ? kDelimiters[static_cast<std::size_t>(form.delimiter)]
                             : ',';
    settings.decimalComma = form.decimalComma;
    settings.dateFormat =
        DateFormatOf(form.dateFormat).value_or(static_cast<engine::DateFormat>(0));
    settings.skipOn = form.skipOn;
    settings.skipRows = form.skipRows;
    settings.fields = form.fields;
    settings.fields[PriceField::kDate].on = true;
    settings.fields[PriceField::kClose].on = true;
    settings.codePage = form.codePage;
    settings.from = engine::ParseIsoDate(form.from);
    settings.to = engine::ParseIsoDate(form.to);
    settings.columns = form.columns;
    if (form.columns.series != 0) {
        settings.series = engine::ParseSeriesList(form.series);
    }
    settings.update = form.update;
    settings.xmaster = form.xmaster;
    return settings;
}

void TakeReading(const engine::ConversionSettings& settings, FormValues* form) {
    static constexpr std::string_view kDelimiters = ",\t ;";
    const std::size_t delimiter = kDelimiters.find(settings.delimiter);
    form->delimiter = delimiter == std::string_view::npos ? 0 : static_cast<int>(delimiter);
    form->decimalComma = settings.decimalComma;
    const int format = static_cast<int>(settings.dateFormat);
    if (format >= 1 && format <= static_cast<int>(msdb::kDateFormatNames.size())) {
        form->dateFormat =
            std::string(msdb::kDateFormatNames[static_cast<std::size_t>(format - 1)]);
    }
    form->skipOn = settings.skipOn;
    form->skipRows = settings.skipRows;
    form->fields = settings.fields;
}

std::vector<std::string> RecentFiles(SettingsStore& store) {
    std::vector<std::string> files;
    for (int i = 0; i < kRecentFiles; ++i) {
        std::string file = store.ReadString(std::string(kRecentSection), RecentEntry(i), "");
        if (!file.empty() && std::find(files.begin(), files.end(), file) == files.end()) {
            files.push_back(std::move(file));
        }
    }
    return files;
}

void NoteRecentFile(SettingsStore& store, const std::string& path, bool opened) {
    std::vector<std::string> files = RecentFiles(store);
    const auto before = files;
    std::erase(files, path);
    if (opened) {
        files.insert(files.begin(), path);
    }
    if (files == before) {
        return;
    }
    for (int i = 0; i < kRecentFiles; ++i) {
        const auto index = static_cast<std::size_t>(i);
        (void)store.WriteString(std::string(kRecentSection), RecentEntry(i),
                                index < files.size() ? files[index] : "");
    }
}

std::string OpenFolder(SettingsStore& store) {
    return store.ReadString(std::string(kSettingSection), std::string(kOpenFolderEntry), "");
}

void SetOpenFolder(SettingsStore& store, const std::string& folder) {
    (void)store.WriteString(std::string(kSettingSection), std::string(kOpenFolderEntry), folder);
}

WindowPlacement LoadPlacement(SettingsStore& store) {
    const std::string section(kScreenSection);
    WindowPlacement placement;
    placement.x = store.ReadInt(section, "x", 0);
    placement.y = store.ReadInt(section, "y", 0);
    placement.width = store.ReadInt(section, "cx", 0);
    placement.height = store.ReadInt(section, "cy", 0);
    placement.maximized = store.ReadInt(section, "Maximized", 0) != 0;
    return placement;
}

void SavePlacement(SettingsStore& store, const WindowPlacement& placement) {
    const std::string section(kScreenSection);
    (void)store.WriteInt(section, "cx", placement.width);
    (void)store.WriteInt(section, "cy", placement.height);
    (void)store.WriteInt(section, "x", std::max(placement.x, 0));
    (void)store.WriteInt(section, "y", std::max(placement.y, 0));
    (void)store.WriteInt(section, "Maximized", placement.maximized ? 1 : 0);
}

WindowPlacement FitPlacement(const WindowPlacement& stored, int screenWidth, int screenHeight) {
    const int w = screenWidth;
    const int h = screenHeight;
    const WindowPlacement& s = stored;
    if (s.width > 0 && s.height > 0 && s.x >= 0 && s.y >= 0 && s.width <= w && s.height <= h &&
        s.x <= w && s.y <= h) {
        return stored;
    }
    constexpr int kSharePercent = 85;
    WindowPlacement fitted;
    fitted.width = w * kSharePercent / 100;
    fitted.height = h * kSharePercent / 100;
    fitted.x = (w - fitted.width) / 2;
    fitted.y = (h - fitted.height) / 2;
    fitted.maximized = stored.maximized;
    return fitted;
}

}  // namespace ui
