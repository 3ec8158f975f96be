#include "app/Prompter.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

Prompter& Prompter::instance() {
    static Prompter prompter;
    return prompter;
}

void Prompter::message(QWidget* parent, const QString& text) {
    if (scripted_) {
        messages_.append(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Korvex"), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

bool Prompter::question(QWidget* parent, const QString& text) {
    if (scripted_) {
        messages_.append(text);
        if (answers_.empty()) {
            return false;
        }
        bool yes = answers_.front();
        answers_.pop_front();
        return yes;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Korvex"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString Prompter::openFileName(QWidget* parent, const QString& caption, const QString& directory,
                               const QString& filter) {
    if (scripted_) {
        lastFolder_ = directory;
        lastFilter_ = filter;
        if (files_.empty()) {
            return QString();
        }
        QString file = files_.front();
        files_.pop_front();
        return file;
    }
    lastFolder_ = directory;
    lastFilter_ = filter;
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}

QStringList Prompter::openFileNames(QWidget* parent, const QString& caption,
                                    const QString& directory, const QString& filter) {
    if (scripted_) {
        const QString chosen = openFileName(parent, caption, directory, filter);
        return chosen.isEmpty() ? QStringList() : chosen.split(QLatin1Char('\n'));
    }
    lastFolder_ = directory;
    lastFilter_ = filter;
    return QFileDialog::getOpenFileNames(parent, caption, directory, filter);
}

QString Prompter::existingDirectory(QWidget* parent, const QString& caption,
                                    const QString& directory) {
    lastFolder_ = directory;
    if (scripted_) {
        if (files_.empty()) {
            return QString();
        }
        QString chosen = files_.front();
        files_.pop_front();
        return chosen;
    }
    return QFileDialog::getExistingDirectory(parent, caption, directory);
}

int Prompter::exec(QDialog& dialog) {
    if (!scripted_) {
        return dialog.exec();
    }
    if (dialogs_.empty()) {
        return QDialog::Rejected;
    }
    auto handler = std::move(dialogs_.front());
    dialogs_.pop_front();
    return handler(dialog);
}

void Prompter::setScripted(bool scripted) {
    scripted_ = scripted;
    messages_.clear();
    files_.clear();
    answers_.clear();
    dialogs_.clear();
}

QStringList Prompter::takeMessages() {
    QStringList messages = messages_;
    messages_.clear();
    return messages;
}
