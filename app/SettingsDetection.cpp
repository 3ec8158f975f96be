#include "app/SettingsDetection.h"

#include <QStringList>
#include <algorithm>
#include <vector>

#include "app/PreviewPane.h"
#include "engine/InputScan.h"
#include "msdb/FileSystem.h"

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

QStringList Texts(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list.append(FromLocal(text));
    }
    return list;
}

}  // namespace

DialogDetection DetectForDialog(const std::string& inputPath, bool onlyWhenConfident,
                                const std::function<bool()>& lastRunReads) {
    DialogDetection detection;
    std::vector<std::string> lines;
    std::string notText;
    const msdb::Status s =
        engine::ReadSampleLines(msdb::FileSystem::Default(), inputPath, &lines, &notText);
    if (!s.ok() || !notText.empty()) {
        detection.line = QStringLiteral("The file's layout could not be detected: ") +
                         FromLocal(s.ok() ? notText : s.message()) + QLatin1Char('.');
        return detection;
    }
    const engine::DetectionResult result = engine::DetectLayout(lines);
    if (!result.found) {
        detection.line = QStringLiteral("The file's layout could not be detected: ") +
                         FromLocal(result.failure) +
                         QStringLiteral(" The settings are those of the last run.");
        return detection;
    }
    detection.reasons = Texts(result.reasons).join(QLatin1Char('\n'));
    const QString undecided = Texts(result.undecided).join(QLatin1Char(' '));
    const bool confident = result.confidence == engine::Confidence::kHigh;
    if (!confident && onlyWhenConfident && lastRunReads()) {
        detection.line = QStringLiteral(
                             "The file's layout is not certain; the settings are those of the last "
                             "run. Press Detect to take the proposal. ") +
                         undecided;
        return detection;
    }
    detection.take = true;
    detection.layout = result.layout;
    detection.line =
        QStringLiteral("Settings detected from the file") +
        (confident ? QStringLiteral(". ")
         : onlyWhenConfident
             ? QStringLiteral(", with doubts: the last run's settings do not read this file. ")
             : QStringLiteral(", with doubts. ")) +
        QStringLiteral("Left to you: the directory, the master, the symbol and the name.");
    if (!undecided.isEmpty()) {
        detection.line += QLatin1Char(' ') + undecided;
    }
    return detection;
}

bool ReadsCleanly(const engine::ConversionSettings& settings) {
    std::vector<engine::PreviewRow> rows;
    if (!engine::ReadPreviewRows(msdb::FileSystem::Default(), settings, CPreviewPane::kRecords,
                                 &rows)
             .ok() ||
        rows.empty()) {
        return false;
    }
    return std::all_of(rows.begin(), rows.end(),
                       [](const engine::PreviewRow& row) { return row.problems.empty(); });
}
