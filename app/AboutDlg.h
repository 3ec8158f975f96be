// CAboutDlg: Help > About Korvex: name and version, what the program does, the legal notices and
// two links, to the maker's e-mail address and web page, whose visited state lasts for the run.
#pragma once

#include <QDialog>
#include <QString>

class CStaticLink;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // The links record that they were opened in `emailVisited` and `webVisited`, which outlive the
    // dialog.
    CAboutDlg(int* emailVisited, int* webVisited, QWidget* parent = nullptr);

    int DoModal();

    CStaticLink* EmailLink() const { return m_email; }
    CStaticLink* WebLink() const { return m_web; }

    // The legal notices, composed when the dialog is made.
    QString m_strLegal;

private:
    CStaticLink* m_email;
    CStaticLink* m_web;
};
