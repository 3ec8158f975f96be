#include "ui/FileStart.h"

#include <algorithm>

#include "engine/InputScan.h"
#include "msdb/CodePage.h"
#include "msdb/FileSystem.h"
#include "ui/DirectoryStatus.h"

namespace ui {
namespace {

using engine::PriceField;

// The fields as the dialog names them.
constexpr msdb::PerField<std::string_view> kFieldLabels = {
    {"Date", "Open", "High", "Low", "Close", "Volume", "Open Int"}};

std::string Join(const std::vector<std::string>& texts, const char* separator) {
    std::string joined;
    for (const std::string& text : texts) {
        joined += (joined.empty() ? "" : separator) + text;
    }
    return joined;
}

std::string HeadingLines(int count) {
    return count == 0 ? "no heading lines"
                      : std::to_string(count) + (count == 1 ? " heading line" : " heading lines");
}

std::string FieldPlace(const engine::FieldSetting& field) {
    return field.on ? "column " + std::to_string(field.column) : "not stored";
}

}  // namespace

Detection DetectForForm(const std::string& inputPath, const engine::ConversionSettings* lastRun) {
    Detection detection;
    std::vector<std::string> lines;
    std::string notText;
    const msdb::Status s =
        engine::ReadSampleLines(msdb::FileSystem::Default(), inputPath, &lines, &notText);
    if (!s.ok() || !notText.empty()) {
        detection.line =
            "The file's layout could not be detected: " + (s.ok() ? notText : s.message()) + ".";
        return detection;
    }
    const engine::DetectionResult result = engine::DetectLayout(lines);
    if (!result.found) {
        detection.line = "The file's layout could not be detected: " + result.failure +
                         "\nThe settings are those of the last run.";
        return detection;
    }
    detection.reasons = Join(result.reasons, "\n");
    const std::string undecided = Join(result.undecided, "\n");
    const bool confident = result.confidence == engine::Confidence::kHigh;
    if (!confident && lastRun != nullptr && ReadsCleanly(*lastRun)) {
        detection.line =
            "The file's layout is not certain; the settings are those of the last run.";
        const std::vector<std::string> differences = DescribeDifferences(*lastRun, result.layout);
        if (!differences.empty()) {
            detection.line += "\n" + Join(differences, "\n");
        }
        detection.line += "\nPress Detect to take the proposal.";
        if (!undecided.empty()) {
            detection.line += "\n" + undecided;
        }
        detection.layout = result.layout;
        return detection;
    }
    detection.take = true;
    detection.layout = result.layout;
    detection.line =
        std::string("Settings detected from the file") +
        (confident            ? "."
         : lastRun != nullptr ? ", with doubts: the last run's settings do not read this file."
                              : ", with doubts.") +
        (result.layout.columns.symbol == 0
             ? "\nLeft to you: the directory, the master, the symbol and the name."
             : "\nLeft to you: the directory and the master; the file gives each line's security.");
    if (!undecided.empty()) {
        detection.line += "\n" + undecided;
    }
    return detection;
}

std::vector<std::string> DescribeDifferences(const engine::ConversionSettings& settings,
                                             const engine::DetectedLayout& layout) {
    std::vector<std::string> lines;
    if (settings.delimiter != layout.delimiter) {
        lines.push_back("Delimiter " + engine::DelimiterName(settings.delimiter) +
                        " (detected: " + engine::DelimiterName(layout.delimiter) + ")");
    }
    if (settings.decimalComma != layout.decimalComma) {
        lines.push_back(std::string("Decimal comma ") + (settings.decimalComma ? "on" : "off") +
                        " (detected: " + (layout.decimalComma ? "on" : "off") + ")");
    }
    const int skipped = settings.skipOn ? settings.skipRows : 0;
    if (skipped != layout.skipRows) {
        lines.push_back("Skip " + HeadingLines(skipped) +
                        " (detected: " + std::to_string(layout.skipRows) + ")");
    }
    if (settings.dateFormat != layout.dateFormat &&
        layout.dateFormat != engine::DateFormat::kNone) {
        lines.push_back("Date format " + std::string(msdb::DateFormatName(settings.dateFormat)) +
                        " (detected: " + std::string(msdb::DateFormatName(layout.dateFormat)) +
                        ")");
    }
    for (PriceField field : msdb::kPriceFields) {
        const engine::FieldSetting& have = settings.fields[field];
        const engine::FieldSetting& found = layout.fields[field];
        if (have.on != found.on || (have.on && have.column != found.column)) {
            lines.push_back(std::string(kFieldLabels[field]) + " " + FieldPlace(have) +
                            " (detected: " + FieldPlace(found) + ")");
        }
    }
    return lines;
}

bool ReadsCleanly(const engine::ConversionSettings& settings) {
    // Only the reading settings matter here: the directory and the symbol may be empty yet.
    for (const engine::SettingsProblem& problem : settings.Validate()) {
        if (problem.kind != engine::ProblemKind::kEmpty) {
            return false;
        }
    }
    std::vector<engine::PreviewRow> rows;
    if (!engine::ReadPreviewRows(msdb::FileSystem::Default(), settings, kPreviewRecords, &rows)
             .ok() ||
        rows.empty()) {
        return false;
    }
    return std::all_of(rows.begin(), rows.end(),
                       [](const engine::PreviewRow& row) { return row.problems.empty(); });
}

void TakeLayout(const engine::DetectedLayout& layout, FormValues* form) {
    using engine::PriceField;
    form->delimiter = layout.delimiter == '\t'  ? 1
                      : layout.delimiter == ' ' ? 2
                      : layout.delimiter == ';' ? 3
                                                : 0;
    form->decimalComma = layout.decimalComma;
    form->skipOn = layout.skipRows > 0;
    form->skipRows = layout.skipRows;
    form->dateFormat = std::string(msdb::DateFormatName(layout.dateFormat));
    for (PriceField field : {PriceField::kOpen, PriceField::kHigh, PriceField::kLow,
                             PriceField::kVolume, PriceField::kOpenInterest}) {
        const engine::FieldSetting& detected = layout.fields[field];
        form->fields[field] = {detected.on, detected.on ? detected.column : 1};
    }
    form->fields[PriceField::kDate].column = layout.fields[PriceField::kDate].column;
    form->fields[PriceField::kClose].column = layout.fields[PriceField::kClose].column;
    // Symbol, name, period, time and series, when detection found them.
    form->columns = layout.columns;
    form->series = engine::SeriesListText(layout.series);
}

FormValues FormForFile(SettingsStore& store, const std::string& inputPath,
                       const FormValues* confirmed) {
    FormValues form;
    if (confirmed != nullptr) {
        form = *confirmed;
    } else {
        form = LoadForm(store);
        form.symbol = SymbolOfFile(inputPath, form.codePage);
        form.name.clear();
    }
    form.master = MasterChoiceFor(form.directory);
    return form;
}

bool RanBefore(SettingsStore& store) {
    return !store.ReadString(std::string(kSettingSection), "DateFormat", "").empty();
}

}  // namespace ui
