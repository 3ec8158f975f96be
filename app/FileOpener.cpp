#include "app/FileOpener.h"

#include <QFile>
#include <QFileInfo>

#include "app/Prompter.h"
#include "app/SessionView.h"
#include "ui/SettingsStore.h"
#include "ui/StoredSettings.h"

FileOpener::FileOpener(ui::SettingsStore* store, QObject* parent)
    : QObject(parent), store_(store) {}

bool FileOpener::open(const QString& path) {
    QString full = QFileInfo(path).absoluteFilePath();
    QWidget* parent = view_ != nullptr ? view_->window() : nullptr;
    // The file open already is read afresh: it may have changed since.
    QFile file(full);
    QFileInfo info(full);
    // Only regular files are opened: a pipe or a device could block or never end.
    bool regular = !info.exists() || info.isFile();
    if (!regular || !file.open(QIODevice::ReadOnly)) {
        QString reason = info.isDir() ? QStringLiteral("It is a directory.")
                         : !regular   ? QStringLiteral("It is not a regular file.")
                                      : file.errorString() + QLatin1Char('.');
        Prompter::instance().message(
            parent, QStringLiteral("Cannot open the file %1.\n%2").arg(full, reason));
        ui::NoteRecentFile(*store_, full.toLocal8Bit().toStdString(), false);
        emit recentFilesChanged();
        return false;
    }
    file.close();
    if (view_ != nullptr) {
        view_->openFile(full);
    }
    ui::NoteRecentFile(*store_, full.toLocal8Bit().toStdString());
    emit recentFilesChanged();
    return true;
}

QStringList FileOpener::recentFiles() const {
    QStringList files;
    for (const std::string& file : ui::RecentFiles(*store_)) {
        files.append(QString::fromLocal8Bit(file.c_str()));
    }
    return files;
}
