// The input file as a set of settings reads it: a table of the first records (the core's preview
// model), each value that cannot be read marked, with a line under the table that spells out the
// current cell's problems; below it the whole file's summary, read on the thread pool so that the
// dialog never waits, with a progress bar for large files.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QWidget>
#include <atomic>
#include <memory>

#include "engine/ConversionSettings.h"
#include "ui/Preview.h"

class QLabel;
class QProgressBar;
class QTableView;

// The core's preview model as Qt's item views read it. A cell that cannot be read shows a mark,
// its problems as its tooltip and true under Qt::UserRole.
class PreviewTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    // Reads the first records of `settings.inputPath`; the rows and columns are those of the
    // file's records, or none when it cannot be read.
    msdb::Status load(const engine::ConversionSettings& settings);
    void clear();
    const ui::PreviewModel& preview() const { return preview_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    ui::PreviewModel preview_;
};

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(QWidget* parent = nullptr);
    // Stops the reading of the whole file, if one is under way.
    ~PreviewPane() override;

    // Reads the first records of `settings.inputPath` with `settings` into the table and starts
    // reading the whole file for the summary; a reading started before is stopped.
    void showFile(const engine::ConversionSettings& settings);

    // Empties the table and shows `text` in place of the summary, in red when `bad`.
    void showMessage(const QString& text, bool bad);

private:
    void startSummary(const engine::ConversionSettings& settings);
    void stopSummary();
    void showSummary(int generation, const QString& text, bool bad);
    void showProgress(int generation, int permille);
    void showCellProblems(const QModelIndex& current);
    void clear();

    PreviewTableModel* model_;
    QTableView* table_;
    QLabel* cellProblems_;  // the problems of the current cell, as its tooltip gives them
    QLabel* orderNote_;     // says when the rows are shown in the reverse of the file's order
    QLabel* summary_;
    QProgressBar* progress_;
    // The flag that stops the reading under way, and the number of the latest request: the
    // results of an older one are dropped.
    std::shared_ptr<std::atomic<bool>> stopSummary_;
    int generation_ = 0;
};
