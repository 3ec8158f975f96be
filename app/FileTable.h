// The files of a run of many as the settings dialog lists them: the core's file list as Qt's item
// views read and edit it (the symbol and the name in place), and the reading of each whole file
// on the thread pool, each row filled in as its file is read.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "engine/ConversionSettings.h"
#include "ui/FileList.h"

class FileTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    // Stops the reading under way.
    ~FileTableModel() override;

    // Lists `paths`, each with the symbol its name proposes.
    void setPaths(const QStringList& paths, int codePage);
    void setFiles(const ui::FileList& files);
    const ui::FileList& files() const { return files_; }
    void setSymbolColumn(bool on);
    // The code page a symbol or name typed into a cell is checked against.
    void setCodePage(int codePage) { codePage_ = codePage; }
    // Told why a symbol or name typed into a cell is refused.
    void setRefusal(std::function<void(const QString&)> refuse) { refuse_ = std::move(refuse); }

    // Reads every file with `reading` (its input path set to each in turn), one after the other;
    // a reading started before is stopped and what it found forgotten.
    void readAll(const engine::ConversionSettings& reading);
    // Stops the reading, and shows nothing read.
    void forget();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void stop();
    void take(int generation, int row, const ui::FileFacts& facts);

    ui::FileList files_;
    int codePage_ = 1252;
    std::function<void(const QString&)> refuse_;
    std::shared_ptr<std::atomic<bool>> stop_;
    int generation_ = 0;
};
