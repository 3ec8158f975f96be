#include "app/Prompter.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

Prompter& Prompter::instance() {
    static Prompter prompter;
    return prompter;
}

void Prompter::Message(QWidget* parent, const QString& text) {
    if (m_scripted) {
        m_messages.append(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Korvex"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool Prompter::Question(QWidget* parent, const QString& text) {
    if (m_scripted) {
        m_messages.append(text);
        if (m_answers.empty()) {
            return false;
        }
        bool yes = m_answers.front();
        m_answers.pop_front();
        return yes;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Korvex"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString Prompter::OpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                               const QString& filter) {
    if (m_scripted) {
        m_lastFolder = directory;
        m_lastFilter = filter;
        if (m_files.empty()) {
            return QString();
        }
        QString file = m_files.front();
        m_files.pop_front();
        return file;
    }
    m_lastFolder = directory;
    m_lastFilter = filter;
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}

QString Prompter::ExistingDirectory(QWidget* parent, const QString& caption,
                                    const QString& directory) {
    m_lastFolder = directory;
    if (m_scripted) {
        if (m_files.empty()) {
            return QString();
        }
        QString chosen = m_files.front();
        m_files.pop_front();
        return chosen;
    }
    return QFileDialog::getExistingDirectory(parent, caption, directory);
}

int Prompter::Exec(QDialog& dialog) {
    if (!m_scripted) {
        return dialog.exec();
    }
    if (m_dialogs.empty()) {
        return QDialog::Rejected;
    }
    auto handler = std::move(m_dialogs.front());
    m_dialogs.pop_front();
    return handler(dialog);
}

void Prompter::SetScripted(bool scripted) {
    m_scripted = scripted;
    m_messages.clear();
    m_files.clear();
    m_answers.clear();
    m_dialogs.clear();
}

QStringList Prompter::TakeMessages() {
    QStringList messages = m_messages;
    m_messages.clear();
    return messages;
}
