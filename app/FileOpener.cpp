#include "app/FileOpener.h"

#include <QFile>
#include <QFileInfo>

#include "app/Prompter.h"
#include "app/SessionView.h"
#include "ui/SettingsStore.h"
#include "ui/StoredSettings.h"

FileOpener::FileOpener(ui::SettingsStore* store, QObject* parent)
    : QObject(parent), store_(store) {}

namespace {

// Why the file at `full` cannot be opened, or an empty text when it can. Only regular files are
// opened: a pipe or a device could block or never end.
QString whyNotOpened(const QString& full) {
    QFile file(full);
    QFileInfo info(full);
    const bool regular = !info.exists() || info.isFile();
    if (regular && file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return info.isDir() ? QStringLiteral("It is a directory.")
           : !regular   ? QStringLiteral("It is not a regular file.")
                        : file.errorString() + QLatin1Char('.');
}

}  // namespace

bool FileOpener::open(const QString& path) {
    QString full = QFileInfo(path).absoluteFilePath();
    QWidget* parent = view_ != nullptr ? view_->window() : nullptr;
    // The file open already is read afresh: it may have changed since.
    if (const QString reason = whyNotOpened(full); !reason.isEmpty()) {
        Prompter::instance().message(
            parent, QStringLiteral("Cannot open the file %1.\n%2").arg(full, reason));
        ui::NoteRecentFile(*store_, full.toLocal8Bit().toStdString(), false);
        emit recentFilesChanged();
        return false;
    }
    if (view_ != nullptr) {
        view_->openFile(full);
    }
    ui::NoteRecentFile(*store_, full.toLocal8Bit().toStdString());
    emit recentFilesChanged();
    return true;
}

bool FileOpener::open(const QStringList& paths) {
    if (paths.size() == 1) {
        return open(paths.first());
    }
    QWidget* parent = view_ != nullptr ? view_->window() : nullptr;
    QStringList opened;
    for (const QString& path : paths) {
        const QString full = QFileInfo(path).absoluteFilePath();
        if (const QString reason = whyNotOpened(full); !reason.isEmpty()) {
            Prompter::instance().message(
                parent, QStringLiteral("Cannot open the file %1.\n%2").arg(full, reason));
        } else if (!opened.contains(full)) {
            opened.append(full);
        }
    }
    if (opened.isEmpty()) {
        return false;
    }
    if (view_ != nullptr) {
        view_->openFiles(opened);
    }
    return true;
}

QStringList FileOpener::recentFiles() const {
    QStringList files;
    for (const std::string& file : ui::RecentFiles(*store_)) {
        files.append(QString::fromLocal8Bit(file.c_str()));
    }
    return files;
}
