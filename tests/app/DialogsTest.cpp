// The directory chooser, the About box with its links, the help window, and how the Conversion
// Settings dialog serves the keyboard and a small screen.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <filesystem>
#include <functional>

#include "app/AboutDialog.h"
#include "app/HelpWindow.h"
#include "app/KorvexApp.h"
#include "app/MainWindow.h"
#include "app/Prompter.h"
#include "app/SessionView.h"
#include "app/SettingsDialog.h"
#include "app/SpinEdit.h"
#include "tests/support/TestSupport.h"

using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

QString qString(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir_;
    QStringList opened_;
    bool openSucceeds_ = true;

    Prompter& prompter() { return Prompter::instance(); }

    // Opens the settings dialog over a file of three days whose last volume is no number, with
    // every field on in columns 1 to 7 and the rows to skip on, and hands it, shown and active, to
    // `use` in place of the user.
    void withSettingsDialog(const std::function<void(SettingsDialog&)>& use,
                            SessionView* view = nullptr) {
        WriteFileBytes(*dir_ / "in.csv",
                       "2024-01-02,1,2,0.5,1.5,100,5\n"
                       "2024-01-03,1,2,0.5,1.5,200,5\n"
                       "2024-01-04,1,2,0.5,1.5,n/a,5\n");
        SettingsDialog dialog;
        dialog.setSessionView(view);
        dialog.setInputPath(qString(*dir_ / "in.csv"));
        ui::FormValues form;
        form.delimiter = 0;
        form.dateFormat = "CCYY_MM_DD";
        form.skipOn = true;
        int column = 0;
        for (engine::FieldSetting& field : form.fields.values) {
            field = {true, ++column};
        }
        dialog.setForm(form);
        prompter().queueDialog([&](QDialog&) {
            dialog.show();
            QApplication::setActiveWindow(&dialog);
            if (QTest::qWaitForWindowActive(&dialog)) {
                use(dialog);
            } else {
                QTest::qFail("the settings dialog did not become active", __FILE__, __LINE__);
            }
            dialog.hide();
            return int(QDialog::Rejected);
        });
        dialog.run();
    }

private slots:
    void init() {
        dir_ = std::make_unique<TempDir>();
        prompter().setScripted(true);
        opened_.clear();
        openSucceeds_ = true;
        AboutDialog::setLinkOpener([this](const QUrl& url) {
            opened_ << url.toString();
            return openSucceeds_;
        });
    }

    void cleanup() {
        QVERIFY2(prompter().takeMessages().isEmpty(), "a message was not looked at");
        prompter().setScripted(false);
        dir_.reset();
    }

    void aboutBoxLinksOpenAndRememberTheirVisit() {
        bool emailVisited = false;
        bool webVisited = false;
        {
            AboutDialog about(&emailVisited, &webVisited);
            QCOMPARE(about.windowTitle(), QStringLiteral("About Korvex"));
            QCOMPARE(about.findChild<QLabel*>("versionText")->text(),
                     QStringLiteral("Korvex Version 1.4"));
            QVERIFY(about.findChild<QLabel*>("legalText")->text().contains("Copyright"));
            QLabel* email = about.emailLink();
            QVERIFY(email->text().contains(QStringLiteral("color: #0000ff")));
            QTest::mouseClick(email, Qt::LeftButton);
            QTest::mouseClick(email, Qt::LeftButton);
            QCOMPARE(opened_, (QStringList{"mailto:korvex@halvorn.example",
                                           "mailto:korvex@halvorn.example"}));
            QCOMPARE(emailVisited, true);
            QVERIFY(email->text().contains(QStringLiteral("color: #800080")));

            openSucceeds_ = false;
            QTest::mouseClick(about.webLink(), Qt::LeftButton);
            QCOMPARE(opened_.last(), QStringLiteral("https://www.halvorn.example/korvex"));
            QCOMPARE(webVisited, false);  // a failed open leaves the link unvisited and says so
            QCOMPARE(prompter().takeMessages(),
                     QStringList{"The link could not be opened. Its address is:\n"
                                 "https://www.halvorn.example/korvex"});
            QTest::mouseClick(email, Qt::LeftButton);
            QCOMPARE(prompter().takeMessages(),
                     QStringList{"The link could not be opened. Its address is:\n"
                                 "korvex@halvorn.example"});
            QCOMPARE(emailVisited, true);  // opened before
        }
        AboutDialog again(&emailVisited, &webVisited);
        QVERIFY(again.emailLink()->text().contains(QStringLiteral("color: #800080")));
        QVERIFY(again.webLink()->text().contains(QStringLiteral("color: #0000ff")));
    }

    // OK starts with the focus; Tab and Shift+Tab reach each link, and Enter opens it.
    void aboutBoxLinksWorkFromTheKeyboard() {
        bool emailVisited = false;
        bool webVisited = false;
        AboutDialog about(&emailVisited, &webVisited);
        about.show();
        QApplication::setActiveWindow(&about);
        QVERIFY(QTest::qWaitForWindowActive(&about));
        auto* ok = about.findChild<QPushButton*>("okButton");
        QCOMPARE(QApplication::focusWidget(), ok);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), about.emailLink());
        QTest::keyClick(about.emailLink(), Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), about.webLink());
        QTest::keyClick(about.webLink(), Qt::Key_Return);
        QCOMPARE(opened_, (QStringList{"mailto:korvex@halvorn.example",
                                       "https://www.halvorn.example/korvex"}));
        QVERIFY(about.isVisible());  // Enter on a link opens it and leaves the box open
        QCOMPARE(emailVisited + webVisited, 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), ok);
        for (QWidget* before :
             std::initializer_list<QWidget*>{about.webLink(), about.emailLink(), ok}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), before);
        }
        QTest::keyClick(ok, Qt::Key_Return);
        QCOMPARE(about.result(), int(QDialog::Accepted));
        QVERIFY(!about.isVisible());
    }

    // Tab and Shift+Tab leave the preview table, and the line under it says what is wrong with
    // the cell the arrow keys reach.
    void thePreviewTableServesTheKeyboard() {
        withSettingsDialog([](SettingsDialog& d) {
            auto* table = d.findChild<QTableView*>("previewTable");
            auto* line = d.findChild<QLabel*>("cellProblemLabel");
            table->setFocus();
            QTest::keyClick(table, Qt::Key_Tab);
            QCOMPARE(d.focusWidget(), d.findChild<QPushButton*>("okButton"));
            table->setFocus();
            QTest::keyClick(table, Qt::Key_Backtab);
            QCOMPARE(d.focusWidget(), d.findChild<QPushButton*>("detectButton"));

            const QString reason =  // the volume "n/a"
                table->model()->index(2, 5).data(Qt::ToolTipRole).toString();
            QVERIFY(!reason.isEmpty());
            table->setCurrentIndex(table->model()->index(2, 4));
            QCOMPARE(line->text(), QString());
            QTest::keyClick(table, Qt::Key_Right);
            QCOMPARE(line->text(), reason);
        });
    }

    // Each column box and the rows to skip have an Alt key of their own, the letter or digit
    // their label underlines, while a field's letter still toggles its check box.
    void eachNumberBoxHasItsOwnAltKey() {
        withSettingsDialog([](SettingsDialog& d) {
            // The columns of symbol, name and period are greyed out until their boxes are ticked.
            for (const char* name : {"symbolColumnCheck", "nameColumnCheck", "periodColumnCheck"}) {
                d.findChild<QCheckBox*>(name)->setChecked(true);
            }
            const QList<SpinEdit*> boxes = d.findChildren<SpinEdit*>();
            QCOMPARE(boxes.size(), 12);
            for (SpinEdit* box : boxes) {
                if (box->objectName() == "seriesColumnEdit") {
                    continue;  // no digit is left for the series column
                }
                char key = 0;
                for (const QLabel* label : d.findChildren<QLabel*>()) {
                    const qsizetype at = label->text().indexOf(QLatin1Char('&'));
                    if (label->buddy() == box && at >= 0) {
                        key = label->text().at(at + 1).toLatin1();
                    }
                }
                QTest::keyClick(&d, key, Qt::AltModifier);
                QVERIFY2(box->hasFocus(), qPrintable(box->objectName()));
            }
            auto* open = d.findChild<QCheckBox*>("openCheck");
            QTest::keyClick(&d, 'o', Qt::AltModifier);
            QTRY_VERIFY(!open->isChecked());  // a button clicks a moment after its key
        });
    }

    // The series to keep are typed with a series column only; column and series go both ways
    // between the controls and the form.
    void theSeriesToKeepFollowTheSeriesColumn() {
        withSettingsDialog([](SettingsDialog& d) {
            auto* check = d.findChild<QCheckBox*>("seriesColumnCheck");
            auto* edit = d.findChild<QLineEdit*>("seriesEdit");
            QVERIFY(!edit->isEnabled());
            check->click();
            QVERIFY(edit->isEnabled());
            d.findChild<SpinEdit*>("seriesColumnEdit")->setText("8");
            edit->setText("eq, BE");
            QVERIFY(d.readForm());
            QCOMPARE(d.form().columns.series, 8);
            QCOMPARE(d.form().series, std::string("eq, BE"));
            QCOMPARE(d.settings().series, (std::vector<std::string>{"EQ", "BE"}));
            check->click();
            QVERIFY(!edit->isEnabled());
            QVERIFY(d.readForm());
            QCOMPARE(d.form().columns.series, 0);

            ui::FormValues form = d.form();
            form.columns.series = 9;
            form.series = "BL";
            d.setForm(form);
            d.showForm();
            QVERIFY(check->isChecked() && edit->isEnabled());
            QCOMPARE(d.findChild<SpinEdit*>("seriesColumnEdit")->text(), QStringLiteral("9"));
            QCOMPARE(edit->text(), QStringLiteral("BL"));
        });
    }

    // The dialog fits a 1024x768 screen with a task bar and is no larger than a smaller one.
    // Brought back after a refusal it stays where the user left it, rather than being placed
    // anew under the lines the refusal added to the session view.
    void theSettingsDialogFitsTheScreenAndStaysPut() {
        SessionView view(nullptr);
        view.resize(500, 300);
        view.show();
        QPoint left;
        withSettingsDialog(
            [&](SettingsDialog& d) {
                QVERIFY(d.sizeHint().width() <= 1024 && d.sizeHint().height() <= 740);
                const QSize room = d.screen()->availableGeometry().size();
                QVERIFY(d.width() <= room.width() && d.height() <= room.height());

                left = d.pos() + QPoint(40, 40);  // dragged by the user, partly off the screen
                d.move(left);
                d.hide();
                view.appendText(QStringLiteral("Conversion failed.\r\nNothing was changed.\r\n"));
                d.showRefusal(QStringLiteral("refused"), engine::SettingsField::kSymbol,
                              engine::PriceField::kDate);
                d.show();
                QCOMPARE(d.pos(), left);
            },
            &view);
    }

    // The date formats are listed with 31 December 2024 written in each; the setting keeps the
    // bare code, and a stored code chooses its entry.
    void dateFormatsAreListedWithAnExample() {
        withSettingsDialog([](SettingsDialog& d) {
            auto* combo = d.findChild<QComboBox*>("dateFormatCombo");
            auto* delegate = qobject_cast<QStyledItemDelegate*>(combo->itemDelegate());
            const int entry = combo->findText(QStringLiteral("MM_DD_CCYY"));
            QCOMPARE(delegate->displayText(combo->itemText(entry), QLocale()),
                     QStringLiteral("MM_DD_CCYY \u2014 12/31/2024"));
            combo->setCurrentIndex(entry);
            QVERIFY(d.readForm());
            QCOMPARE(d.form().dateFormat, std::string("MM_DD_CCYY"));
            ui::FormValues form = d.form();
            form.dateFormat = "DD_MON_YY";
            d.setForm(form);
            d.showForm();
            QCOMPARE(combo->currentText(), QStringLiteral("DD_MON_YY"));
        });
    }

    void helpOpensOnF1AndAboutFromTheMenu() {
        KorvexApp app(*dir_ / "Korvex.ini");
        app.start();
        MainWindow* window = app.mainWindow();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_F1);
        QVERIFY(window->helpWindow() != nullptr);
        QVERIFY(window->helpWindow()->isVisible());
        QTextBrowser* browser = window->helpWindow()->browser();
        QCOMPARE(browser->source(), QUrl(QStringLiteral("qrc:/korvex/help/index.html")));
        QVERIFY(!browser->toPlainText().isEmpty());

        bool shown = false;
        prompter().queueDialog([&](QDialog& dialog) {
            shown = dialog.windowTitle() == QStringLiteral("About Korvex");
            return int(QDialog::Accepted);
        });
        window->findChild<QAction*>("aboutAction")->trigger();
        QVERIFY(shown);
    }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
