// CChooseDir: the "Choose Directory" dialog of the settings dialog's Browse button. The user picks
// a directory from the list (the root, the components of the open directory, then its
// sub-directories) or types a name; a name that does not exist yet can be created, one level deep.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class CChooseDir : public QDialog {
    Q_OBJECT
public:
    // Opens on `initialDirectory` (the current directory when it is empty or no directory).
    explicit CChooseDir(const QString& initialDirectory, QWidget* parent = nullptr);

    // Runs the dialog (through the prompter); QDialog::Accepted once a directory was confirmed.
    int DoModal();

    // The result: the placeholder file "Junk" inside the chosen directory, and the offset of "Junk"
    // in it, so that the directory is FilePath().left(FileOffset() - 1).
    QString FilePath() const { return m_strFilePath; }
    int FileOffset() const { return m_nFileOffset; }

    // Shows `directory` as the open directory: its components, then its sub-directories.
    void OpenDirectory(const QString& directory);
    // Writes the path of the selected entry of the directory list into the directory-name field.
    void ComposePath();
    // Checks the directory-name field at OK; true keeps the dialog open.
    bool OnFileNameOK();

    static constexpr const char* kPlaceholder = "Junk";

public slots:
    void accept() override;

private:
    void SetResult(const QString& directory);
    QStringList Drives() const;

    QString m_strOpen;           // the open directory, absolute
    int m_nComponents = 0;       // entries 0 .. m_nComponents are the open directory's path
    QString m_strDirectoryPath;  // last composed, or read from the field at OK
    QString m_strFilePath;
    int m_nFileOffset = 0;

    QLineEdit* m_nameEdit;
    QListWidget* m_list;
    QComboBox* m_drives;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
