#include "app/ChooseDir.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>
#include <climits>

#include "app/Prompter.h"

namespace {

const QString kRejected = QStringLiteral("*?|<>\"");

// True when `path` names a directory whose path, with "/Junk" after it, the system can take.
bool FitsThePlatform(const QString& path) {
    QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() + 5 >= PATH_MAX) {
        return false;
    }
    for (const QByteArray& part : bytes.split('/')) {
        if (part.size() > NAME_MAX) {
            return false;
        }
    }
    return true;
}

}  // namespace

CChooseDir::CChooseDir(const QString& initialDirectory, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("chooseDirDialog"));
    setWindowTitle(QStringLiteral("Choose Directory"));

    auto* nameLabel = new QLabel(QStringLiteral("Directory &name:"));
    m_nameEdit = new QLineEdit;
    m_nameEdit->setObjectName(QStringLiteral("directoryNameEdit"));
    nameLabel->setBuddy(m_nameEdit);
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("directoryList"));
    m_list->setMinimumSize(260, 220);
    auto* drivesLabel = new QLabel(QStringLiteral("Dri&ves:"));
    m_drives = new QComboBox;
    m_drives->setObjectName(QStringLiteral("drivesCombo"));
    m_drives->addItems(Drives());
    drivesLabel->setBuddy(m_drives);

    auto* buttons = new QDialogButtonBox(Qt::Vertical);
    m_ok = buttons->addButton(QDialogButtonBox::Ok);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_ok->setDefault(true);

    auto* left = new QVBoxLayout;
    left->addWidget(nameLabel);
    left->addWidget(m_nameEdit);
    left->addWidget(m_list, 1);
    left->addWidget(drivesLabel);
    left->addWidget(m_drives);
    auto* layout = new QGridLayout(this);
    layout->addLayout(left, 0, 0);
    layout->addWidget(buttons, 0, 1, Qt::AlignTop);

    connect(m_list, &QListWidget::currentRowChanged, this, &CChooseDir::ComposePath);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        m_list->setCurrentItem(item);
        ComposePath();
        OpenDirectory(m_strDirectoryPath);
    });
    connect(m_drives, &QComboBox::activated, this,
            [this](int index) { OpenDirectory(m_drives->itemText(index)); });
    connect(m_ok, &QPushButton::clicked, this, &CChooseDir::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    QFileInfo start(initialDirectory.trimmed());
    OpenDirectory(!initialDirectory.trimmed().isEmpty() && start.isDir() ? start.absoluteFilePath()
                                                                         : QDir::currentPath());
    m_list->setFocus();
}

QStringList CChooseDir::Drives() const {
    QStringList drives{QStringLiteral("/")};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() &&
            (root.startsWith(QStringLiteral("/media/")) ||
             root.startsWith(QStringLiteral("/mnt/")) ||
             root.startsWith(QStringLiteral("/run/media/")))) {
            drives.append(root);
        }
    }
    drives.append(QDir::homePath());
    drives.removeDuplicates();
    return drives;
}

void CChooseDir::OpenDirectory(const QString& directory) {
    m_strOpen = QDir::cleanPath(QDir(directory).absolutePath());
    QStringList components = m_strOpen.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    m_nComponents = static_cast<int>(components.size());
    QStringList subdirectories =
        QDir(m_strOpen).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    m_list->blockSignals(true);
    m_list->clear();
    m_list->addItem(QStringLiteral("/"));
    m_list->addItems(components);
    m_list->addItems(subdirectories);
    m_list->blockSignals(false);
    m_list->setCurrentRow(m_nComponents);
}

void CChooseDir::ComposePath() {
    int selected = m_list->currentRow();
    m_strDirectoryPath.clear();
    if (selected < 0) {
        return;
    }
    if (selected <= m_nComponents) {
        // An entry of the open directory's path: the root and the components up to it.
        m_strDirectoryPath = m_list->item(0)->text();
        for (int i = 1; i <= selected; ++i) {
            if (i >= 2) {
                m_strDirectoryPath += QLatin1Char('/');
            }
            m_strDirectoryPath += m_list->item(i)->text();
        }
    } else {
        // A sub-directory of the open directory.
        m_strDirectoryPath =
            m_strOpen == QStringLiteral("/") ? m_strOpen : m_strOpen + QLatin1Char('/');
        m_strDirectoryPath += m_list->item(selected)->text();
    }
    m_nameEdit->setText(m_strDirectoryPath);
}

bool CChooseDir::OnFileNameOK() {
    m_strDirectoryPath = m_nameEdit->text();
    const QString& path = m_strDirectoryPath;
    if (std::any_of(path.begin(), path.end(), [](QChar c) { return kRejected.contains(c); })) {
        Prompter::instance().Message(this, QStringLiteral("%1 is not a valid pathname.").arg(path));
        return true;
    }
    if (!FitsThePlatform(path)) {
        Prompter::instance().Message(
            this, QStringLiteral("%1 is too long for a directory name.").arg(path));
        return true;
    }
    if (!path.isEmpty() && QDir::setCurrent(path)) {
        SetResult(QDir::currentPath());  // the directory named, now the current one
        return false;
    }
    if (!Prompter::instance().Question(
            this,
            QStringLiteral("Directory %1 does not exist.\nCreate this directory?").arg(path))) {
        return true;
    }
    if (path.isEmpty() || !QDir().mkdir(path)) {
        Prompter::instance().Message(
            this,
            QStringLiteral("There was a problem creating %1.\nThe new directory was not created.")
                .arg(path));
        return true;
    }
    SetResult(path);
    return false;
}

void CChooseDir::SetResult(const QString& directory) {
    m_strFilePath = directory + QLatin1Char('/') + QLatin1String(kPlaceholder);
    m_nFileOffset = static_cast<int>(directory.size()) + 1;
}

void CChooseDir::accept() {
    if (!OnFileNameOK()) {
        QDialog::accept();
    }
}

int CChooseDir::DoModal() {
    return Prompter::instance().Exec(*this);
}
