// FileOpener: File > Open, a recent file and a file named on the command line all come here. It
// checks that the file can be read, hands its path to the session view, which previews and converts
// it, and records the file in the recent-file list. Nothing is ever written to the opened file.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class SessionView;
namespace ui {
class SettingsStore;
}

class FileOpener : public QObject {
    Q_OBJECT
public:
    explicit FileOpener(ui::SettingsStore* store, QObject* parent = nullptr);

    // The pane that previews and converts each file opened.
    void setSessionView(SessionView* view) { view_ = view; }

    // Opens `path`: hands it to the session view, which previews and converts it before this
    // returns. False, after telling the user, when the file cannot be opened; the recent-file list
    // then forgets it.
    bool open(const QString& path);
    // Opens several files for one run: each that cannot be opened is reported and left out; the
    // others go to the session view together (one alone as open(path) takes it). The recent-file
    // list, whose entries open one file each, is left as it was. False when none can be opened.
    bool open(const QStringList& paths);

    // The recent-file list, newest first, at most four files.
    QStringList recentFiles() const;

signals:
    void recentFilesChanged();

private:
    ui::SettingsStore* store_;
    SessionView* view_ = nullptr;
};
