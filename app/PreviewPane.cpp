#include "app/PreviewPane.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <optional>
#include <vector>

#include "engine/InputParser.h"
#include "engine/InputScan.h"
#include "msdb/Reader.h"

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// Counts the bytes read through it, for the progress of the whole-file summary.
class CountingFile final : public msdb::ReadableFile {
public:
    explicit CountingFile(std::unique_ptr<msdb::ReadableFile> file) : m_file(std::move(file)) {}
    msdb::Status Read(std::size_t n, char* buffer, std::size_t* got) override {
        msdb::Status s = m_file->Read(n, buffer, got);
        m_read += *got;
        return s;
    }
    std::uint64_t BytesRead() const { return m_read; }

private:
    std::unique_ptr<msdb::ReadableFile> m_file;
    std::uint64_t m_read = 0;
};

QString ProblemText(const engine::InputProblem& problem) {
    QString text = QStringLiteral("line %1, %2").arg(problem.line).arg(FromLocal(problem.field));
    if (!problem.text.empty()) {
        text += QStringLiteral(" \"%1\"").arg(FromLocal(problem.text));
    }
    return text + QStringLiteral(": ") + FromLocal(problem.what);
}

QString StoredDate(const msdb::MbfBytes& stored) {
    const std::optional<msdb::CalendarDay> day = msdb::StoredDateToDay(stored);
    return day ? QString::fromStdString(msdb::IsoDateText(*day)) : QStringLiteral("(no date)");
}

// The column headings of the preview, as the fields are named in the dialog.
constexpr msdb::PerField<const char*> kFieldHeadings = {
    {"Date", "Open", "High", "Low", "Close", "Volume", "Open Int"}};

// Asks for no more height than its least: the dialog gives the table whatever room the screen
// leaves it, and a small screen scrolls the dialog no more than it must.
class PreviewTable final : public QTableWidget {
public:
    QSize sizeHint() const override { return {QTableWidget::sizeHint().width(), minimumHeight()}; }
};

}  // namespace

