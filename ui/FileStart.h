// Where the settings of a file start: the symbol its name proposes, detection's proposal for the
// reading settings, whether to take it, and the line above the preview that says what happened.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/ConversionSettings.h"
#include "engine/Detect.h"

namespace ui {

// The records the preview shows, the most.
inline constexpr int kPreviewRecords = 20;

// The symbol a file's prices start with: its name without the last extension, in upper case, only
// the characters code page `codePage` holds, cut to the 16 that MASTER holds.
std::string SymbolOfFile(const std::string& path, int codePage);

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

// True when `settings` read the first records of their input file, as many as the preview shows,
// without a problem.
bool ReadsCleanly(const engine::ConversionSettings& settings);

}  // namespace ui
