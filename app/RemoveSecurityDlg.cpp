#include "app/RemoveSecurityDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CRemoveSecurityDlg::CRemoveSecurityDlg(const QString& directory, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("removeSecurityDialog"));
    setWindowTitle(QStringLiteral("Remove Security"));
    setMinimumWidth(480);  // room for a whole path
    m_directoryEdit = new QLineEdit(directory, this);
    m_directoryEdit->setObjectName(QStringLiteral("removeDirectoryEdit"));
    m_symbolEdit = new QLineEdit(this);
    m_symbolEdit->setObjectName(QStringLiteral("removeSymbolEdit"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Directory:"), m_directoryEdit);
    form->addRow(QStringLiteral("&Symbol or name:"), m_symbolEdit);
    auto* note = new QLabel(
        QStringLiteral("The security's record leaves MASTER and its price files are deleted. "
                       "MASTER.BAK keeps MASTER as it was before."),
        this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    m_symbolEdit->setFocus();
}

QString CRemoveSecurityDlg::Directory() const {
    return m_directoryEdit->text();
}

QString CRemoveSecurityDlg::Symbol() const {
    return m_symbolEdit->text().trimmed();
}
