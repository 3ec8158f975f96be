#include "app/SessionView.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QScreen>
#include <QScrollBar>
#include <fstream>

#include "app/Prompter.h"
#include "app/RemoveSecurityDialog.h"
#include "app/SettingsDialog.h"
#include "app/TaskRunner.h"
#include "engine/ConversionJob.h"
#include "engine/RemoveSecurity.h"
#include "msdb/CodePage.h"
#include "ui/DirectoryStatus.h"
#include "ui/FileStart.h"
#include "ui/SettingsStore.h"

namespace {

constexpr int kPreviewLines = 10;
constexpr std::size_t kMaxPiece = 299;

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

}  // namespace

SessionView::SessionView(ui::SettingsStore* store, QWidget* parent)
    : QPlainTextEdit(parent), m_pStore(store) {
    setObjectName(QStringLiteral("korvexView"));
    setReadOnly(true);
    // The file's columns line up in a fixed-width font; long lines scroll rather than wrap.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabStopDistance(4 * fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 2);
    setWhatsThis(QStringLiteral(
        "The pane shows the first lines of the opened price file and one line of outcome for "
        "each conversion."));
}

void SessionView::AppendText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(plain);
    setTextCursor(cursor);
    ensureCursorVisible();
}

std::vector<std::string> SessionView::FirstLines(const std::string& path, int count) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string piece;
    char c;
    while (static_cast<int>(lines.size()) < count && in.get(c)) {
        if (c == '\r' && in.peek() == '\n') {
            continue;  // text mode: CR LF reads as one line feed
        }
        if (c == '\n') {
            lines.push_back(piece);
            piece.clear();
            continue;
        }
        piece += c;
        if (piece.size() == kMaxPiece) {
            lines.push_back(piece);
            piece.clear();
            if (in.peek() == '\n') {
                in.get(c);  // the line feed ends this piece; an empty piece would follow
                lines.emplace_back();
            }
        }
    }
    if (static_cast<int>(lines.size()) < count && !piece.empty()) {
        lines.push_back(piece);
    }
    lines.resize(std::min(lines.size(), static_cast<std::size_t>(count)));
    return lines;
}

void SessionView::OnPreviewFile() {
    m_form.reset();  // a file's settings start from the file, never from another file's
    m_log.Opened(Local(m_strInputPath), FirstLines(Local(m_strInputPath), kPreviewLines));
    ShowLastEntry();
    emit InputPathChanged(!m_strInputPath.isEmpty());
    RunConversion(true);
}

void SessionView::ShowLastEntry() {
    const QString text = document()->toPlainText();
    const QString separator = text.isEmpty()                     ? QString()
                              : text.endsWith(QLatin1Char('\n')) ? QStringLiteral("\n")
                                                                 : QStringLiteral("\n\n");
    AppendText(separator + QString::fromLocal8Bit(m_log.Last().c_str()));
}

int SessionView::LinesHeight() const {
    const qreal lines = document()->size().height();  // the plain text layout counts lines
    return std::min(height(), static_cast<int>(lines * fontMetrics().lineSpacing()) +
                                  2 * frameWidth() +
                                  static_cast<int>(document()->documentMargin()));
}

QPoint SessionView::PlaceOffLines(const QRect& frame) const {
    const QScreen* shownOn = screen();
    if (!isVisible() || shownOn == nullptr) {
        return frame.topLeft();
    }
    const QRect available = shownOn->availableGeometry();
    const QRect mainFrame = window()->frameGeometry();
    const int linesBottom = mapToGlobal(QPoint(0, 0)).y() + LinesHeight();
    if (linesBottom + frame.height() <= available.bottom()) {
        return QPoint(std::clamp(mainFrame.left(), available.left(),
                                 std::max(available.left(), available.right() - frame.width())),
                      linesBottom);
    }
    if (mainFrame.right() + frame.width() <= available.right()) {
        return QPoint(mainFrame.right() + 1, std::max(available.top(), mainFrame.top()));
    }
    if (mainFrame.left() - frame.width() >= available.left()) {
        return QPoint(mainFrame.left() - frame.width(), std::max(available.top(), mainFrame.top()));
    }
    return QPoint(frame.left(), std::max(available.top(), available.bottom() - frame.height()));
}

