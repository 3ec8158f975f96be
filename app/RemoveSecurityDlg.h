// The Remove Security dialog: which security to take out of which directory.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

class CRemoveSecurityDlg : public QDialog {
    Q_OBJECT
public:
    CRemoveSecurityDlg(const QString& directory, QWidget* parent = nullptr);

    QString Directory() const;
    QString Symbol() const;

private:
    QLineEdit* m_directoryEdit;
    QLineEdit* m_symbolEdit;
};
