// SessionView: the main window's read-only text pane, in a fixed-width font and scrolled sideways
// rather than wrapped. It previews an opened file (a header and its first ten lines), runs the
// conversion flow (settings dialog, stored settings, conversion job) and appends one outcome line
// per confirmed run.
#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "engine/ConversionJob.h"
#include "ui/SessionLog.h"
#include "ui/StoredSettings.h"

class SettingsDialog;
namespace ui {
class SettingsStore;
}

class SessionView : public QPlainTextEdit {
    Q_OBJECT
public:
    SessionView(ui::SettingsStore* store, QWidget* parent = nullptr);

    // What the session's runs did.
    const ui::SessionLog& Log() const { return m_log; }

    // Appends `text` at the end of the pane; "\r\n" is a line break.
    void AppendText(const QString& text);

    // The file has been opened: shows its preview, then runs the conversion flow, starting from
    // the settings detected from the file.
    void OnPreviewFile();

    // The height in pixels of the text the pane holds, up to its own height.
    int LinesHeight() const;

    // Where a dialog whose frame is `frame` leaves the file's lines in sight: below them when the
    // screen has room, else beside the main window, else as low as the screen allows. The frame's
    // own place when the pane is not shown.
    QPoint PlaceOffLines(const QRect& frame) const;

    QString m_strInputPath;  // the input file last opened; never cleared
    int m_nDateFormat = 1;   // the date format code that the settings dialog chose

    // The first `count` lines of a file as a text-mode read with a 300-byte buffer gives them: at
    // most 299 characters each (a longer line comes in pieces), without their line ends.
    static std::vector<std::string> FirstLines(const std::string& path, int count);

public slots:
    // The conversion flow: settings dialog, then the conversion, then the outcome line. A run
    // refused for one of its settings brings the dialog back as it was, to mend that setting.
    void OnFileSettings();
    // Takes a security out of a directory, after asking which and making sure.
    void OnFileRemoveSecurity();
    void OnViewClearWindow();

signals:
    // The input path changed: "Settings..." is enabled exactly while there is one.
    void InputPathChanged(bool hasInput);

private:
    // Shows the session log's newest entry below the others, a blank line between.
    void ShowLastEntry();
    void RunConversion(bool fromOpenedFile);
    // Stores the dialog's settings and runs the conversion; true when it succeeded, else
    // `*refused` names the setting a refusal was about and `*message` says why.
    bool Convert(SettingsDialog& dialog, std::optional<engine::ConversionJob::Refusal>* refused,
                 QString* message);

    ui::SettingsStore* m_pStore;
    ui::SessionLog m_log;
    // The dialog's settings for the open file as the user last confirmed them; none until then.
    std::optional<ui::FormValues> m_form;
};
