#include "app/HelpWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Korvex Help"));
    setModal(false);
    browser_ = new QTextBrowser;
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    browser_->setOpenExternalLinks(true);
    browser_->setSearchPaths({QStringLiteral(":/korvex/help")});

    auto* contents = new QPushButton(QStringLiteral("&Contents"));
    auto* back = new QPushButton(QStringLiteral("&Back"));
    auto* close = new QPushButton(QStringLiteral("Close"));
    connect(contents, &QPushButton::clicked, this,
            [this] { showPage(QStringLiteral("index.html")); });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    back->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);
    resize(640, 560);
}

void HelpWindow::showPage(const QString& page) {
    browser_->setSource(QUrl(QStringLiteral("qrc:/korvex/help/") + page));
    show();
    raise();
    activateWindow();
}
