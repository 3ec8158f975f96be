#include "app/FileTable.h"

#include <QColor>
#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

namespace {

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

}  // namespace

FileTableModel::~FileTableModel() {
    stop();
}

void FileTableModel::setPaths(const QStringList& paths, int codePage) {
    std::vector<std::string> files;
    for (const QString& path : paths) {
        files.push_back(path.toLocal8Bit().toStdString());
    }
    beginResetModel();
    stop();
    files_.SetFiles(files, codePage);
    codePage_ = codePage;
    endResetModel();
}

void FileTableModel::setFiles(const ui::FileList& files) {
    beginResetModel();
    stop();
    files_ = files;
    files_.ForgetFacts();
    endResetModel();
}

void FileTableModel::setSymbolColumn(bool on) {
    if (on == files_.SymbolColumn()) {
        return;
    }
    beginResetModel();
    files_.SetSymbolColumn(on);
    endResetModel();
}

void FileTableModel::stop() {
    if (stop_) {
        stop_->store(true);
    }
    stop_.reset();
    ++generation_;  // what the stopped reading sent on its way is dropped
}

void FileTableModel::forget() {
    stop();
    files_.ForgetFacts();
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, ui::FileList::kColumns - 1));
    }
}

void FileTableModel::readAll(const engine::ConversionSettings& reading) {
    forget();
    const int generation = generation_;
    auto stopFlag = std::make_shared<std::atomic<bool>>(false);
    stop_ = stopFlag;
    std::vector<std::string> paths;
    for (std::size_t row = 0; row < files_.Count(); ++row) {
        paths.push_back(files_.Path(row));
    }
    QPointer<FileTableModel> model(this);
    QThreadPool::globalInstance()->start([model, reading, paths, stopFlag, generation] {
        engine::ConversionSettings settings = reading;
        for (std::size_t row = 0; row < paths.size() && !stopFlag->load(); ++row) {
            settings.inputPath = paths[row];
            const ui::FileFacts facts = ui::ReadFileFacts(settings, *stopFlag);
            if (facts.cancelled) {
                return;
            }
            QMetaObject::invokeMethod(qApp, [model, generation, row, facts] {
                if (model) {
                    model->take(generation, static_cast<int>(row), facts);
                }
            });
        }
    });
}

void FileTableModel::take(int generation, int row, const ui::FileFacts& facts) {
    if (generation != generation_ || row >= rowCount()) {
        return;
    }
    files_.SetFacts(static_cast<std::size_t>(row), facts);
    emit dataChanged(index(row, 0), index(row, ui::FileList::kColumns - 1));
}

int FileTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(files_.Count());
}

int FileTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ui::FileList::kColumns;
}

QVariant FileTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return fromLocal(files_.Text(row, column));
        case Qt::ToolTipRole:
            if (column == ui::FileList::kFile) {
                return fromLocal(files_.Path(row));
            }
            if (files_.Facts(row).state == ui::FileFacts::State::kFailed) {
                return fromLocal(files_.Facts(row).failure);
            }
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue((column >= ui::FileList::kRecords &&
                                                column != ui::FileList::kFirstDate &&
                                                column != ui::FileList::kLastDate
                                            ? Qt::AlignRight
                                            : Qt::AlignLeft) |
                                       Qt::AlignVCenter);
        case Qt::ForegroundRole:
            return files_.Bad(row) && column >= ui::FileList::kRecords ? QVariant(QColor(140, 0, 0))
                                                                       : QVariant();
        default:
            return {};
    }
}

bool FileTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) {
        return false;
    }
    const std::string refusal =
        files_.SetText(static_cast<std::size_t>(index.row()), index.column(),
                       value.toString().toLocal8Bit().toStdString(), codePage_);
    if (!refusal.empty()) {
        if (refuse_) {
            refuse_(fromLocal(refusal));
        }
        return false;
    }
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags FileTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && files_.Editable(index.column())) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QVariant FileTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal) {
        return fromLocal(ui::FileList::Heading(section));
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
