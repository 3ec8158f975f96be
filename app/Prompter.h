// Every modal question of the program goes through the one Prompter: message boxes, the file and
// directory pickers and the modal dialogs. Tests install answers ahead of time and read back what
// was asked, so that no window ever waits for a person.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

class QDialog;
class QWidget;

class Prompter {
public:
    static Prompter& instance();

    // Shows `text` in a modal box with an OK button.
    void message(QWidget* parent, const QString& text);
    // Asks `text` in a modal box with Yes and No buttons, No the default; true for Yes.
    bool question(QWidget* parent, const QString& text);
    // The file chosen in an Open dialog, or an empty text on Cancel.
    QString openFileName(QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter = QStringLiteral("All files (*)"));
    // The files chosen in an Open dialog that picks one or several; none on Cancel.
    QStringList openFileNames(QWidget* parent, const QString& caption, const QString& directory,
                              const QString& filter = QStringLiteral("All files (*)"));
    // The directory chosen in the platform's folder chooser (which can make a new folder),
    // opened on `directory`; an empty text on Cancel.
    QString existingDirectory(QWidget* parent, const QString& caption, const QString& directory);
    // Runs `dialog` modally and returns its result code.
    int exec(QDialog& dialog);

    // Test hooks. While scripted, message boxes are recorded and answered with OK at once; the
    // pickers take the next queued answer (Cancel when none is left); a queued dialog handler gets
    // the next dialog instead of the user and returns its result (Cancel when none is left); a
    // question is recorded like a message and takes the next queued answer (No when none is left).
    void setScripted(bool scripted);
    void queueFile(const QString& path) { files_.push_back(path); }
    // The next answer of openFileNames: several files at once.
    void queueFiles(const QStringList& paths) { files_.push_back(paths.join(QLatin1Char('\n'))); }
    // The folder and the filter the last file chooser was opened with.
    const QString& lastFolder() const { return lastFolder_; }
    const QString& lastFilter() const { return lastFilter_; }
    void queueAnswer(bool yes) { answers_.push_back(yes); }
    void queueDialog(std::function<int(QDialog&)> handler) {
        dialogs_.push_back(std::move(handler));
    }
    QStringList takeMessages();
    bool isScripted() const { return scripted_; }

private:
    bool scripted_ = false;
    QStringList messages_;
    std::deque<QString> files_;
    QString lastFolder_;
    QString lastFilter_;
    std::deque<bool> answers_;
    std::deque<std::function<int(QDialog&)>> dialogs_;
};
