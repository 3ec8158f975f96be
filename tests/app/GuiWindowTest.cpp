// The main window itself: its log, recent files, placement, the first start, the status bar and
// the keys of its commands.
#include "tests/app/GuiFixture.h"

class GuiWindowTest : public GuiFixture {
    Q_OBJECT

private slots:
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

QTEST_MAIN(GuiWindowTest)
#include "GuiWindowTest.moc"
