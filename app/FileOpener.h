// FileOpener: the document. It holds no content: opening a file only checks that it can be read,
// hands its path to the view and lets the view preview and convert it, then records the file in
// the recent-file list. Nothing is ever written to the opened file.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class SessionView;
namespace ui {
class SettingsStore;
}
class QWidget;

class FileOpener : public QObject {
    Q_OBJECT
public:
    FileOpener(ui::SettingsStore* store, QObject* parent = nullptr);

    void SetView(SessionView* view) { m_pView = view; }

    // Opens `path`: hands it to the view, which previews and converts it before this returns.
    // False, after telling the user, when the file cannot be opened.
    bool OnOpenDocument(const QString& path);

    const QString& PathName() const { return m_strPathName; }

    // The recent-file list, newest first, at most four files.
    QStringList RecentFiles() const;

signals:
    void RecentFilesChanged();

private:
    ui::SettingsStore* m_pStore;
    SessionView* m_pView = nullptr;
    QString m_strPathName;  // the open document's file; empty while untitled
};
