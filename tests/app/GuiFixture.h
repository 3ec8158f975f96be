// The fixture of the desktop program's tests: a fresh main window and a temporary settings file
// for every test, and the prompter answering every modal question, driven through the real
// widgets.
#pragma once

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <filesystem>
#include <memory>

#include "app/FileOpener.h"
#include "app/HelpWindow.h"
#include "app/KorvexApp.h"
#include "app/MainWindow.h"
#include "app/Prompter.h"
#include "app/SessionView.h"
#include "app/SettingsDialog.h"
#include "app/SpinEdit.h"
#include "engine/ConversionJob.h"
#include "engine/Detect.h"
#include "msdb/XMaster.h"
#include "tests/support/DownloadShapes.h"
#include "tests/support/TestSupport.h"
#include "ui/FileList.h"
#include "ui/PlatformSettingsStore.h"

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

inline constexpr const char* kLine = "083099,1.5,2,1,1.75,1000,50\n";

template <typename T>
T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no widget %s", name);
    }
    return found;
}

inline void setColumn(QDialog& dialog, const char* name, const QString& text) {
    child<SpinEdit>(dialog, name)->setText(text);
}

// Fills what every run needs and presses OK.
inline int confirmInto(QDialog& dialog, const QString& directory, const QString& symbol,
                       bool newMaster) {
    child<QLineEdit>(dialog, "directoryEdit")->setText(directory);
    child<QLineEdit>(dialog, "symbolEdit")->setText(symbol);
    child<QRadioButton>(dialog, newMaster ? "makeNewMasterRadio" : "useExistingMasterRadio")
        ->setChecked(true);
    child<QPushButton>(dialog, "okButton")->click();
    return dialog.result();
}

class GuiFixture : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<KorvexApp> app_;
    std::string settingsPath_;

    Prompter& prompter() { return Prompter::instance(); }
    MainWindow& mainWindow() { return *app_->mainWindow(); }
    SessionView& view() { return *mainWindow().sessionView(); }
    ui::PlatformSettingsStore& store() { return app_->store(); }
    std::string path(const char* name) { return *dir_ / name; }
    QString qpath(const char* name) { return QString::fromStdString(path(name)); }
    std::string stored(const char* entry) { return store().ReadString("Setting", entry, "<none>"); }
    // True when the window ends with `before`, the success line and the summary of what was
    // written.
    bool endsWithSuccess(const QString& before = {}) {
        const QString text = view().toPlainText();
        const qsizetype last = text.lastIndexOf(QLatin1Char('\n'));
        return last > 0 && text.mid(last + 1).startsWith(QStringLiteral("Converted ")) &&
               text.left(last).endsWith(before +
                                        QStringLiteral("Conversion completed successfully!"));
    }
    QAction* action(const char* name) { return child<QAction>(mainWindow(), name); }

    // Opens `name` through File > Open, answering the settings dialog with `answer`.
    void open(const char* name, std::function<int(QDialog&)> answer) {
        prompter().queueFile(qpath(name));
        prompter().queueDialog(std::move(answer));
        action("openAction")->trigger();
    }

    // Opens `name`, cancels the dialog that starts from the file's detected settings, and answers
    // File > Settings, which starts from the stored settings, with `answer`.
    void openThenSettings(const char* name, std::function<int(QDialog&)> answer) {
        open(name, [](QDialog&) { return int(QDialog::Rejected); });
        prompter().queueDialog(std::move(answer));
        action("settingsAction")->trigger();
    }

    void startApp(const QString& file = QString()) {
        app_ = std::make_unique<KorvexApp>(settingsPath_);
        app_->start(file);
    }

private slots:
    void init() {
        dir_ = std::make_unique<TempDir>();
        settingsPath_ = path("config/Korvex.ini");
        std::filesystem::create_directory(path("db"));
        prompter().setScripted(true);
        startApp();
    }

    void cleanup() {
        app_.reset();
        QVERIFY2(prompter().takeMessages().isEmpty(), "a message was not looked at");
        prompter().setScripted(false);
        dir_.reset();
    }
};
