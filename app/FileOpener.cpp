#include "app/FileOpener.h"

#include <QFile>
#include <QFileInfo>

#include "app/Prompter.h"
#include "app/SessionView.h"
#include "ui/SettingsStore.h"
#include "ui/StoredSettings.h"

FileOpener::FileOpener(ui::SettingsStore* store, QObject* parent)
    : QObject(parent), m_pStore(store) {}

bool FileOpener::OnOpenDocument(const QString& path) {
    QString full = QFileInfo(path).absoluteFilePath();
    QWidget* parent = m_pView != nullptr ? m_pView->window() : nullptr;
    // The file open already is read afresh: it may have changed since.
    QFile file(full);
    QFileInfo info(full);
    // Only regular files are opened: a pipe or a device could block or never end.
    bool regular = !info.exists() || info.isFile();
    if (!regular || !file.open(QIODevice::ReadOnly)) {
        QString reason = info.isDir() ? QStringLiteral("It is a directory.")
                         : !regular   ? QStringLiteral("It is not a regular file.")
                                      : file.errorString() + QLatin1Char('.');
        Prompter::instance().Message(
            parent, QStringLiteral("Cannot open the file %1.\n%2").arg(full, reason));
        ui::NoteRecentFile(*m_pStore, full.toLocal8Bit().toStdString(), false);
        emit RecentFilesChanged();
        return false;
    }
    file.close();
    if (m_pView != nullptr) {
        m_pView->m_strInputPath = full;
        m_pView->OnPreviewFile();
    }
    m_strPathName = full;
    ui::NoteRecentFile(*m_pStore, full.toLocal8Bit().toStdString());
    emit RecentFilesChanged();
    return true;
}

QStringList FileOpener::RecentFiles() const {
    QStringList files;
    for (const std::string& file : ui::RecentFiles(*m_pStore)) {
        files.append(QString::fromLocal8Bit(file.c_str()));
    }
    return files;
}
