// Where the settings of a file start: the symbol its name proposes, detection's proposal for the
// reading settings, whether to take it, and the line above the preview that says what happened.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/Detect.h"
#include "engine/FileSymbol.h"
#include "ui/SettingsStore.h"
#include "ui/StoredSettings.h"

namespace ui {

// The records the preview shows, the most.
inline constexpr int kPreviewRecords = 20;

using engine::SymbolOfFile;

struct Detection {
    bool take = false;    // the proposal replaces the reading settings
    std::string line;     // shown above the preview
    std::string reasons;  // why each setting is what it is, a line each
    engine::DetectedLayout layout;
};

// Detects the layout of the file at `inputPath`. A proposal that detection is sure of is taken; one
// it has doubts about is taken unless `lastRun` (the reading settings the dialog holds, when a run
// came before) reads the file cleanly. When the last run's settings are kept, the line names each
// setting in which they differ from the proposal.
Detection DetectForForm(const std::string& inputPath, const engine::ConversionSettings* lastRun);

// Each reading setting in which `settings` differ from `layout`, as a line: "Skip 2 heading lines
// (detected: 1)".
std::vector<std::string> DescribeDifferences(const engine::ConversionSettings& settings,
                                             const engine::DetectedLayout& layout);

// Puts detection's proposal into the form's reading settings; a field it finds no column for is
// switched off at column 1; a symbol, name or period column that a price takes, off. The
// directory, symbol, name and master choice stay as they are.
void TakeLayout(const engine::DetectedLayout& layout, FormValues* form);

// The values the dialog starts from for the file at `inputPath`: `confirmed`, the values the user
// left the dialog with for this file, when there are any; else the last run's settings with the
// symbol from the file's name and no name. The master choice fits the directory either way.
FormValues FormForFile(SettingsStore& store, const std::string& inputPath,
                       const FormValues* confirmed);

// True when a conversion was confirmed before on this machine: detection's doubts then weigh
// against the last run's settings, which are kept when they read the file.
bool RanBefore(SettingsStore& store);

// True when `settings` read the first records of their input file, as many as the preview shows,
// without a problem.
bool ReadsCleanly(const engine::ConversionSettings& settings);

}  // namespace ui
