// The Conversion Settings dialog as the main window opens it: where it starts from, its preview,
// its directory line, its checks and its keyboard.
#include "tests/app/GuiFixture.h"

class GuiDialogTest : public GuiFixture {
    Q_OBJECT

private slots:
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
                     QString::fromUtf8("\u26a0 ?"), "line 4, volume \"n/a\": is not a number", "0",
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
};

QTEST_MAIN(GuiDialogTest)
#include "GuiDialogTest.moc"
