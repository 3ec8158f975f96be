// The desktop program driven through its real widgets, with a fresh main window and a temporary
// settings file for every test, and the prompter answering every modal question.
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

namespace {

const char* kLine = "083099,1.5,2,1,1.75,1000,50\n";

template <typename T>
T* child(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no widget %s", name);
    }
    return found;
}

void setColumn(QDialog& dialog, const char* name, const QString& text) {
    child<SpinEdit>(dialog, name)->setText(text);
}

// Fills what every run needs and presses OK.
int confirmInto(QDialog& dialog, const QString& directory, const QString& symbol, bool newMaster) {
    child<QLineEdit>(dialog, "directoryEdit")->setText(directory);
    child<QLineEdit>(dialog, "symbolEdit")->setText(symbol);
    child<QRadioButton>(dialog, newMaster ? "makeNewMasterRadio" : "useExistingMasterRadio")
        ->setChecked(true);
    child<QPushButton>(dialog, "okButton")->click();
    return dialog.result();
}

}  // namespace

class GuiTest : public QObject {
    Q_OBJECT

private:
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

    void openingPreviewsConvertsAndStoresTheSettings() {
        WriteFileBytes(path("in.csv"), kLine);
        QVERIFY(!action("settingsAction")->isEnabled());
        open("in.csv", [&](QDialog& d) { return confirmInto(d, qpath("db"), "xyz  ", true); });

        QCOMPARE(view().toPlainText(),
                 "To help you with the conversion settings, your file...\n\n\t" + qpath("in.csv") +
                     "\n\nlooks like this...\n\n083099,1.5,2,1,1.75,1000,50\n\nConversion "
                     "completed successfully!\nConverted 1 price records of XYZ into " +
                     qpath("db") + "/F1.DAT (1999-08-30 to 1999-08-30).");
        QCOMPARE(ReadFileBytes(path("db/MASTER")).size(), std::size_t{106});
        QCOMPARE(ReadFileBytes(path("db/MASTER")).substr(53 + 36, 4), std::string("XYZ "));
        QCOMPARE(ReadFileBytes(path("db/F1.DAT")).size(), std::size_t{56});
        QCOMPARE(stored("DateFormat"), std::string("MMDDYY"));
        QCOMPARE(stored("Exist"), std::string("1"));
        QCOMPARE(stored("Delimiter"), std::string("0"));
        QCOMPARE(stored("OICol"), std::string("7"));
        QCOMPARE(stored("Path"), path("db"));
        QCOMPARE(stored("Symbol"), std::string("XYZ"));
        QCOMPARE(stored("Name"), std::string(""));
        QVERIFY(action("settingsAction")->isEnabled());
        QCOMPARE(mainWindow().windowTitle(), QStringLiteral("Korvex"));
        QCOMPARE(app_->fileOpener()->recentFiles(), QStringList{qpath("in.csv")});
    }

    void previewShowsTenPiecesOfAtMost299Characters() {
        std::string longLine(650, 'x');
        WriteFileBytes(path("in.csv"), longLine + "\r\n" + "a\nb\nc\nd\ne\nf\ng\nh\n");
        open("in.csv", [](QDialog&) { return int(QDialog::Rejected); });
        QStringList lines = view().toPlainText().split(QLatin1Char('\n'));
        QStringList preview = lines.mid(6);
        QCOMPARE(preview.size(), 11);  // ten pieces and the empty end
        QCOMPARE(preview[0].size(), 299);
        QCOMPARE(preview[1].size(), 299);
        QCOMPARE(preview[2].size(), 52);
        QCOMPARE(preview[9], QStringLiteral("g"));

        QCOMPARE(ui::FirstLines(path("in.csv"), 2).size(), std::size_t{2});
        WriteFileBytes(path("short.txt"), "one\ntwo\nthree");
        QCOMPARE(ui::FirstLines(path("short.txt"), 10),
                 (std::vector<std::string>{"one", "two", "three"}));
        WriteFileBytes(path("empty.txt"), "");
        QVERIFY(ui::FirstLines(path("empty.txt"), 10).empty());
        WriteFileBytes(path("exact.txt"), std::string(299, 'y') + "\nz\n");
        QCOMPARE(ui::FirstLines(path("exact.txt"), 10),
                 (std::vector<std::string>{std::string(299, 'y'), "", "z"}));
    }

