#include "app/KorvexDoc.h"

#include <QFile>
#include <QFileInfo>

#include "app/KorvexView.h"
#include "app/Prompter.h"
#include "ui/SettingsStore.h"

namespace {

const std::string kRecentSection = "Recent File List";

std::string RecentEntry(int i) {
    return "File" + std::to_string(i + 1);
}

}  // namespace

CKorvexDoc::CKorvexDoc(ui::SettingsStore* store, QObject* parent)
    : QObject(parent), m_pStore(store) {}

bool CKorvexDoc::OnNewDocument() {
    m_strPathName.clear();
    if (m_pView != nullptr) {
        m_pView->setPlainText(QString());
    }
    return true;
}

bool CKorvexDoc::OnOpenDocument(const QString& path) {
    QString full = QFileInfo(path).absoluteFilePath();
    QWidget* parent = m_pView != nullptr ? m_pView->window() : nullptr;
    if (!m_strPathName.isEmpty() && QFileInfo(full) == QFileInfo(m_strPathName)) {
        if (parent != nullptr) {
            parent->raise();
            parent->activateWindow();
        }
        return true;  // already open: a new conversion of it starts from Settings...
    }
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
        RemoveFromRecentFiles(full);
        return false;
    }
    file.close();
    if (m_pView != nullptr) {
        m_pView->m_strInputPath = full;
        m_pView->OnPreviewFile();
    }
    m_strPathName = full;
    AddToRecentFiles(full);
    return true;
}

QStringList CKorvexDoc::RecentFiles() const {
    QStringList files;
    for (int i = 0; i < kRecentFiles; ++i) {
        std::string file = m_pStore->ReadString(kRecentSection, RecentEntry(i), "");
        if (!file.empty()) {
            files.append(QString::fromLocal8Bit(file.c_str()));
        }
    }
    return files;
}

void CKorvexDoc::AddToRecentFiles(const QString& path) {
    QStringList files = RecentFiles();
    files.removeAll(path);
    files.prepend(path);
    WriteRecentFiles(files);
}

void CKorvexDoc::RemoveFromRecentFiles(const QString& path) {
    QStringList files = RecentFiles();
    if (files.removeAll(path) > 0) {
        WriteRecentFiles(files);
    }
}

void CKorvexDoc::WriteRecentFiles(const QStringList& files) {
    for (int i = 0; i < kRecentFiles; ++i) {
        m_pStore->WriteString(kRecentSection, RecentEntry(i),
                              i < files.size() ? files[i].toLocal8Bit().toStdString() : "");
    }
    emit RecentFilesChanged();
}
