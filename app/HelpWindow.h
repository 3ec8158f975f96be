// The help window: the user guide, compiled into the program, in a browser of its own.
#pragma once

#include <QDialog>

class QTextBrowser;

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows `page` of the guide ("index.html", "settings.html" ...) and brings the window forward.
    void showPage(const QString& page);
    QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};
