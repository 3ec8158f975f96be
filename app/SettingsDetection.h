// Where the settings dialog starts when a file is opened: detection's proposal for the reading
// settings, whether to take it, and the line above the preview that says what happened.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "engine/ConversionSettings.h"
#include "engine/Detect.h"

struct DialogDetection {
    bool take = false;  // the proposal replaces the reading settings
    QString line;       // shown above the preview
    QString reasons;    // why each setting is what it is, a line each
    engine::DetectedLayout layout;
};

// Detects the layout of the file at `inputPath`. A proposal that detection is sure of is taken; one
// it has doubts about is taken unless `onlyWhenConfident` and `lastRunReads()` says that the
// settings the dialog holds read the file cleanly.
DialogDetection DetectForDialog(const std::string& inputPath, bool onlyWhenConfident,
                                const std::function<bool()>& lastRunReads);

// True when `settings` read the first records of their input file, as many as the preview shows,
// without a problem.
bool ReadsCleanly(const engine::ConversionSettings& settings);