CPreviewPane::CPreviewPane(QWidget* parent) : QWidget(parent) {
    m_table = new PreviewTable;
    m_table->setObjectName(QStringLiteral("previewTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    // The arrow keys walk the cells; Tab and Shift+Tab go on to the dialog's other controls.
    m_table->setTabKeyNavigation(false);
    m_table->setMinimumSize(360, 120);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setWhatsThis(QStringLiteral(
        "The first records of the file as the settings read them: the dates as they will be "
        "stored (year-month-day) and the numbers as they will be stored. A marked cell cannot be "
        "read as the settings say; its tooltip, and the line under the table while it is the "
        "current cell, tell why."));
    // What is wrong with the current cell, for the keyboard as the tooltip tells the mouse.
    m_cellProblem = new QLabel;
    m_cellProblem->setObjectName(QStringLiteral("cellProblemLabel"));
    m_cellProblem->setWordWrap(true);
    m_cellProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cellProblem->setStyleSheet(QStringLiteral("color: #b00000;"));
    connect(m_table, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
        const QTableWidgetItem* item = m_table->item(row, column);
        m_cellProblem->setText(item != nullptr ? item->toolTip() : QString());
    });
    m_summary = new QLabel;
    m_summary->setObjectName(QStringLiteral("summaryLabel"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_progress = new QProgressBar;
    m_progress->setObjectName(QStringLiteral("summaryProgress"));
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_progress->setVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_cellProblem);
    layout->addWidget(m_summary);
    layout->addWidget(m_progress);
    setFocusProxy(m_table);
}

CPreviewPane::~CPreviewPane() {
    StopSummary();
}

void CPreviewPane::Clear() {
    StopSummary();
    ++m_nGeneration;  // what the stopped reading sent on its way is dropped
    m_table->clear();
    m_table->setRowCount(0);
    m_table->setColumnCount(0);
    m_cellProblem->clear();
    m_progress->setVisible(false);
}

void CPreviewPane::ShowMessage(const QString& text, bool bad) {
    Clear();
    ShowSummary(m_nGeneration, text, bad);
}

void CPreviewPane::Show(const engine::ConversionSettings& settings) {
    using engine::PriceField;
    Clear();
    std::vector<PriceField> shown;
    for (PriceField field : msdb::kPriceFields) {
        if (settings.fields[field].on) {
            shown.push_back(field);
        }
    }
    std::vector<engine::PreviewRow> rows;
    if (msdb::Status s =
            engine::ReadPreviewRows(msdb::FileSystem::Default(), settings, kRecords, &rows);
        !s.ok()) {
        ShowMessage(QStringLiteral("The file cannot be read.\n") + FromLocal(s.message()), true);
        return;
    }
    m_table->setColumnCount(static_cast<int>(shown.size()));
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (int c = 0; c < static_cast<int>(shown.size()); ++c) {
        const PriceField field = shown[static_cast<std::size_t>(c)];
        auto* heading = new QTableWidgetItem(QLatin1String(kFieldHeadings[field]));
        heading->setToolTip(
            QStringLiteral("Column %1 of the file").arg(settings.fields[field].column));
        m_table->setHorizontalHeaderItem(c, heading);
    }
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const engine::PreviewRow& row = rows[static_cast<std::size_t>(r)];
        m_table->setVerticalHeaderItem(
            r, new QTableWidgetItem(QStringLiteral("line %1").arg(row.line)));
        for (int c = 0; c < static_cast<int>(shown.size()); ++c) {
            const PriceField field = shown[static_cast<std::size_t>(c)];
            const msdb::MbfBytes& value = row.record.values[field];
            auto* item = new QTableWidgetItem(
                field == PriceField::kDate
                    ? StoredDate(value)
                    : QString::fromStdString(msdb::FullNumber(msdb::FromMbf(value))));
            item->setTextAlignment(field == PriceField::kDate ? Qt::AlignLeft | Qt::AlignVCenter
                                                              : Qt::AlignRight | Qt::AlignVCenter);
            QStringList problems;
            for (const engine::InputProblem& problem : row.problems) {
                if (problem.field == engine::FieldName(field)) {
                    problems.append(ProblemText(problem));
                }
            }
            if (!problems.isEmpty()) {
                item->setBackground(QColor(255, 200, 200));
                item->setForeground(QColor(140, 0, 0));
                item->setText(QStringLiteral("\u26a0 ") + item->text());
                item->setToolTip(problems.join(QLatin1Char('\n')));
                item->setData(Qt::UserRole, true);
            }
            m_table->setItem(r, c, item);
        }
    }
    StartSummary(settings);
}

void CPreviewPane::StopSummary() {
    if (m_stopSummary) {
        m_stopSummary->store(true);
    }
    if (m_summaryThread.joinable()) {
        m_summaryThread.join();
    }
    m_stopSummary.reset();
}

void CPreviewPane::StartSummary(const engine::ConversionSettings& settings) {
    StopSummary();
    const int generation = ++m_nGeneration;
    ShowSummary(generation, QStringLiteral("Reading the whole file..."), false);
    std::uint64_t size = 0;
    if (msdb::FileInfo info; msdb::FileSystem::Default().GetInfo(settings.inputPath, &info).ok()) {
        size = info.size;
    }
    // A file that reads in a blink shows no progress bar.
    constexpr std::uint64_t kProgressFrom = 4 << 20;
    m_progress->setValue(0);
    m_progress->setVisible(size >= kProgressFrom);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stopSummary = stop;
    m_summaryThread = std::thread([this, settings, stop, generation, size] {
        std::unique_ptr<msdb::ReadableFile> opened;
        msdb::Status s = msdb::FileSystem::Default().OpenForRead(settings.inputPath, &opened);
        if (!s.ok()) {
            const QString text =
                QStringLiteral("The file cannot be read.\n") + FromLocal(s.message());
            QMetaObject::invokeMethod(
                this, [this, generation, text] { ShowSummary(generation, text, true); },
                Qt::QueuedConnection);
            return;
        }
        auto counting = std::make_unique<CountingFile>(std::move(opened));
        const CountingFile* counter = counting.get();
        engine::InputParser parser(settings, std::move(counting));
        int lastPermille = 0;
        const engine::ScanResult scan = engine::ScanInput(parser, [&](const engine::PriceRecord&,
                                                                      const engine::InputParser&) {
            if (stop->load(std::memory_order_relaxed)) {
                return false;
            }
            if (size >= kProgressFrom) {
                const int permille = static_cast<int>(counter->BytesRead() * 1000 / size);
                if (permille >= lastPermille + 10) {
                    lastPermille = permille;
                    QMetaObject::invokeMethod(
                        this, [this, generation, permille] { ShowProgress(generation, permille); },
                        Qt::QueuedConnection);
                }
            }
            return true;
        });
        if (scan.stopped) {
            return;
        }
        QString text;
        bool bad = true;
        if (!scan.status.ok()) {
            text = QStringLiteral("The file could not be read to its end.\n") +
                   FromLocal(scan.status.message());
        } else if (!parser.NotText().empty()) {
            text = QStringLiteral("This is not a plain text file: ") + FromLocal(parser.NotText()) +
                   QLatin1Char('.');
        } else if (scan.recordCount == 0) {
            text = settings.from || settings.to
                       ? QStringLiteral("The file holds no price records in the dates chosen.")
                       : QStringLiteral("The file holds no price records with these settings.");
        } else {
            text = QStringLiteral("%1: %2 %3, %4 to %5.")
                       .arg(settings.from || settings.to ? QStringLiteral("The dates chosen")
                                                         : QStringLiteral("The whole file"))
                       .arg(scan.recordCount)
                       .arg(scan.recordCount == 1 ? QStringLiteral("record")
                                                  : QStringLiteral("records"))
                       .arg(StoredDate(scan.firstDate), StoredDate(scan.lastDate));
            if (scan.reversed) {
                text += QStringLiteral(
                    " The file lists the newest day first; the records will be stored oldest "
                    "first.");
            }
            const engine::InputProblems& problems = parser.problems();
            if (problems.empty()) {
                text += QStringLiteral(" No problems.");
                bad = false;
            } else {
                text += QStringLiteral(" %1 %2; the first: %3")
                            .arg(problems.count())
                            .arg(problems.count() == 1 ? QStringLiteral("problem")
                                                       : QStringLiteral("problems"))
                            .arg(ProblemText(problems.first().front()));
            }
        }
        QMetaObject::invokeMethod(
            this, [this, generation, text, bad] { ShowSummary(generation, text, bad); },
            Qt::QueuedConnection);
    });
}

void CPreviewPane::ShowProgress(int generation, int permille) {
    if (generation == m_nGeneration) {
        m_progress->setValue(permille);
    }
}

void CPreviewPane::ShowSummary(int generation, const QString& text, bool bad) {
    if (generation != m_nGeneration) {
        return;  // the settings changed while that reading ran
    }
    m_progress->setVisible(false);
    m_summary->setText(text);
    m_summary->setProperty("bad", bad);
    m_summary->setStyleSheet(bad ? QStringLiteral("color: #b00000;") : QString());
}