void SessionView::OnFileSettings() {
    RunConversion(false);
}

void SessionView::RunConversion(bool fromOpenedFile) {
    SettingsDialog dialog(window());
    dialog.SetView(this);
    dialog.SetInputPath(m_strInputPath);
    ui::FormValues form;
    if (m_form) {
        form = *m_form;  // as the user left the dialog for this file
    } else {
        // The last run's reading settings and directory; the symbol from the file's name, no name.
        form = ui::LoadForm(*m_pStore);
        form.symbol = ui::SymbolOfFile(Local(m_strInputPath), form.codePage);
        form.name.clear();
    }
    form.master = ui::MasterChoiceFor(form.directory);
    dialog.setForm(form);
    if (fromOpenedFile) {
        // Without a run before, detection's proposal is the best start even when it has doubts.
        const bool ranBefore = !m_pStore->ReadString("Setting", "DateFormat", "").empty();
        dialog.DetectFromFile(ranBefore);
    }
    for (;;) {
        if (dialog.DoModal() != QDialog::Accepted) {
            return;
        }
        m_form = dialog.form();
        std::optional<engine::ConversionJob::Refusal> refused;
        QString message;
        if (Convert(dialog, &refused, &message) || !refused) {
            return;
        }
        // Back to the dialog, as the user left it, at the setting the run refused.
        dialog.ShowRefusal(message, refused->field, refused->priceField);
    }
}

bool SessionView::Convert(SettingsDialog& dialog,
                          std::optional<engine::ConversionJob::Refusal>* refused,
                          QString* message) {
    ui::SaveForm(*m_pStore, dialog.form());

    engine::ConversionSettings settings = dialog.Settings();
    settings.inputPath = Local(m_strInputPath);
    settings.dateFormat = static_cast<engine::DateFormat>(m_nDateFormat);
    PrompterQuestions questions(window());
    ui::ConversionTask task(std::move(settings), questions);
    const ui::TaskResult result = RunTask(
        window(), QStringLiteral("Converting %1...").arg(QFileInfo(m_strInputPath).fileName()),
        [&](const std::function<void(int)>& progress) { return task.Run(progress); },
        [&] { task.Cancel(); });
    *message = QString::fromLocal8Bit(result.message.c_str());
    *refused = result.refusal;
    m_log.Add(result.logEntry);
    ShowLastEntry();
    if (result.succeeded) {
        QApplication::beep();
    }
    return result.succeeded;
}

void SessionView::OnFileRemoveSecurity() {
    // The directory and the code page of the last run: that of the symbols the dialog lists and
    // the removal looks up.
    const ui::FormValues last = ui::LoadForm(*m_pStore);
    RemoveSecurityDialog dialog(QString::fromLocal8Bit(last.directory.c_str()), last.codePage,
                                window());
    if (Prompter::instance().Exec(dialog) != QDialog::Accepted || dialog.Symbol().isEmpty()) {
        return;
    }
    if (!Prompter::instance().Question(
            window(), QStringLiteral("Remove %1 from %2?\nIts price files are deleted.")
                          .arg(dialog.Symbol(), dialog.Directory()))) {
        return;
    }
    PrompterQuestions questions(window());
    ui::RemovalTask task(Local(dialog.Directory()), Local(dialog.Symbol()), last.codePage,
                         questions);
    const ui::TaskResult result = RunTask(
        window(), QStringLiteral("Removing %1...").arg(dialog.Symbol()),
        [&](const std::function<void(int)>&) { return task.Run(); }, nullptr);
    m_log.Add(result.logEntry);
    ShowLastEntry();
}

void SessionView::OnViewClearWindow() {
    m_log.Clear();
    setPlainText(QString());
}
