// SessionView: the main window's read-only text pane, which shows the session log in a fixed-width
// font, scrolled sideways rather than wrapped. Opening a file adds its first ten lines to the log;
// the view then runs the conversion flow (settings dialog, stored settings, the conversion task)
// and adds what each confirmed run did.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConversionJob.h"
#include "ui/FileList.h"
#include "ui/SessionLog.h"
#include "ui/StoredSettings.h"

class SettingsDialog;
namespace ui {
class SettingsStore;
}

class SessionView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit SessionView(ui::SettingsStore* store, QWidget* parent = nullptr);

    // What the session's runs did.
    const ui::SessionLog& log() const { return log_; }

    // Appends `text` at the end of the pane; "\r\n" is a line break.
    void appendText(const QString& text);

    // The file at `path` has been opened: shows its preview, then runs the conversion flow,
    // starting from the settings detected from the file.
    void openFile(const QString& path);
    // Several files have been opened for one run: lists them, then runs the conversion flow over
    // all of them, the preview showing the first.
    void openFiles(const QStringList& paths);

    // The input file last opened (the first of several); it stays when the window is cleared.
    const QString& inputPath() const { return inputPath_; }
    // The files last opened together; empty when one was opened alone.
    const QStringList& inputPaths() const { return inputPaths_; }
    // The date format code of the settings last confirmed in the dialog; 0 when none of the list
    // was chosen.
    int dateFormat() const { return dateFormat_; }

    // The height in pixels of the text the pane holds, up to its own height.
    int linesHeight() const;

    // Where a dialog whose frame is `frame` leaves the file's lines in sight: below them when the
    // screen has room, else beside the main window, else as low as the screen allows. The frame's
    // own place when the pane is not shown.
    QPoint placeOffLines(const QRect& frame) const;

public slots:
    // File > Settings...: the conversion flow for the file last opened: settings dialog, then the
    // conversion, then the outcome line. A run refused for one of its settings brings the dialog
    // back as it was, to mend that setting.
    void onSettings();
    // File > Remove Security...: takes a security out of a directory, after asking which and
    // making sure.
    void onRemoveSecurity();
    // View > Clear Window.
    void onClearWindow();

signals:
    // The input path changed: "Settings..." is enabled exactly while there is one.
    void inputPathChanged(bool hasInput);

private:
    // Shows the session log's newest entry below the others, a blank line between.
    void showLastEntry();
    void runConversion(bool fromOpenedFile);
    // Stores the dialog's settings and runs the conversion; true when it succeeded, else
    // `*refused` names the setting a refusal was about and `*message` says why.
    bool convert(const SettingsDialog& dialog,
                 std::optional<engine::ConversionJob::Refusal>* refused, QString* message);

    ui::SettingsStore* store_;
    ui::SessionLog log_;
    QString inputPath_;
    QStringList inputPaths_;
    int dateFormat_ = 1;
    // The dialog's settings for the open file as the user last confirmed them; none until then.
    std::optional<ui::FormValues> confirmedForm_;
    // The symbols and names of the files opened together, as the user last confirmed them.
    std::optional<ui::FileList> confirmedFiles_;
};
