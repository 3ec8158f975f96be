#include "app/AboutDialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Prompter.h"
#include "ui/Maker.h"

namespace {

constexpr QLatin1StringView kMailto("mailto:");
const QColor kUnvisitedColour(0, 0, 255);
const QColor kVisitedColour(128, 0, 128);

AboutDialog::LinkOpener& currentOpener() {
    static AboutDialog::LinkOpener opener = [](const QUrl& url) {
        return QDesktopServices::openUrl(url);
    };
    return opener;
}

// The rich text of a link to `target` showing `text`, blue or, once visited, purple.
QString linkText(const QString& text, const QString& target, bool visited) {
    return QStringLiteral("<a href=\"%1\" style=\"color: %2\">%3</a>")
        .arg(target.toHtmlEscaped(), (visited ? kVisitedColour : kUnvisitedColour).name(),
             text.toHtmlEscaped());
}

// A link label as one stop of the tab order, both ways. Qt stops on the label before its link and
// never leaves the link backwards; here a Tab or Shift+Tab that reaches the label goes on to its
// one link, and Shift+Tab on the link goes to the widget before.
class LinkFocus final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* label = static_cast<QLabel*>(watched);
        if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
                QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
                QCoreApplication::sendEvent(label, &tab);
            }
        } else if (event->type() == QEvent::KeyPress && label->hasSelectedText()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Backtab ||
                (key->key() == Qt::Key_Tab && key->modifiers().testFlag(Qt::ShiftModifier))) {
                QWidget* before = label->previousInFocusChain();
                while (before != label && !(before->isVisible() && before->isEnabled() &&
                                            before->focusPolicy() & Qt::TabFocus)) {
                    before = before->previousInFocusChain();
                }
                before->setFocus(Qt::BacktabFocusReason);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QLabel* centred(const QString& text) {
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

}  // namespace

AboutDialog::AboutDialog(bool* emailVisited, bool* webVisited, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Korvex"));
    const QString legalNotices =
        QStringLiteral("Copyright \u00A9 2026 %1. All rights reserved.").arg(maker::kName) +
        QStringLiteral("\n\nMetaStock is a trademark of its owner.") +
        QStringLiteral("  Other names are trademarks of their owners.");

    auto* does = new QGroupBox(QStringLiteral("What Korvex Does"));
    auto* doesLayout = new QVBoxLayout(does);
    doesLayout->addWidget(centred(
        QStringLiteral("Converts historical financial data in ASCII form to data in MetaStock "
                       "format")));
    auto* legal = new QGroupBox(QStringLiteral("Legal Stuff"));
    auto* legalLayout = new QVBoxLayout(legal);
    QLabel* legalText = centred(legalNotices);
    legalText->setObjectName(QStringLiteral("legalText"));
    legalLayout->addWidget(legalText);

    auto* version = centred(QStringLiteral("Korvex Version 1.4"));
    version->setObjectName(QStringLiteral("versionText"));
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    auto* by = centred(QStringLiteral("A %1 bit application\nby\n%2")
                           .arg(static_cast<int>(sizeof(void*) * 8))
                           .arg(QLatin1String(maker::kName)));
    emailLink_ = makeLink(QLatin1String(maker::kEmail), kMailto + QLatin1String(maker::kEmail),
                          emailVisited);
    webLink_ = makeLink(QLatin1String(maker::kWeb), QLatin1String(maker::kWeb), webVisited);
    emailLink_->setObjectName(QStringLiteral("emailLink"));
    webLink_->setObjectName(QStringLiteral("webLink"));
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
    right->addWidget(emailLink_);
    right->addWidget(webLink_);
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
    setTabOrder(ok, emailLink_);
    setTabOrder(emailLink_, webLink_);
    ok->setDefault(true);
    ok->setFocus();
}

int AboutDialog::run() {
    return Prompter::instance().exec(*this);
}

void AboutDialog::setLinkOpener(LinkOpener opener) {
    currentOpener() = std::move(opener);
}

QLabel* AboutDialog::makeLink(const QString& text, const QString& target, bool* visited) {
    auto* label = new QLabel(linkText(text, target, *visited), this);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(false);  // opened here, to mark them visited
    label->setAlignment(Qt::AlignCenter);
    label->installEventFilter(new LinkFocus(label));
    connect(label, &QLabel::linkActivated, this,
            [this, label, text, target, visited] { openLink(label, text, target, visited); });
    return label;
}

void AboutDialog::openLink(QLabel* label, const QString& text, const QString& target,
                           bool* visited) {
    if (!currentOpener()(QUrl(target))) {
        QString address = target;
        if (address.startsWith(kMailto)) {
            address.remove(0, kMailto.size());
        }
        Prompter::instance().message(
            this, QStringLiteral("The link could not be opened. Its address is:\n%1").arg(address));
        return;
    }
    *visited = true;
    label->setText(linkText(text, target, true));
}
