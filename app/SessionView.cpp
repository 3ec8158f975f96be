#include "app/SessionView.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QScreen>
#include <QScrollBar>

#include "app/Prompter.h"
#include "app/RemoveSecurityDialog.h"
#include "app/SettingsDialog.h"
#include "app/TaskRunner.h"
#include "engine/ConversionJob.h"
#include "engine/RemoveSecurity.h"
#include "msdb/CodePage.h"
#include "ui/FileStart.h"
#include "ui/SettingsStore.h"

namespace {

std::string local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

}  // namespace

SessionView::SessionView(ui::SettingsStore* store, QWidget* parent)
    : QPlainTextEdit(parent), store_(store) {
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

void SessionView::appendText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(plain);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void SessionView::openFile(const QString& path) {
    inputPath_ = path;
    inputPaths_.clear();
    confirmedForm_.reset();  // a file's settings start from the file, never from another file's
    confirmedFiles_.reset();
    log_.Opened(local(inputPath_), ui::FirstLines(local(inputPath_), ui::kOpenedLines));
    showLastEntry();
    emit inputPathChanged(!inputPath_.isEmpty());
    runConversion(true);
}

void SessionView::openFiles(const QStringList& paths) {
    if (paths.size() == 1) {
        openFile(paths.first());
        return;
    }
    inputPaths_ = paths;
    inputPath_ = paths.value(0);
    confirmedForm_.reset();
    confirmedFiles_.reset();
    std::vector<std::string> files;
    for (const QString& path : paths) {
        files.push_back(local(path));
    }
    log_.OpenedFiles(files, ui::FirstLines(local(inputPath_), ui::kOpenedLines));
    showLastEntry();
    emit inputPathChanged(!inputPath_.isEmpty());
    runConversion(true);
}

void SessionView::showLastEntry() {
    const QString text = document()->toPlainText();
    const QString separator = text.isEmpty()                     ? QString()
                              : text.endsWith(QLatin1Char('\n')) ? QStringLiteral("\n")
                                                                 : QStringLiteral("\n\n");
    appendText(separator + QString::fromLocal8Bit(log_.Last().c_str()));
}

int SessionView::linesHeight() const {
    const qreal lines = document()->size().height();  // the plain text layout counts lines
    return std::min(height(), static_cast<int>(lines * fontMetrics().lineSpacing()) +
                                  2 * frameWidth() +
                                  static_cast<int>(document()->documentMargin()));
}

QPoint SessionView::placeOffLines(const QRect& frame) const {
    const QScreen* shownOn = screen();
    if (!isVisible() || shownOn == nullptr) {
        return frame.topLeft();
    }
    const QRect available = shownOn->availableGeometry();
    const QRect windowFrame = window()->frameGeometry();
    const int linesBottom = mapToGlobal(QPoint(0, 0)).y() + linesHeight();
    if (linesBottom + frame.height() <= available.bottom()) {
        return QPoint(std::clamp(windowFrame.left(), available.left(),
                                 std::max(available.left(), available.right() - frame.width())),
                      linesBottom);
    }
    if (windowFrame.right() + frame.width() <= available.right()) {
        return QPoint(windowFrame.right() + 1, std::max(available.top(), windowFrame.top()));
    }
    if (windowFrame.left() - frame.width() >= available.left()) {
        return QPoint(windowFrame.left() - frame.width(),
                      std::max(available.top(), windowFrame.top()));
    }
    return QPoint(frame.left(), std::max(available.top(), available.bottom() - frame.height()));
}

void SessionView::onSettings() {
    runConversion(false);
}

void SessionView::runConversion(bool fromOpenedFile) {
    SettingsDialog dialog(window());
    dialog.setSessionView(this);
    dialog.setInputPath(inputPath_);
    if (confirmedFiles_) {
        dialog.setFiles(*confirmedFiles_);
    } else {
        dialog.setInputPaths(inputPaths_.isEmpty() ? QStringList{inputPath_} : inputPaths_);
    }
    ui::FormValues form =
        ui::FormForFile(*store_, local(inputPath_), confirmedForm_ ? &*confirmedForm_ : nullptr);
    dialog.setForm(form);
    if (fromOpenedFile) {
        // Without a run before, detection's proposal is the best start even when it has doubts.
        dialog.detectFromFile(ui::RanBefore(*store_));
    }
    for (;;) {
        if (dialog.run() != QDialog::Accepted) {
            return;
        }
        confirmedForm_ = dialog.form();
        confirmedFiles_ = dialog.files();
        std::optional<engine::ConversionJob::Refusal> refused;
        QString message;
        if (convert(dialog, &refused, &message) || !refused) {
            return;
        }
        // Back to the dialog, as the user left it, at the setting the run refused.
        dialog.showRefusal(message, refused->field, refused->priceField);
    }
}

bool SessionView::convert(const SettingsDialog& dialog,
                          std::optional<engine::ConversionJob::Refusal>* refused,
                          QString* message) {
    ui::SaveForm(*store_, dialog.form());

    engine::ConversionSettings settings = dialog.settings();
    settings.inputPath = local(inputPath_);
    dateFormat_ = static_cast<int>(settings.dateFormat);
    PrompterQuestions questions(window());
    ui::TaskResult result;
    const ui::FileList& files = dialog.files();
    if (ui::NeedsDatabaseRun(settings, files.Count())) {
        std::vector<engine::InputFile> inputs = files.Inputs();
        if (files.Count() == 1 && settings.columns.symbol == 0) {
            inputs.front().symbol = settings.symbol;  // one file: the dialog's own fields
            inputs.front().name = settings.name;
        } else {
            settings.symbol.clear();  // each file's, or each line's
            settings.name.clear();
        }
        ui::DatabaseTask task(std::move(settings), std::move(inputs), questions);
        result = runTask(
            window(),
            files.Count() == 1
                ? QStringLiteral("Converting %1...").arg(QFileInfo(inputPath_).fileName())
                : QStringLiteral("Converting %1 files...").arg(files.Count()),
            [&](const std::function<void(int)>& progress, const std::function<void()>& committing) {
                return task.Run(progress, committing);
            },
            [&] { task.Cancel(); });
    } else {
        ui::ConversionTask task(std::move(settings), questions);
        result = runTask(
            window(), QStringLiteral("Converting %1...").arg(QFileInfo(inputPath_).fileName()),
            [&](const std::function<void(int)>& progress, const std::function<void()>& committing) {
                return task.Run(progress, committing);
            },
            [&] { task.Cancel(); });
    }
    *message = QString::fromLocal8Bit(result.message.c_str());
    *refused = result.refusal;
    log_.Add(result.logEntry);
    showLastEntry();
    if (result.succeeded) {
        QApplication::beep();
    }
    return result.succeeded;
}

void SessionView::onRemoveSecurity() {
    // The directory and the code page of the last run: that of the symbols the dialog lists and
    // the removal looks up.
    const ui::FormValues last = ui::LoadForm(*store_);
    RemoveSecurityDialog dialog(QString::fromLocal8Bit(last.directory.c_str()), last.codePage,
                                window());
    if (Prompter::instance().exec(dialog) != QDialog::Accepted || dialog.symbol().isEmpty()) {
        return;
    }
    if (!Prompter::instance().question(
            window(), QStringLiteral("Remove %1 from %2?\nIts price files are deleted.")
                          .arg(dialog.symbol(), dialog.directory()))) {
        return;
    }
    PrompterQuestions questions(window());
    ui::RemovalTask task(local(dialog.directory()), local(dialog.symbol()), last.codePage,
                         questions);
    const ui::TaskResult result = runTask(
        window(), QStringLiteral("Removing %1...").arg(dialog.symbol()),
        [&](const std::function<void(int)>&, const std::function<void()>&) { return task.Run(); },
        nullptr);
    log_.Add(result.logEntry);
    showLastEntry();
}

void SessionView::onClearWindow() {
    log_.Clear();
    setPlainText(QString());
}
