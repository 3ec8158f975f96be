#include "app/PreviewPane.h"

#include <QColor>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTableView>
#include <QThreadPool>
#include <QVBoxLayout>

#include "msdb/FileSystem.h"
#include "ui/FileStart.h"

namespace {

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// Asks for no more height than its least: the dialog gives the table whatever room the screen
// leaves it, and a small screen scrolls the dialog no more than it must.
class PreviewTable final : public QTableView {
public:
    QSize sizeHint() const override { return {QTableView::sizeHint().width(), minimumHeight()}; }
};

}  // namespace

msdb::Status PreviewTableModel::load(const engine::ConversionSettings& settings) {
    beginResetModel();
    msdb::Status s = preview_.Load(settings, ui::kPreviewRecords);
    endResetModel();
    return s;
}

void PreviewTableModel::clear() {
    beginResetModel();
    preview_.Clear();
    endResetModel();
}

int PreviewTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : preview_.RowCount();
}

int PreviewTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : preview_.ColumnCount();
}

QVariant PreviewTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const ui::PreviewCell& cell = preview_.Cell(index.row(), index.column());
    const bool bad = !cell.problems.empty();
    switch (role) {
        case Qt::DisplayRole:
            return (bad ? QStringLiteral("\u26a0 ") : QString()) + fromLocal(cell.text);
        case Qt::ToolTipRole:
            return bad ? QVariant(fromLocal(preview_.CellProblems(index.row(), index.column())))
                       : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant::fromValue((cell.number ? Qt::AlignRight : Qt::AlignLeft) |
                                       Qt::AlignVCenter);
        case Qt::BackgroundRole:
            return bad ? QVariant(QColor(255, 200, 200)) : QVariant();
        case Qt::ForegroundRole:
            return bad ? QVariant(QColor(140, 0, 0)) : QVariant();
        case Qt::UserRole:
            return bad;
        default:
            return {};
    }
}

QVariant PreviewTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole) {
        return fromLocal(orientation == Qt::Horizontal ? preview_.ColumnHeading(section)
                                                       : preview_.RowHeading(section));
    }
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal) {
        return fromLocal(preview_.ColumnTip(section));
    }
    return {};
}

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    model_ = new PreviewTableModel(this);
    table_ = new PreviewTable;
    table_->setObjectName(QStringLiteral("previewTable"));
    table_->setModel(model_);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    // The arrow keys walk the cells; Tab and Shift+Tab go on to the dialog's other controls.
    table_->setTabKeyNavigation(false);
    table_->setMinimumSize(360, 120);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->setWhatsThis(QStringLiteral(
        "The first records of the file as the settings read them, in the order they will be "
        "stored: the dates as they will be stored (year-month-day) and the numbers as they will "
        "be stored. A marked cell cannot be read as the settings say; its tooltip, and the line "
        "under the table while it is the current cell, tell why."));
    connect(table_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { showCellProblems(current); });
    connect(model_, &QAbstractItemModel::modelReset, this,
            [this] { showCellProblems(table_->currentIndex()); });
    // What is wrong with the current cell, for the keyboard as the tooltip tells the mouse.
    cellProblems_ = new QLabel;
    cellProblems_->setObjectName(QStringLiteral("cellProblemLabel"));
    cellProblems_->setWordWrap(true);
    cellProblems_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cellProblems_->setStyleSheet(QStringLiteral("color: #b00000;"));
    orderNote_ = new QLabel;
    orderNote_->setObjectName(QStringLiteral("orderNoteLabel"));
    orderNote_->setWordWrap(true);
    orderNote_->setVisible(false);
    summary_ = new QLabel;
    summary_->setObjectName(QStringLiteral("summaryLabel"));
    summary_->setWordWrap(true);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar;
    progress_->setObjectName(QStringLiteral("summaryProgress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(orderNote_);
    layout->addWidget(table_, 1);
    layout->addWidget(cellProblems_);
    layout->addWidget(summary_);
    layout->addWidget(progress_);
    setFocusProxy(table_);
}

PreviewPane::~PreviewPane() {
    stopSummary();
}

void PreviewPane::showCellProblems(const QModelIndex& current) {
    cellProblems_->setText(current.isValid() ? model_->data(current, Qt::ToolTipRole).toString()
                                             : QString());
}

void PreviewPane::clear() {
    stopSummary();
    ++generation_;  // what the stopped reading sent on its way is dropped
    model_->clear();
    orderNote_->setVisible(false);
    progress_->setVisible(false);
}

void PreviewPane::showMessage(const QString& text, bool bad) {
    clear();
    showSummary(generation_, text, bad);
}

void PreviewPane::showFile(const engine::ConversionSettings& settings) {
    clear();
    if (msdb::Status s = model_->load(settings); !s.ok()) {
        showMessage(QStringLiteral("The file cannot be read.\n") + fromLocal(s.message()), true);
        return;
    }
    orderNote_->setText(fromLocal(model_->preview().OrderNote()));
    orderNote_->setVisible(model_->preview().Reversed());
    startSummary(settings);
}

void PreviewPane::stopSummary() {
    if (stopSummary_) {
        stopSummary_->store(true);  // the reading stops at its next record; its results are dropped
    }
    stopSummary_.reset();
}

void PreviewPane::startSummary(const engine::ConversionSettings& settings) {
    stopSummary();
    const int generation = ++generation_;
    showSummary(generation, QStringLiteral("Reading the whole file..."), false);
    progress_->setValue(0);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    stopSummary_ = stop;
    QPointer<PreviewPane> pane(this);
    QThreadPool::globalInstance()->start([pane, settings, stop, generation] {
        const ui::FileSummary summary =
            ui::SummarizeFile(settings, *stop, [pane, generation](int permille) {
                QMetaObject::invokeMethod(qApp, [pane, generation, permille] {
                    if (pane) {
                        pane->showProgress(generation, permille);
                    }
                });
            });
        if (summary.cancelled) {
            return;
        }
        QMetaObject::invokeMethod(qApp, [pane, generation, summary] {
            if (pane) {
                pane->showSummary(generation, fromLocal(summary.text), summary.bad);
            }
        });
    });
}

void PreviewPane::showProgress(int generation, int permille) {
    if (generation == generation_) {
        progress_->setVisible(true);
        progress_->setValue(permille);
    }
}

void PreviewPane::showSummary(int generation, const QString& text, bool bad) {
    if (generation != generation_) {
        return;  // the settings changed while that reading ran
    }
    progress_->setVisible(false);
    summary_->setText(text);
    summary_->setProperty("bad", bad);
    summary_->setStyleSheet(bad ? QStringLiteral("color: #b00000;") : QString());
}
