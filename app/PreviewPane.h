// CPreviewPane: an input file as a set of settings reads it. A table of the first records, each
// value as it will be stored and each value that cannot be read marked with the reason as its
// tooltip, which a line under the table repeats for the current cell; below that a summary of the
// whole file (records, first and last dates, order, problems), read on a thread of its own so
// that the dialog never waits, with a progress bar for large files.
#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>

#include "engine/ConversionSettings.h"

class QLabel;
class QProgressBar;
class QTableWidget;

class CPreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit CPreviewPane(QWidget* parent = nullptr);
    // Stops the reading of the whole file, if one is under way.
    ~CPreviewPane() override;

    // The records shown in the table, the most.
    static constexpr int kRecords = 20;

    // Reads the first records of `settings.inputPath` with `settings` into the table and starts
    // reading the whole file for the summary; a reading started before is stopped.
    void Show(const engine::ConversionSettings& settings);

    // Empties the table and shows `text` in place of the summary, in red when `bad`.
    void ShowMessage(const QString& text, bool bad);

private:
    void StartSummary(const engine::ConversionSettings& settings);
    void StopSummary();
    void ShowSummary(int generation, const QString& text, bool bad);
    void ShowProgress(int generation, int permille);
    void Clear();

    QTableWidget* m_table;
    QLabel* m_cellProblem;  // the problems of the current cell, as its tooltip gives them
    QLabel* m_summary;
    QProgressBar* m_progress;
    // The reading under way, the flag that stops it, and the number of the latest request: the
    // results of an older one are dropped.
    std::thread m_summaryThread;
    std::shared_ptr<std::atomic<bool>> m_stopSummary;
    int m_nGeneration = 0;
};
