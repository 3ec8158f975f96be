#include "app/AboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Maker.h"
#include "app/Prompter.h"
#include "app/StaticLink.h"

namespace {

QLabel* Centred(const QString& text) {
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(int* emailVisited, int* webVisited, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Korvex"));
    m_strLegal =
        QStringLiteral("Copyright \u00A9 2026 %1. All rights reserved.").arg(maker::kName) +
        QStringLiteral("\n\nMetaStock is a trademark of its owner.") +
        QStringLiteral("  Other names are trademarks of their owners.");

    auto* does = new QGroupBox(QStringLiteral("What Korvex Does"));
    auto* doesLayout = new QVBoxLayout(does);
    doesLayout->addWidget(Centred(
        QStringLiteral("Converts historical financial data in ASCII form to data in MetaStock "
                       "format")));
    auto* legal = new QGroupBox(QStringLiteral("Legal Stuff"));
    auto* legalLayout = new QVBoxLayout(legal);
    QLabel* legalText = Centred(m_strLegal);
    legalText->setObjectName(QStringLiteral("legalText"));
    legalLayout->addWidget(legalText);

    auto* version = Centred(QStringLiteral("Korvex Version 1.4"));
    version->setObjectName(QStringLiteral("versionText"));
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    auto* by = Centred(QStringLiteral("A %1 bit application\nby\n%2")
                           .arg(static_cast<int>(sizeof(void*) * 8))
                           .arg(QLatin1String(maker::kName)));
    m_email = new CStaticLink(QLatin1String(maker::kEmail));
    m_web = new CStaticLink(QLatin1String(maker::kWeb));
    m_email->setObjectName(QStringLiteral("emailLink"));
    m_web->setObjectName(QStringLiteral("webLink"));
    m_email->setAlignment(Qt::AlignCenter);
    m_web->setAlignment(Qt::AlignCenter);
    m_email->SetVisitedFlag(emailVisited);
    m_web->SetVisitedFlag(webVisited);
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(QStringLiteral(":/korvex/korvex.svg")).pixmap(48, 48));
    icon->setAlignment(Qt::AlignCenter);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* right = new QVBoxLayout;
    right->addWidget(version);
    right->addSpacing(8);
    right->addWidget(by);
    right->addSpacing(8);
    right->addWidget(m_email);
    right->addWidget(m_web);
    right->addStretch();
    right->addWidget(icon);
    right->addWidget(buttons, 0, Qt::AlignCenter);
    auto* left = new QVBoxLayout;
    left->addWidget(does);
    left->addWidget(legal, 1);
    auto* layout = new QGridLayout(this);
    layout->addLayout(left, 0, 0);
    layout->addLayout(right, 0, 1);
    layout->setColumnMinimumWidth(0, 220);
    layout->setColumnMinimumWidth(1, 240);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // OK has the focus, so that Enter closes the box; Tab reaches the links.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    setTabOrder(ok, m_email);
    setTabOrder(m_email, m_web);
    ok->setDefault(true);
    ok->setFocus();
}

int CAboutDlg::DoModal() {
    return Prompter::instance().Exec(*this);
}
