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
    void Message(QWidget* parent, const QString& text);
    // Asks `text` in a modal box with Yes and No buttons, No the default; true for Yes.
    bool Question(QWidget* parent, const QString& text);
    // The file chosen in an Open dialog, or an empty text on Cancel.
    QString OpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter = QStringLiteral("All files (*)"));
    // The directory chosen in the platform's folder chooser (which can make a new folder),
    // opened on `directory`; an empty text on Cancel.
    QString ExistingDirectory(QWidget* parent, const QString& caption, const QString& directory);
    // Runs `dialog` modally and returns its result code.
    int Exec(QDialog& dialog);

    // Test hooks. While scripted, message boxes are recorded and answered with OK at once; the
    // pickers take the next queued answer (Cancel when none is left); a queued dialog handler gets
    // the next dialog instead of the user and returns its result (Cancel when none is left); a
    // question is recorded like a message and takes the next queued answer (No when none is left).
    void SetScripted(bool scripted);
    void QueueFile(const QString& path) { m_files.push_back(path); }
    // The folder and the filter the last file chooser was opened with.
    const QString& LastFolder() const { return m_lastFolder; }
    const QString& LastFilter() const { return m_lastFilter; }
    void QueueAnswer(bool yes) { m_answers.push_back(yes); }
    void QueueDialog(std::function<int(QDialog&)> handler) {
        m_dialogs.push_back(std::move(handler));
    }
    QStringList TakeMessages();
    bool Scripted() const { return m_scripted; }

private:
    bool m_scripted = false;
    QStringList m_messages;
    std::deque<QString> m_files;
    QString m_lastFolder;
    QString m_lastFilter;
    std::deque<bool> m_answers;
    std::deque<std::function<int(QDialog&)>> m_dialogs;
};
