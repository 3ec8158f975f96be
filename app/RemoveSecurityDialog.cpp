#include "app/RemoveSecurityDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/SecurityList.h"

namespace {

enum Column { kSymbol, kName, kRecords, kFirstDate, kLastDate, kColumns };

// Where an item keeps the symbol its directory stores, which a removal is asked for.
constexpr int kStoredSymbolRole = Qt::UserRole;

QString utf8(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

RemoveSecurityDialog::RemoveSecurityDialog(const QString& directory, int codePage, QWidget* parent)
    : QDialog(parent), codePage_(codePage) {
    setObjectName(QStringLiteral("removeSecurityDialog"));
    setWindowTitle(QStringLiteral("Remove Security"));
    setMinimumWidth(560);  // room for a whole path and the five columns

    directoryEdit_ = new QLineEdit(directory, this);
    directoryEdit_->setObjectName(QStringLiteral("removeDirectoryEdit"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Directory:"), directoryEdit_);

    securityList_ = new QTreeWidget(this);
    securityList_->setObjectName(QStringLiteral("securityList"));
    securityList_->setColumnCount(kColumns);
    securityList_->setHeaderLabels({QStringLiteral("Symbol"), QStringLiteral("Name"),
                                    QStringLiteral("Records"), QStringLiteral("First date"),
                                    QStringLiteral("Last date")});
    securityList_->setRootIsDecorated(false);
    securityList_->setUniformRowHeights(true);
    securityList_->setAllColumnsShowFocus(true);
    securityList_->setSelectionMode(QAbstractItemView::SingleSelection);
    securityList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    securityList_->header()->setStretchLastSection(false);
    securityList_->header()->setSectionResizeMode(kName, QHeaderView::Stretch);
    auto* listLabel = new QLabel(QStringLiteral("S&ecurity:"), this);
    listLabel->setBuddy(securityList_);

    problemLabel_ = new QLabel(this);
    problemLabel_->setObjectName(QStringLiteral("removeProblemLabel"));
    problemLabel_->setWordWrap(true);
    problemLabel_->setTextFormat(Qt::PlainText);
    auto* note = new QLabel(
        QStringLiteral("The security's record leaves MASTER and its price files are deleted. "
                       "MASTER.BAK keeps MASTER as it was before."),
        this);
    note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    okButton_ = buttons->button(QDialogButtonBox::Ok);
    okButton_->setObjectName(QStringLiteral("okButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(listLabel);
    layout->addWidget(securityList_, 1);
    layout->addWidget(problemLabel_);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(directoryEdit_, &QLineEdit::textChanged, this, &RemoveSecurityDialog::listDirectory);
    connect(securityList_, &QTreeWidget::itemSelectionChanged, this,
            &RemoveSecurityDialog::onPickChanged);
    connect(securityList_, &QTreeWidget::itemActivated, this, [this] {
        if (okButton_->isEnabled()) {
            accept();
        }
    });
    listDirectory();
    securityList_->setFocus();
}

QString RemoveSecurityDialog::directory() const {
    return directoryEdit_->text();
}

QString RemoveSecurityDialog::symbol() const {
    const QList<QTreeWidgetItem*> picked = securityList_->selectedItems();
    return picked.isEmpty() ? QString()
                            : picked.front()->data(kSymbol, kStoredSymbolRole).toString();
}

void RemoveSecurityDialog::listDirectory() {
    std::string problem;
    const std::vector<ui::ListedSecurity> securities =
        ui::ListSecurities(directoryEdit_->text().toLocal8Bit().toStdString(), codePage_, &problem);
    securityList_->clear();
    for (const ui::ListedSecurity& security : securities) {
        auto* item = new QTreeWidgetItem(
            securityList_, {utf8(security.symbol), utf8(security.name),
                            security.records ? QString::number(*security.records) : QString(),
                            utf8(security.firstDate), utf8(security.lastDate)});
        item->setData(kSymbol, kStoredSymbolRole, utf8(security.symbol));
        item->setTextAlignment(kRecords, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int column = 0; column < kColumns; ++column) {
        if (column != kName) {
            securityList_->resizeColumnToContents(column);
        }
    }
    if (problem.empty() && securities.empty()) {
        problem = "The MASTER file lists no securities.";
    }
    problemLabel_->setText(QString::fromLocal8Bit(problem.c_str()));
    problemLabel_->setVisible(!problem.empty());
    onPickChanged();
}

void RemoveSecurityDialog::onPickChanged() {
    okButton_->setEnabled(!symbol().isEmpty());
}
