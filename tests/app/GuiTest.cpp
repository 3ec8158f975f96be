// Conversions through the desktop program's main window: opening, the answers to its questions,
// several files, updates, removal, and what stays in the log.
#include "tests/app/GuiFixture.h"

class GuiTest : public GuiFixture {
    Q_OBJECT

private slots:
    void openingPreviewsConvertsAndStoresTheSettings() {
        WriteFileBytes(path("in.csv"), kLine);
        QVERIFY(!action("settingsAction")->isEnabled());
        open("in.csv", [&](QDialog& d) { return confirmInto(d, qpath("db"), "xyz  ", true); });

        QCOMPARE(view().toPlainText(),
                 "To help you with the conversion settings, your file...\n\n\t" + qpath("in.csv") +
                     "\n\nlooks like this...\n\n083099,1.5,2,1,1.75,1000,50\n\nConversion "
                     "completed successfully!\nConverted 1 price record of XYZ into " +
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
            int column = 2;
            for (const char* name :
                 {"dateColumnEdit", "openColumnEdit", "highColumnEdit", "lowColumnEdit",
                  "closeColumnEdit", "volumeColumnEdit", "openIntColumnEdit"}) {
                setColumn(d, name, QString::number(column++));
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
            // A file whose ticker column detection finds is a run of its securities.
            QVERIFY2(endsWithSuccess() || view().toPlainText().contains(
                                              QStringLiteral("Securities of ") +
                                              qpath(name.c_str()) + QStringLiteral(": 1 added")),
                     qPrintable(QString::fromLatin1(shape.name) + ": " +
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
        QVERIFY(view().toPlainText().contains(QStringLiteral("Converted 1 price record of AAPL")));
        QCOMPARE(prompter().lastFilter(),
                 QStringLiteral("Price files (*.csv *.txt *.prn *.asc);;All files (*)"));
        QCOMPARE(prompter().lastFolder(), QString::fromStdString(dir_->path()));

        WriteFileBytes(path("msft.csv"), "090199,1,2,1,2,5,6\n");
        open("msft.csv", [](QDialog&) { return int(QDialog::Rejected); });
        QVERIFY(view().toPlainText().endsWith(QStringLiteral("090199,1,2,1,2,5,6\n")));
    }
};

QTEST_MAIN(GuiTest)
#include "GuiTest.moc"