    void cancelWritesNothing() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [](QDialog& d) {
            child<QPushButton>(d, "cancelButton")->click();
            return d.result();
        });
        QVERIFY(view().toPlainText().endsWith(QStringLiteral("083099,1.5,2,1,1.75,1000,50\n")));
        QCOMPARE(stored("DateFormat"), std::string("<none>"));
        QVERIFY(!FileExists(path("db/MASTER")));
    }

    void aFailedConversionSaysSoAndKeepsTheDialogSettings() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", false); });
        QCOMPARE(prompter().takeMessages(),
                 QStringList{QStringLiteral("Path specified does not point to a Master file")});
        QVERIFY(view().toPlainText().endsWith(
            QStringLiteral("\n\nConversion failed.\nPath specified does not point to a Master "
                           "file\nThe directory: ") +
            qpath("db") + QStringLiteral("\nNothing in ") + qpath("db") +
            QStringLiteral(" was changed.")));
        QCOMPARE(stored("Exist"), std::string("0"));
        QCOMPARE(stored("Path"), path("db"));  // what the user confirmed is remembered

        // Settings... converts the same file again; each confirmed run adds its line.
        prompter().queueDialog(
            [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", true); });
        action("settingsAction")->trigger();
        QVERIFY(endsWithSuccess(QStringLiteral(" was changed.\n\n")));
        QCOMPARE(stored("Path"), path("db"));
    }

    // A duplicate symbol: the user is asked whether to replace it; No keeps today's message and
    // result, Yes converts over it.
    void aDuplicateCanBeReplacedWhenTheUserSaysSo() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", true); });
        const std::string first = ReadFileBytes(path("db/MASTER"));
        const QString question = QStringLiteral(
            "The directory already holds a security XYZ.\nReplace it with the "
            "prices of this file?");
        prompter().queueDialog(
            [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", false); });
        action("settingsAction")->trigger();                         // no answer queued: No
        QCOMPARE(prompter().takeMessages(), QStringList{question});  // no second box
        QCOMPARE(ReadFileBytes(path("db/MASTER")), first);

        WriteFileBytes(path("in.csv"), std::string(kLine) + "083199,1.5,2,1,1.75,1000,50\n");
        prompter().queueAnswer(true);
        prompter().queueDialog(
            [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", false); });
        action("settingsAction")->trigger();
        QCOMPARE(prompter().takeMessages(), QStringList{question});
        QVERIFY2(view().toPlainText().contains(
                     QStringLiteral("Conversion completed successfully!\nReplaced XYZ in ") +
                     qpath("db") +
                     QStringLiteral(": it held 1 record, it now holds 2 records.\nConverted ")),
                 qPrintable(view().toPlainText()));
        QCOMPARE(ReadFileBytes(path("db/F1.DAT")).size(), std::size_t{3 * 28});
        QCOMPARE(ReadFileBytes(path("db/MASTER")).size(), std::size_t{106});
    }

    // Problems in the file: the user sees them and what storing them does, and chooses; No
    // changes nothing, Yes stores the file without the lines that cannot be stored.
    void problemsAreShownAndStoredOnlyWhenTheUserSaysSo() {
        WriteFileBytes(path("in.csv"),
                       "083099,1.5,2,1,1.75,1000,50\n083199,1.5,x,1,1.75,1000,50\n");
        // Answered No, the dialog comes back with the problems beside the column of the first,
        // which has the cursor.
        QStringList back;
        openThenSettings("in.csv", [&](QDialog& d) {
            prompter().queueDialog([&](QDialog& again) {
                again.show();
                auto* refusal = child<QLabel>(again, "refusalLabel");
                back << refusal->text().section('\n', -2) << again.focusWidget()->objectName()
                     << QString::number(refusal->parentWidget()->isAncestorOf(
                            child<QWidget>(again, "highColumnEdit")));
                again.hide();
                return int(QDialog::Rejected);
            });
            return confirmInto(d, qpath("db"), "XYZ", true);
        });
        QCOMPARE(back, (QStringList{"line 2, high price \"x\": is not a number\nNothing was "
                                    "converted.",
                                    "highColumnEdit", "1"}));
        const QStringList asked = prompter().takeMessages();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains(QStringLiteral("line 2, high price \"x\": is not a number")));
        QVERIFY(
            asked[0].endsWith(QStringLiteral("Store the file anyway? 1 line will be left out.")));
        QVERIFY(!FileExists(path("db/MASTER")));
        QVERIFY(view().toPlainText().endsWith(QStringLiteral(" was changed.")));

        prompter().queueAnswer(true);
        prompter().queueDialog(
            [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", true); });
        action("settingsAction")->trigger();
        QCOMPARE(prompter().takeMessages().size(), 1);
        QVERIFY(view().toPlainText().endsWith(QStringLiteral("1 line was left out.")));
        QCOMPARE(ReadFileBytes(path("db/F1.DAT")).size(), std::size_t{2 * 28});
    }

    // The EMASTER check box: remembered, and with Make New Master an EMASTER beside MASTER.
    void aNewDirectoryGetsAnEMasterWhenTheBoxIsTicked() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [&](QDialog& d) {
            child<QCheckBox>(d, "emasterCheck")->setChecked(true);
            return confirmInto(d, qpath("db"), "XYZ", true);
        });
        QVERIFY(FileExists(path("db/EMASTER")));
        QCOMPARE(ReadFileBytes(path("db/EMASTER")).size(), std::size_t{2 * 192});
        QCOMPARE(stored("EMaster"), std::string("1"));
        bool ticked = false;
        prompter().queueDialog([&](QDialog& d) {
            ticked = child<QCheckBox>(d, "emasterCheck")->isChecked();
            return int(QDialog::Rejected);
        });
        action("settingsAction")->trigger();
        QVERIFY(ticked);
    }

    // Two files opened together: the dialog lists each with what it holds, the symbol typed in
    // the table reaches the run, and the window shows the run's report, a line per security.
    void severalFilesAreListedAndConvertedInOneRun() {
        WriteFileBytes(path("aaa.csv"), kLine);
        WriteFileBytes(path("bbb.csv"), std::string(kLine) + "083199,1.5,2,1,1.75,1000,50\n");
        QStringList rows;
        bool oneSymbol = true;
        prompter().queueFiles({qpath("aaa.csv"), qpath("bbb.csv")});
        prompter().queueDialog([&](QDialog& d) {
            QAbstractItemModel* files = child<QTableView>(d, "filesTable")->model();
            const bool read = QTest::qWaitFor(
                [&] { return files->index(1, ui::FileList::kRecords).data().toString() == "2"; });
            for (int row = 0; read && row < files->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < files->columnCount(); ++column) {
                    cells << files->index(row, column).data().toString();
                }
                rows << cells.join(QLatin1Char('|'));
            }
            oneSymbol = child<QLineEdit>(d, "symbolEdit")->isEnabled();
            files->setData(files->index(1, ui::FileList::kSymbol), QStringLiteral("bee"));
            return confirmInto(d, qpath("db"), QString(), true);
        });
        action("openAction")->trigger();
        QCOMPARE(rows, (QStringList{"aaa.csv|AAA||1|1999-08-30|1999-08-30|0",
                                    "bbb.csv|BBB||2|1999-08-30|1999-08-31|0"}));
        QVERIFY(!oneSymbol);
        const QString text = view().toPlainText();
        QVERIFY2(text.contains(QStringLiteral("your 2 files...")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral(": 2 added (3 price records)")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("BEE")), qPrintable(text));
        QCOMPARE(ReadFileBytes(path("db/MASTER")).size(), std::size_t{3 * 53});
        QCOMPARE(ReadFileBytes(path("db/MASTER")).substr(2 * 53 + 36, 4), std::string("BEE "));
    }

    // One file with a symbol column: listed with the securities it holds, converted as many.
    // Of two files picked, one that cannot be opened is reported and the other opens alone; a
    // file whose symbol is emptied in the table is refused by OK.
    void aSymbolColumnAndFilesThatCannotBeUsed() {
        WriteFileBytes(path("all.csv"),
                       "AAA,083099,1.5,2,1,1.75,1000,50\n"
                       "BBB,083099,1.5,2,1,1.75,1000,50\n"
                       "AAA,083199,1.5,2,1,1.75,1000,50\n");
        QString listed;
        open("all.csv", [&](QDialog& d) {
            child<QCheckBox>(d, "symbolColumnCheck")->setChecked(true);
            setColumn(d, "symbolColumnEdit", "1");
            for (const char* name :
                 {"dateColumnEdit", "openColumnEdit", "highColumnEdit", "lowColumnEdit",
                  "closeColumnEdit", "volumeColumnEdit", "openIntColumnEdit"}) {
                auto* box = child<SpinEdit>(d, name);
                box->setText(QString::number(box->text().toInt() + 1));
            }
            QAbstractItemModel* files = child<QTableView>(d, "filesTable")->model();
            (void)QTest::qWaitFor([&] {
                listed = files->index(0, ui::FileList::kSymbol).data().toString();
                return listed.endsWith(QStringLiteral("securities"));
            });
            return confirmInto(d, qpath("db"), QString(), true);
        });
        QCOMPARE(listed, QStringLiteral("2 securities"));
        QVERIFY2(view().toPlainText().contains(QStringLiteral(": 2 added (3 price records)")),
                 qPrintable(view().toPlainText()));

        WriteFileBytes(path("one.csv"), kLine);
        WriteFileBytes(path("two.csv"), kLine);
        prompter().queueFiles({qpath("one.csv"), qpath("missing.csv")});
        prompter().queueDialog([](QDialog&) { return int(QDialog::Rejected); });
        action("openAction")->trigger();
        QCOMPARE(prompter().takeMessages().size(), 1);
        QVERIFY(view().toPlainText().endsWith(
            QStringLiteral("your file...\n\n\t") + qpath("one.csv") +
            QStringLiteral("\n\nlooks like this...\n\n") + QString::fromLatin1(kLine)));

        int result = -1;
        prompter().queueFiles({qpath("one.csv"), qpath("two.csv")});
        prompter().queueDialog([&](QDialog& d) {
            QAbstractItemModel* files = child<QTableView>(d, "filesTable")->model();
            files->setData(files->index(1, ui::FileList::kSymbol), QString());
            result = confirmInto(d, qpath("db"), QString(), false);
            return int(QDialog::Rejected);
        });
        action("openAction")->trigger();
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(prompter().takeMessages(),
                 QStringList{QStringLiteral("Type a symbol for the file two.csv.")});
    }

    // Add new days: a second run of a longer file appends its new day to the security it made.
    void theUpdateBoxAddsNewDaysToTheSecurityAlreadyThere() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", true); });
        WriteFileBytes(path("in.csv"), std::string(kLine) + "083199,1.5,2,1,1.75,1000,50\n");
        prompter().queueDialog([&](QDialog& d) {
            child<QCheckBox>(d, "updateCheck")->setChecked(true);
            return confirmInto(d, qpath("db"), "XYZ", false);
        });
        action("settingsAction")->trigger();
        QVERIFY2(view().toPlainText().contains(QStringLiteral("1 updated (1 price record")),
                 qPrintable(view().toPlainText()));
        QCOMPARE(ReadFileBytes(path("db/F1.DAT")).size(), std::size_t{3 * 28});
        QCOMPARE(stored("Update"), std::string("1"));
    }

    // Semicolons and decimal commas: refused with the comma delimiter, which keeps the dialog
    // open; with the semicolon the file converts as its decimal-point twin, and both are kept.
    void aEuropeanFileConvertsWithSemicolonAndDecimalComma() {
        WriteFileBytes(path("in.csv"), "083099;1,5;2;1;1,75;1000;50\n");
        int refusedResult = -1;
        open("in.csv", [&](QDialog& d) {
            child<QCheckBox>(d, "decimalCommaCheck")->setChecked(true);
            child<QRadioButton>(d, "commaRadio")->setChecked(true);
            refusedResult = confirmInto(d, qpath("db"), "EU", true);
            child<QRadioButton>(d, "semicolonRadio")->setChecked(true);
            return confirmInto(d, qpath("db"), "EU", true);
        });
        QCOMPARE(refusedResult, int(QDialog::Rejected));
        const QStringList messages = prompter().takeMessages();
        QVERIFY(!messages.isEmpty());
        QVERIFY(messages.front().startsWith("Numbers with a decimal comma cannot be read"));
        QCOMPARE(testing_support::ToHex(ReadFileBytes(path("db/F1.DAT")).substr(28, 28)),
                 testing_support::ToHex(testing_support::Hex(
                     "E0 E6 71 94 00 00 40 81 00 00 00 82 00 00 00 81 00 00 60 81 "
                     "00 00 7A 8A 00 00 48 86")));
        QCOMPARE(stored("Delimiter"), std::string("3"));
        QCOMPARE(stored("DecimalComma"), std::string("1"));
    }

    void removeSecurityTakesItOutAfterAsking() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", true); });
        // A security of XMASTER beside it, as another program lists one past MASTER's 255.
        msdb::XMaster xmaster;
        QVERIFY(xmaster
                    .AddRecord(msdb::MakeXMasterRecord(256, 0x7F, "BIG", "Big Company", {}, {},
                                                       msdb::Period::kDaily))
                    .ok());
        WriteFileBytes(path("db/XMASTER"), std::string(xmaster.bytes()));
        WriteFileBytes(path("db/F256.MWD"), ReadFileBytes(path("db/F1.DAT")));
        WriteFileBytes(path("db/F256.DOP"), ReadFileBytes(path("db/F1.DOP")));
        QString offered;
        QString symbol = QStringLiteral("XYZ");
        auto pick = [&](QDialog& d) {
            offered = child<QLineEdit>(d, "removeDirectoryEdit")->text();
            auto* list = child<QAbstractItemView>(d, "securityList");
            const QModelIndexList rows =
                list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, symbol);
            if (rows.size() == 1) {
                list->setCurrentIndex(rows.front());
            }
            child<QPushButton>(d, "okButton")->click();
            return d.result();
        };
        prompter().queueDialog(pick);  // asked, not confirmed: nothing happens
        action("removeAction")->trigger();
        QCOMPARE(offered, qpath("db"));  // the directory of the last run
        QCOMPARE(prompter().takeMessages().size(), 1);
        QVERIFY(FileExists(path("db/F1.DAT")));

        prompter().queueDialog(pick);
        prompter().queueAnswer(true);
        action("removeAction")->trigger();
        QCOMPARE(prompter().takeMessages(),
                 QStringList{QStringLiteral("Remove XYZ from ") + qpath("db") +
                             QStringLiteral("?\nIts price files are deleted.")});
        QVERIFY(!FileExists(path("db/F1.DAT")));
        QVERIFY(view().toPlainText().endsWith(QStringLiteral("Removed XYZ from ") + qpath("db") +
                                              QStringLiteral(".")));

        symbol = QStringLiteral("BIG");
        prompter().queueDialog(pick);
        prompter().queueAnswer(true);
        action("removeAction")->trigger();
        QCOMPARE(prompter().takeMessages().size(), 1);
        QVERIFY(!FileExists(path("db/F256.MWD")));
        QVERIFY(view().toPlainText().endsWith(QStringLiteral("Removed BIG from ") + qpath("db") +
                                              QStringLiteral(".")));
    }

    // Only a security the directory lists can be picked: a directory without one says why, and OK
    // never gets as far as the question.
    void removeSecurityNeverAsksAboutASecurityTheDirectoryLacks() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [&](QDialog& d) { return confirmInto(d, qpath("db"), "XYZ", true); });
        std::filesystem::create_directory(path("other"));
        QString problem;
        prompter().queueDialog([&](QDialog& d) {
            child<QLineEdit>(d, "removeDirectoryEdit")->setText(qpath("other"));
            auto* list = child<QAbstractItemView>(d, "securityList");
            list->setCurrentIndex(list->model()->index(0, 0));
            problem = child<QLabel>(d, "removeProblemLabel")->text();
            child<QPushButton>(d, "okButton")->click();
            return d.result();
        });
        prompter().queueAnswer(true);
        action("removeAction")->trigger();
        QCOMPARE(problem, "The directory " + qpath("other") + " holds no MASTER.");
        QCOMPARE(prompter().takeMessages(), QStringList());
        QVERIFY(FileExists(path("db/F1.DAT")));
    }

    void theDialogStartsFromTheStore() {
        WriteFileBytes(path("in.csv"), "30/08/1999\t1.75\n");
        store().WriteString("Setting", "DateFormat", "dd_mm_c");
        store().WriteInt("Setting", "Delimiter", 1);
        store().WriteInt("Setting", "Exist", 1);
        store().WriteInt("Setting", "OpenOn", 0);
        store().WriteInt("Setting", "HiOn", 0);
        store().WriteInt("Setting", "LoOn", 0);
        store().WriteInt("Setting", "VolOn", 0);
        store().WriteInt("Setting", "OIOn", 0);
        store().WriteInt("Setting", "CloCol", 2);
        store().WriteString("Setting", "Path", path("db"));
        store().WriteString("Setting", "Symbol", "ABC");
        open("in.csv", [](QDialog& d) {
            // A stored beginning of a name selects the first entry that begins with it.
            if (child<QComboBox>(d, "dateFormatCombo")->currentText() != "DD_MM_CCYY" ||
                !child<QRadioButton>(d, "tabRadio")->isChecked() ||
                child<SpinEdit>(d, "openColumnEdit")->isEnabled()) {
                return int(QDialog::Rejected);
            }
            child<QPushButton>(d, "okButton")->click();
            return d.result();
        });
        QVERIFY2(endsWithSuccess(), qPrintable(view().toPlainText()));
        QCOMPARE(view().dateFormat(), 6);
        QCOMPARE(stored("DateFormat"), std::string("DD_MM_CCYY"));
        QCOMPARE(ReadFileBytes(path("db/F1.DOP")),
                 std::string("\"DATE\",0,0\r\n\"CLOSE\",4,4\r\n"));
    }

    // The preview is the conversion's own reading: stored values, problem cells with their
    // reasons, and the whole file's summary, following each change of the settings.
    void thePreviewShowsTheFileAsItWillBeStored() {
        WriteFileBytes(path("prices.csv"),
                       "Date,Open,High,Low,Close,Adj Close,Volume\n"
                       "2024-01-02,187.15,188.44,183.89,185.64,184.94,82488700\n"
                       "2024-01-03,184.22,185.88,183.43,184.25,183.55,58414500\n"
                       "2024-01-04,182.15,183.09,180.88,181.91,n/a,71983600\n");
        QStringList seen;
        open("prices.csv", [&](QDialog& d) {
            auto* table = child<QTableView>(d, "previewTable");
            QAbstractItemModel* model = table->model();
            auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
                return model->index(row, column).data(role);
            };
            auto* summary = child<QLabel>(d, "summaryLabel");
            seen << QString::number(model->rowCount()) << QString::number(model->columnCount())
                 << model->headerData(5, Qt::Horizontal).toString() << cell(0, 0).toString()
                 << cell(2, 4).toString() << cell(2, 5).toString()
                 << model->headerData(0, Qt::Vertical).toString();
            (void)QTest::qWaitFor([&] { return summary->text().contains("No problems"); });
            seen << summary->text();
            // Volume taken from the Adj Close column: line 4's text is marked, stored as 0.
            setColumn(d, "volumeColumnEdit", "6");
            (void)QTest::qWaitFor([&] { return cell(2, 5, Qt::UserRole).toBool(); });
            seen << cell(2, 5).toString() << cell(2, 5, Qt::ToolTipRole).toString()
                 << QString::number(cell(1, 5, Qt::UserRole).toBool());
            (void)QTest::qWaitFor([&] { return summary->text().contains("1 problem."); });
            seen << summary->text();
            // Settings that cannot read the file at all say why in place of the summary.
            setColumn(d, "volumeColumnEdit", "1");
            (void)QTest::qWaitFor([&] { return model->columnCount() == 0; });
            seen << summary->text();
            setColumn(d, "volumeColumnEdit", "7");
            (void)QTest::qWaitFor([&] { return model->columnCount() == 6; });
            // A range of dates shows its records only; a date that is none says how to write it.
            auto* from = child<QLineEdit>(d, "fromEdit");
            from->setText("2024-01-03");
            (void)QTest::qWaitFor([&] { return summary->text().startsWith("The dates chosen"); });
            seen << QString::number(model->rowCount()) << summary->text();
            from->setText("2024-01-32");
            (void)QTest::qWaitFor([&] { return model->columnCount() == 0; });
            seen << summary->text();
            from->clear();
            (void)QTest::qWaitFor([&] { return model->columnCount() == 6; });
            // A date format that reads none of the dates marks every date.
            child<QComboBox>(d, "dateFormatCombo")->setCurrentText("MMDDYY");
            (void)QTest::qWaitFor([&] { return cell(0, 0, Qt::UserRole).toBool(); });
            seen << cell(0, 0, Qt::ToolTipRole).toString();
            return int(QDialog::Rejected);
        });
        QCOMPARE(seen,
                 (QStringList{
                     "3", "6", "Volume", "2024-01-02", "181.91", "71983600", "line 2",
                     "The whole file: 3 records, 2024-01-02 to 2024-01-04.\nNo problems.",
                     QString::fromUtf8("\u26a0 0"), "line 4, volume \"n/a\": is not a number", "0",
                     "The whole file: 3 records, 2024-01-02 to 2024-01-04.\n1 problem.\n"
                     "The first: Line 4, volume \"n/a\": is not a number",
                     "Duplicate columns specified\nCorrect or disable", "2",
                     "The dates chosen: 2 records, 2024-01-03 to 2024-01-04.\nNo problems.",
                     "Write the date as YYYY-MM-DD, from 1961 to 2099, or leave it empty.",
                     "line 2, date \"2024-01-02\": has more digits than MMDDYY reads\nline 2, date "
                     "\"2024-01-02\": holds other characters than digits, but MMDDYY is "
                     "written in digits only"}));
        QVERIFY(prompter().takeMessages().isEmpty());
    }

    // A file that lists the newest day first is previewed oldest first, as it will be stored.
    void thePreviewOfANewestFirstFileShowsTheStoredOrder() {
        WriteFileBytes(path("new.csv"), "090299,1,2,1,2,5,6\n090199,1,2,1,2,5,6\n");
        QStringList seen;
        open("new.csv", [&](QDialog& d) {
            QAbstractItemModel* model = child<QTableView>(d, "previewTable")->model();
            seen << model->index(0, 0).data().toString()
                 << model->headerData(0, Qt::Vertical).toString()
                 << QString::number(child<QLabel>(d, "orderNoteLabel")->isVisibleTo(&d));
            return int(QDialog::Rejected);
        });
        QCOMPARE(seen, (QStringList{"1999-09-01", "line 2", "1"}));
    }

    // A newcomer opens each shape of download in turn and presses OK: each converts to the same
    // bytes as the detected settings give (the settings `korvex-cli convert --detect` takes).
    void eachDownloadShapeConvertsByPressingOk() {
        int n = 0;
        for (const testing_support::DownloadShape& shape : testing_support::DownloadShapes()) {
            const std::string name = "shape" + std::to_string(++n);
            std::filesystem::create_directory(path(name.c_str()));
            WriteFileBytes(path((name + ".txt").c_str()), shape.input);
            QString detection;
            open((name + ".txt").c_str(), [&](QDialog& d) {
                detection = child<QLabel>(d, "detectionLabel")->text();
                child<QLineEdit>(d, "directoryEdit")->setText(qpath(name.c_str()));
                child<QRadioButton>(d, "makeNewMasterRadio")->setChecked(true);
                child<QPushButton>(d, "okButton")->click();
                return d.result();
            });
            QVERIFY2(detection.startsWith("Settings detected from the file"),
                     qPrintable(QString::fromLatin1(shape.name) + ": " + detection));
            QVERIFY2(endsWithSuccess(), qPrintable(QString::fromLatin1(shape.name) + ": " +
                                                   view().toPlainText().right(300)));

            // The same file converted by a job with the detected settings.
            engine::ConversionSettings settings;
            engine::ApplyLayout(engine::DetectLayoutOfText(shape.input).layout, &settings);
            settings.inputPath = path((name + ".txt").c_str());
            settings.directory = path(name.c_str()) + "/expected";
            std::filesystem::create_directory(settings.directory);
            settings.master = engine::MasterChoice::kMakeNew;
            settings.symbol = "X";
            testing_support::RecordingNotifier notifier;
            engine::JobServices services;
            services.notifier = &notifier;
            engine::ConversionJob job(settings, services);
            QCOMPARE(job.Run(), 0);
            QCOMPARE(ReadFileBytes(path((name + "/F1.DAT").c_str())),
                     ReadFileBytes(settings.directory + "/F1.DAT"));
            QCOMPARE(ReadFileBytes(path((name + "/F1.DOP").c_str())),
                     ReadFileBytes(settings.directory + "/F1.DOP"));
        }
        QCOMPARE(n, 9);
    }

    // An opened file starts from what detection proposes, and its symbol from its name.
    void anOpenedFileStartsFromItsDetectedSettings() {
        WriteFileBytes(path("dax.txt"),
                       "Date;Open;High;Low;Close;Volume\n"
                       "15.01.2024;16750,5;16900,25;16700;16769,36;70500\n"
                       "16.01.2024;16769,36;16800;16500,5;16538,39;80200\n");
        store().WriteInt("Setting", "Delimiter", 1);
        store().WriteString("Setting", "Symbol", "LASTRUN");
        QStringList seen;
        open("dax.txt", [&](QDialog& d) {
            seen << child<QLabel>(d, "detectionLabel")->text().section('.', 0, 0)
                 << child<QLineEdit>(d, "symbolEdit")->text()
                 << QString::number(child<QRadioButton>(d, "semicolonRadio")->isChecked())
                 << QString::number(child<QCheckBox>(d, "decimalCommaCheck")->isChecked())
                 << child<QComboBox>(d, "dateFormatCombo")->currentText();
            // What the user typed stays when Detect proposes the settings again.
            child<QRadioButton>(d, "commaRadio")->setChecked(true);
            child<QLineEdit>(d, "nameEdit")->setText("DAX");
            child<QLineEdit>(d, "fromEdit")->setText("2024-01-15");
            child<QPushButton>(d, "detectButton")->click();
            seen << QString::number(child<QRadioButton>(d, "semicolonRadio")->isChecked())
                 << child<QLineEdit>(d, "nameEdit")->text()
                 << child<QLineEdit>(d, "fromEdit")->text();
            return confirmInto(d, qpath("db"), child<QLineEdit>(d, "symbolEdit")->text(), true);
        });
        QCOMPARE(seen, (QStringList{"Settings detected from the file", "DAX", "1", "1",
                                    "DD_MM_CCYY", "1", "DAX", "2024-01-15"}));
        QVERIFY2(endsWithSuccess(), qPrintable(view().toPlainText()));
        QCOMPARE(ReadFileBytes(path("db/MASTER")).substr(53 + 36, 4), std::string("DAX "));
    }

    // A refused run brings the dialog back with what was typed, the reason and the focus on the
    // setting concerned; mended there, the run goes through.
    void aRefusedRunBringsTheDialogBack() {
        WriteFileBytes(path("in.csv"), kLine);
        QStringList seen;
        auto mended = [&](QDialog& d) {
            d.show();
            seen << child<QLineEdit>(d, "nameEdit")->text()
                 << child<QLineEdit>(d, "symbolEdit")->text()
                 << child<QLabel>(d, "refusalLabel")->text() << d.focusWidget()->objectName();
            d.hide();
            return confirmInto(d, qpath("db"), "XYZ", true);
        };
        open("in.csv", [&](QDialog& d) {
            prompter().queueDialog(mended);
            child<QLineEdit>(d, "nameEdit")->setText("Typed Name");
            return confirmInto(d, qpath("db"), "XYZ", false);  // no MASTER there yet
        });
        QCOMPARE(prompter().takeMessages(),
                 QStringList{"Path specified does not point to a Master file"});
        QCOMPARE(seen,
                 (QStringList{"Typed Name", "XYZ",
                              "Path specified does not point to a Master file\nThe directory: " +
                                  qpath("db"),
                              "useExistingMasterRadio"}));
        QVERIFY2(endsWithSuccess(QStringLiteral("Conversion failed.\nPath specified does not point "
                                                "to a Master file\nThe directory: ") +
                                 qpath("db") + QStringLiteral("\nNothing in ") + qpath("db") +
                                 QStringLiteral(" was changed.\n\n")),
                 qPrintable(view().toPlainText()));
    }

    // "Path does not exist" goes once Create Directory has made the directory.
    void aMissingDirectoryRefusalGoesOnceTheDirectoryIsMade() {
        WriteFileBytes(path("in.csv"), kLine);
        QList<bool> shown;
        open("in.csv", [&](QDialog& d) {
            prompter().queueDialog([&](QDialog& again) {
                auto* refusal = child<QLabel>(again, "refusalLabel");
                shown << refusal->isVisibleTo(&again);
                prompter().queueAnswer(true);
                child<QPushButton>(again, "createDirectoryButton")->click();
                shown << refusal->isVisibleTo(&again);
                return confirmInto(again, qpath("db/missing"), "XYZ", true);
            });
            return confirmInto(d, qpath("db/missing"), "XYZ", true);
        });
        QCOMPARE(prompter().takeMessages(),
                 (QStringList{"Path does not exist", "The directory " + qpath("db/missing") +
                                                         " does not exist.\nCreate it?"}));
        QCOMPARE(shown, (QList<bool>{true, false}));
        QVERIFY(FileExists(path("db/missing/MASTER")));
    }

    // Under the directory the dialog says what the directory holds, and a missing one can be
    // made from the dialog.
    void theDirectoryLineSaysWhatTheDirectoryHolds() {
        WriteFileBytes(path("in.csv"), kLine);
        QStringList seen;
        QList<bool> follows;
        auto status = [&](QDialog& d) {
            auto* label = child<QLabel>(d, "directoryStatusLabel");
            seen << label->text() + (label->property("warning").toBool() ? " [!]" : "");
        };
        open("in.csv", [&](QDialog& d) {
            auto* edit = child<QLineEdit>(d, "directoryEdit");
            edit->setText(qpath("db/new"));
            // A missing directory calls for a new MASTER; the user may choose otherwise.
            follows << child<QRadioButton>(d, "makeNewMasterRadio")->isChecked()
                    << child<QCheckBox>(d, "emasterCheck")->isEnabled();
            child<QRadioButton>(d, "useExistingMasterRadio")->setChecked(true);
            follows << child<QCheckBox>(d, "emasterCheck")->isEnabled();
            status(d);
            auto* create = child<QPushButton>(d, "createDirectoryButton");
            seen << QString::number(create->isVisibleTo(&d));
            prompter().queueAnswer(true);
            create->click();
            status(d);
            child<QRadioButton>(d, "makeNewMasterRadio")->setChecked(true);
            status(d);
            return confirmInto(d, qpath("db/new"), "XYZ", true);
        });
        QVERIFY2(endsWithSuccess(), qPrintable(view().toPlainText()));
        prompter().queueDialog([&](QDialog& d) {
            child<QLineEdit>(d, "directoryEdit")->setText(qpath("db/new"));
            follows << child<QRadioButton>(d, "useExistingMasterRadio")->isChecked();  // it has one
            child<QRadioButton>(d, "useExistingMasterRadio")->setChecked(true);
            status(d);
            child<QRadioButton>(d, "makeNewMasterRadio")->setChecked(true);
            status(d);
            child<QLineEdit>(d, "directoryEdit")->setText(qpath("in.csv"));
            status(d);
            return int(QDialog::Rejected);
        });
        action("settingsAction")->trigger();
        QCOMPARE(prompter().takeMessages(),
                 QStringList{"The directory " + qpath("db/new") + " does not exist.\nCreate it?"});
        QCOMPARE(seen, (QStringList{
                           "The directory does not exist.\nUse Existing Master needs a directory "
                           "that holds a MASTER. [!]",
                           "1",
                           "The directory exists and holds no MASTER.\nUse Existing Master "
                           "will be refused: choose Make New Master to start one. [!]",
                           "The directory exists and holds no MASTER.",
                           "The directory holds a MASTER that lists 1 security.",
                           "The directory holds a MASTER that lists 1 security.\nMake New "
                           "Master will be refused: choose Use Existing Master to add to it. "
                           "[!]",
                           "This is a file, not a directory. [!]"}));
        QCOMPARE(follows, (QList<bool>{true, true, false, true}));
    }

    // Every control has its own Alt key, F1 opens the dialog's help page, and Tab enters a radio
    // group at its checked button.
    void theDialogIsUsableFromTheKeyboard() {
        WriteFileBytes(path("in.csv"), kLine);
        QStringList seen;
        open("in.csv", [&](QDialog& d) {
            QSet<QChar> keys;
            QStringList missing;
            auto take = [&](const QString& text) {
                const qsizetype at = text.indexOf(QLatin1Char('&'));
                if (at < 0 || at + 1 >= text.size()) {
                    missing << text;
                } else if (keys.contains(text[at + 1].toLower())) {
                    missing << "twice: " + text;
                } else {
                    keys.insert(text[at + 1].toLower());
                }
            };
            for (QAbstractButton* button : d.findChildren<QAbstractButton*>()) {
                if (button->objectName() != "okButton" && button->objectName() != "cancelButton" &&
                    !button->text().isEmpty()) {
                    take(button->text());
                }
            }
            for (QLabel* label : d.findChildren<QLabel*>()) {
                if (label->buddy() != nullptr) {
                    take(label->text());
                }
            }
            seen << missing.join("; ");
            d.show();
            QApplication::setActiveWindow(&d);
            child<QRadioButton>(d, "tabRadio")->setChecked(true);
            child<QCheckBox>(d, "openIntCheck")->setChecked(true);
            child<SpinEdit>(d, "openIntColumnEdit")->setEnabled(true);
            child<SpinEdit>(d, "openIntColumnEdit")->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << (QApplication::focusWidget() != nullptr
                         ? QApplication::focusWidget()->objectName()
                         : QString("none"));
            QTest::keyClick(&d, Qt::Key_F1);
            auto* help = d.findChild<HelpWindow*>("dialogHelpWindow");
            seen << QString::number(help != nullptr && help->isVisible());
            if (help != nullptr) {
                seen << help->browser()->source().fileName();
                help->close();
            }
            d.hide();
            return int(QDialog::Rejected);
        });
        QCOMPARE(seen, (QStringList{"", "tabRadio", "1", "settings.html"}));
    }

    void dialogChecksInTheirOrder() {
        WriteFileBytes(path("in.csv"), kLine);
        QStringList seen;
        openThenSettings("in.csv", [&](QDialog& d) {
            auto& dialog = static_cast<SettingsDialog&>(d);
            auto ok = child<QPushButton>(d, "okButton");
            // Neither symbol nor directory: the symbol is asked for first.
            child<QLineEdit>(d, "symbolEdit")->clear();
            ok->click();
            // A switched-off field is checked too, and takes the focus.
            child<QCheckBox>(d, "highCheck")->click();  // unticked: its column stays, greyed out
            setColumn(d, "openIntColumnEdit", "25");
            ok->click();
            seen << QString::number(child<SpinEdit>(d, "highColumnEdit")->text().toInt());
            // Duplicates among the fields switched on only.
            setColumn(d, "openIntColumnEdit", "3");
            setColumn(d, "dateColumnEdit", "3");
            child<QLineEdit>(d, "symbolEdit")->setText("ab ");
            ok->click();
            child<QCheckBox>(d, "openIntCheck")->click();
            ok->click();  // the date's 3 is free now, but there is no directory
            seen << child<QLineEdit>(d, "symbolEdit")->text();
            child<QLineEdit>(d, "nameEdit")->setText(QString(17, QLatin1Char('n')));
            child<QLineEdit>(d, "directoryEdit")->setText(qpath("db"));
            ok->click();
            child<QLineEdit>(d, "nameEdit")->setText("Name");
            // A stored format that is not in the list selects nothing.
            child<QComboBox>(d, "dateFormatCombo")->setCurrentIndex(-1);
            child<QRadioButton>(d, "makeNewMasterRadio")->setChecked(true);
            ok->click();
            seen << QString::number(dialog.result());
            return d.result();
        });
        QCOMPARE(prompter().takeMessages(),
                 (QStringList{"You did not enter a valid symbol",
                              "Please enter a whole number from 1 to 20.",
                              "Duplicate columns specified\nCorrect or disable",
                              "Please enter path", "Please enter no more than 16 characters.",
                              "No date format is chosen.\nChoose one of the date formats "
                              "of the list."}));
        QCOMPARE(seen, (QStringList{"3", "AB", QString::number(QDialog::Accepted)}));
        QCOMPARE(view().dateFormat(), 0);  // none chosen from the list
        QCOMPARE(stored("DateFormat"), std::string(""));
        QVERIFY(view().toPlainText().endsWith(
            QStringLiteral("Conversion failed.\nNo date format is chosen.\nChoose one of the date "
                           "formats of the list.\nNothing in ") +
            qpath("db") + QStringLiteral(" was changed.")));
    }

    void skipRowsCheckFollowsItsReadState() {
        WriteFileBytes(path("in.csv"), kLine);
        store().WriteInt("Setting", "SkipOn", 1);
        store().WriteInt("Setting", "SkipRows", 5);
        QStringList seen;
        openThenSettings("in.csv", [&](QDialog& d) {
            auto* rows = child<SpinEdit>(d, "skipRowsEdit");
            seen << rows->text() << (rows->isEnabled() ? "on" : "off");
            child<QCheckBox>(d, "skipRowsCheck")->click();
            seen << rows->text() << (rows->isEnabled() ? "on" : "off");
            // With a column out of range the box is not read: the rows keep the earlier state.
            setColumn(d, "dateColumnEdit", "0");
            child<QCheckBox>(d, "skipRowsCheck")->click();
            seen << (rows->isEnabled() ? "on" : "off");
            return int(QDialog::Rejected);
        });
        QCOMPARE(seen, (QStringList{"5", "on", "5", "off", "off"}));
        QCOMPARE(prompter().takeMessages(),
                 QStringList{"Please enter a whole number from 1 to 20."});
    }

    // Browse... opens the platform's folder chooser on the typed directory and takes the folder
    // chosen, without changing the process's working directory.
    void browseTakesTheChosenDirectory() {
        WriteFileBytes(path("in.csv"), kLine);
        std::filesystem::create_directory(path("db/new"));
        const QString before = QDir::currentPath();
        prompter().queueFile(qpath("in.csv"));
        prompter().queueDialog([&](QDialog& d) {
            child<QLineEdit>(d, "directoryEdit")->setText(qpath("db"));
            prompter().queueFile(qpath("db/new"));
            child<QPushButton>(d, "browseButton")->click();
            child<QLineEdit>(d, "symbolEdit")->setText("B");
            child<QRadioButton>(d, "makeNewMasterRadio")->setChecked(true);
            child<QPushButton>(d, "okButton")->click();
            return d.result();
        });
        action("openAction")->trigger();
        QCOMPARE(prompter().lastFolder(), qpath("db"));
        QVERIFY(FileExists(path("db/new/MASTER")));
        QCOMPARE(stored("Path"), path("db/new"));
        QCOMPARE(QDir::currentPath(), before);
    }

    void clearWindowKeepsThePathAndWritesNothing() {
        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [](QDialog&) { return int(QDialog::Rejected); });
        action("clearWindowAction")->trigger();
        QCOMPARE(view().toPlainText(), QString());
        QVERIFY(action("settingsAction")->isEnabled());
        QCOMPARE(ReadFileBytes(path("in.csv")), std::string(kLine));
        QCOMPARE(view().inputPath(), qpath("in.csv"));
        // No command only imitates one: nothing to save, no new document that wipes the window.
        QVERIFY(mainWindow().findChild<QAction*>("saveAction") == nullptr);
        QVERIFY(mainWindow().findChild<QAction*>("newAction") == nullptr);
    }

    void recentFilesReopenAndForgetMissingFiles() {
        WriteFileBytes(path("a.csv"), kLine);
        WriteFileBytes(path("b.csv"), kLine);
        open("a.csv", [](QDialog&) { return int(QDialog::Rejected); });
        open("b.csv", [](QDialog&) { return int(QDialog::Rejected); });
        QCOMPARE(app_->fileOpener()->recentFiles(), (QStringList{qpath("b.csv"), qpath("a.csv")}));
        prompter().queueDialog([](QDialog&) { return int(QDialog::Rejected); });
        action("recentFileAction2")->trigger();
        QCOMPARE(view().inputPath(), qpath("a.csv"));
        QCOMPARE(app_->fileOpener()->recentFiles().first(), qpath("a.csv"));

        std::filesystem::remove(path("b.csv"));
        action("recentFileAction2")->trigger();
        QCOMPARE(prompter().takeMessages().size(), 1);
        QCOMPARE(app_->fileOpener()->recentFiles(), QStringList{qpath("a.csv")});
    }

    void aFileOnTheCommandLineIsOpenedAtStart() {
        WriteFileBytes(path("in.csv"), kLine);
        app_.reset();
        prompter().queueDialog(
            [&](QDialog& d) { return confirmInto(d, qpath("db"), "CMD", true); });
        startApp(qpath("in.csv"));
        QVERIFY(endsWithSuccess());

        // A missing file is reported and the program goes on with an empty window.
        app_.reset();
        startApp(qpath("missing.csv"));
        const QStringList messages = prompter().takeMessages();
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith("Cannot open the file " + qpath("missing.csv") + ".\n"));
        QVERIFY(mainWindow().isVisible());
        QCOMPARE(view().toPlainText(), QString());
        QVERIFY(!action("settingsAction")->isEnabled());
    }

    void placementIsRestoredAndSaved() {
        store().WriteInt("Screen", "x", 30);
        store().WriteInt("Screen", "y", 40);
        store().WriteInt("Screen", "cx", 500);
        store().WriteInt("Screen", "cy", 300);
        // Saved and restored as the frame's corner and the size inside the frame: a window
        // manager's frame must not make it grow from one start to the next.
        for (int start = 0; start < 2; ++start) {
            app_.reset();
            startApp();
            QCOMPARE(mainWindow().pos(), QPoint(30, 40));
            QCOMPARE(mainWindow().size(), QSize(500, 300));
            mainWindow().close();
            QCOMPARE(store().ReadInt("Screen", "x", -1), 30);
            QCOMPARE(store().ReadInt("Screen", "y", -1), 40);
            QCOMPARE(store().ReadInt("Screen", "cx", -1), 500);
            QCOMPARE(store().ReadInt("Screen", "cy", -1), 300);
        }
        mainWindow().show();
        mainWindow().move(-20, -5);
        mainWindow().resize(400, 200);
        mainWindow().close();
        QCOMPARE(store().ReadInt("Screen", "x", -1), 0);
        QCOMPARE(store().ReadInt("Screen", "y", -1), 0);
        QCOMPARE(store().ReadInt("Screen", "cx", -1), 400);
        QCOMPARE(store().ReadInt("Screen", "cy", -1), 200);

        mainWindow().show();
        mainWindow().showMinimized();
        store().WriteInt("Screen", "cx", 123);
        mainWindow().savePlacement();
        QCOMPARE(store().ReadInt("Screen", "cx", -1), mainWindow().isMinimized() ? 123 : 400);

        // A maximised window comes back maximised, its normal frame kept for when it is restored.
        store().WriteInt("Screen", "cx", 500);
        store().WriteInt("Screen", "Maximized", 1);
        app_.reset();
        startApp();
        QVERIFY(mainWindow().windowState().testFlag(Qt::WindowMaximized));
        mainWindow().close();
        QCOMPARE(store().ReadInt("Screen", "Maximized", -1), mainWindow().isMaximized() ? 1 : 0);
        QCOMPARE(store().ReadInt("Screen", "cx", -1), 500);
    }

    // Each file starts clean: its own symbol, no name, the master choice its directory calls for;
    // the session log keeps what came before; the file open already is read afresh.
    void eachFileStartsCleanAndTheLogKeepsEarlierRuns() {
        WriteFileBytes(path("aapl.csv"), kLine);
        WriteFileBytes(path("msft.csv"), kLine);
        open("aapl.csv", [&](QDialog& d) {
            child<QLineEdit>(d, "nameEdit")->setText("Apple Inc");
            return confirmInto(d, qpath("db"), "AAPL", true);
        });
        QVERIFY2(endsWithSuccess(), qPrintable(view().toPlainText()));
        QStringList seen;
        auto look = [&](QDialog& d) {
            seen << child<QLineEdit>(d, "symbolEdit")->text()
                 << child<QLineEdit>(d, "nameEdit")->text()
                 << QString::number(child<QRadioButton>(d, "useExistingMasterRadio")->isChecked());
            return int(QDialog::Rejected);
        };
        open("msft.csv", look);
        prompter().queueDialog(look);
        action("settingsAction")->trigger();
        QCOMPARE(seen, (QStringList{"MSFT", "", "1", "MSFT", "", "1"}));
        QVERIFY(view().toPlainText().contains(QStringLiteral("Converted 1 price records of AAPL")));
        QCOMPARE(prompter().lastFilter(),
                 QStringLiteral("Price files (*.csv *.txt *.prn *.asc);;All files (*)"));
        QCOMPARE(prompter().lastFolder(), QString::fromStdString(dir_->path()));

        WriteFileBytes(path("msft.csv"), "090199,1,2,1,2,5,6\n");
        open("msft.csv", [](QDialog&) { return int(QDialog::Rejected); });
        QVERIFY(view().toPlainText().endsWith(QStringLiteral("090199,1,2,1,2,5,6\n")));
    }

    void anOldProfileIsImportedOnTheFirstStartOnly() {
        app_.reset();
        TempDir fresh;
        std::filesystem::create_directory(fresh / "config");
        WriteFileBytes(fresh / "config/Korvex.INI", "[Screen]\nx=10\ny=20\ncx=300\ncy=200\n");
        settingsPath_ = fresh / "config/Korvex.ini";
        startApp();
        QCOMPARE(mainWindow().geometry().size(), QSize(300, 200));
        QCOMPARE(mainWindow().pos(), QPoint(10, 20));
        app_.reset();
        WriteFileBytes(fresh / "config/Korvex.INI", "[Screen]\nx=50\n");
        startApp();
        QCOMPARE(mainWindow().pos(), QPoint(10, 20));
        app_.reset();
    }

    void statusBarAndCommands() {
        auto* idle = child<QLabel>(mainWindow(), "idleText");
        QCOMPARE(idle->text(), QStringLiteral("For Help, press F1"));
        QCOMPARE(action("openAction")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(action("openAction")->statusTip(), QStringLiteral("Open an existing document"));
        QCOMPARE(action("settingsAction")->toolTip(), QStringLiteral("Settings"));
        QCOMPARE(action("helpAction")->shortcut(), QKeySequence(QStringLiteral("F1")));
    }

    // The keys work while the text pane has the focus, and no two commands share one.
    void keysReachTheirCommands() {
        QSet<QKeySequence> keys;
        for (QAction* action : mainWindow().findChildren<QAction*>()) {
            for (const QKeySequence& key : action->shortcuts()) {
                QVERIFY2(!keys.contains(key), qPrintable(key.toString()));
                keys.insert(key);
            }
        }
        QApplication::setActiveWindow(&mainWindow());
        QVERIFY(QTest::qWaitForWindowActive(&mainWindow()));
        view().setFocus();

        WriteFileBytes(path("in.csv"), kLine);
        open("in.csv", [](QDialog&) { return int(QDialog::Rejected); });
        bool asked = false;
        prompter().queueDialog([&](QDialog& d) {
            asked = d.objectName() == QStringLiteral("conversionSettingsDialog");
            return int(QDialog::Rejected);
        });
        QTest::keyClick(&view(), Qt::Key_T, Qt::ControlModifier);
        QVERIFY(asked);
        QVERIFY(!view().toPlainText().isEmpty());
        QTest::keyClick(&view(), Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(view().toPlainText(), QString());
        QTest::keyClick(&view(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!mainWindow().isVisible());
    }

    void theFileIsShownInAFixedFontWithoutWrapping() {
        WriteFileBytes(path("in.csv"), std::string(250, '9') + "\n" + kLine);
        open("in.csv", [](QDialog&) { return int(QDialog::Rejected); });
        QCOMPARE(view().font().family(),
                 QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
        QCOMPARE(view().lineWrapMode(), QPlainTextEdit::NoWrap);
        mainWindow().resize(400, 300);
        QApplication::processEvents();
        for (QTextBlock block = view().document()->begin(); block.isValid(); block = block.next()) {
            QVERIFY(block.layout()->lineCount() <= 1);
        }
        QVERIFY(view().horizontalScrollBar()->maximum() > 0);
    }

    void recentFilesTellFilesOfTheSameNameApart() {
        QCOMPARE(MainWindow::recentFileLabels(
                     {"/h/u/data/ibm.csv", "/h/u/old/ibm.csv", "/h/u/old/msft.csv"}),
                 (QStringList{"data/ibm.csv", "old/ibm.csv", "msft.csv"}));
        QCOMPARE(MainWindow::recentFileLabels({"/a/x/ibm.csv", "/b/x/ibm.csv", "/x/ibm.csv"}),
                 (QStringList{"a/x/ibm.csv", "b/x/ibm.csv", "/x/ibm.csv"}));
        // A long ending is cut in the middle.
        const QString folder = QString(40, 'e');
        const QStringList cut = MainWindow::recentFileLabels(
            {"/" + QString(40, 'd') + "/" + folder + "/ibm.csv", "/" + folder + "/ibm.csv"});
        QCOMPARE(cut, (QStringList{QString(20, 'd') + QChar(0x2026) + QString(31, 'e') + "/ibm.csv",
                                   "/" + folder + "/ibm.csv"}));

        std::filesystem::create_directory(path("data"));
        std::filesystem::create_directory(path("old"));
        WriteFileBytes(path("data/a&b.csv"), kLine);
        WriteFileBytes(path("old/a&b.csv"), kLine);
        open("data/a&b.csv", [](QDialog&) { return int(QDialog::Rejected); });
        open("old/a&b.csv", [](QDialog&) { return int(QDialog::Rejected); });
        QCOMPARE(action("recentFileAction1")->text(), QStringLiteral("&1 old/a&&b.csv"));
        QCOMPARE(action("recentFileAction2")->text(), QStringLiteral("&2 data/a&&b.csv"));
        QCOMPARE(action("recentFileAction2")->statusTip(), QStringLiteral("Open this document"));
    }
};

QTEST_MAIN(GuiTest)
#include "GuiTest.moc"
