// AboutDialog: Help > About Korvex: name and version, what the program does, the legal notices and
// two links, to the maker's e-mail address and web page, whose visited state lasts for the run.
// The links are rich-text labels: a click, or Tab to one and Enter, opens it through the desktop;
// blue until opened, purple after.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

class QLabel;

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // The links record that they were opened in `emailVisited` and `webVisited`, which outlive the
    // dialog.
    AboutDialog(bool* emailVisited, bool* webVisited, QWidget* parent = nullptr);

    // Runs the box (through the prompter) until OK closes it.
    int run();

    QLabel* emailLink() const { return emailLink_; }
    QLabel* webLink() const { return webLink_; }

    // How links are opened; the desktop's handler unless a test puts another in its place. False
    // when the link could not be opened.
    using LinkOpener = std::function<bool(const QUrl&)>;
    static void setLinkOpener(LinkOpener opener);

private:
    // A label showing `text` as a link to `target`, in the colour `*visited` calls for.
    QLabel* makeLink(const QString& text, const QString& target, bool* visited);
    // Opens `target`; on success marks it visited and shows `label` so, else tells the user the
    // address.
    void openLink(QLabel* label, const QString& text, const QString& target, bool* visited);

    QLabel* emailLink_;
    QLabel* webLink_;
};
