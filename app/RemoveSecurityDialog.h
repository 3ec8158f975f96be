// The Remove Security dialog: a directory, the securities it lists (listed afresh whenever the
// directory changes, or why it lists none), and the one the user picks. OK is enabled exactly while
// a security that a removal can take out is picked.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class RemoveSecurityDialog : public QDialog {
    Q_OBJECT
public:
    // Starts at `directory`; symbols and names are read in code page `codePage`.
    RemoveSecurityDialog(const QString& directory, int codePage, QWidget* parent = nullptr);

    QString directory() const;
    // The picked security's symbol as its directory stores it; empty while none is picked.
    QString symbol() const;

private:
    // Lists the securities of the directory now typed, none of them picked.
    void listDirectory();
    void onPickChanged();

    int codePage_;
    QLineEdit* directoryEdit_;
    QTreeWidget* securityList_;
    QLabel* problemLabel_;
    QPushButton* okButton_;
};
