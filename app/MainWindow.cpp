#include "app/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWhatsThis>

#include "app/FileOpener.h"
#include "app/HelpWindow.h"
#include "app/Prompter.h"
#include "app/SessionView.h"
#include "ui/SettingsStore.h"
#include "ui/StoredSettings.h"

MainWindow::MainWindow(ui::SettingsStore* store, FileOpener* opener, QWidget* parent)
    : QMainWindow(parent), store_(store), opener_(opener) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Korvex"));
    setWindowIcon(QIcon(QStringLiteral(":/korvex/korvex.svg")));
    sessionView_ = new SessionView(store, this);
    setCentralWidget(sessionView_);
    opener_->setSessionView(sessionView_);
    buildCommands();
    restorePlacement();
}

QAction* MainWindow::makeAction(const QString& text, const QString& prompt, const char* icon) {
    auto* action = new QAction(text, this);
    QStringList parts = prompt.split(QLatin1Char('\n'));
    action->setStatusTip(parts.value(0));
    if (parts.size() > 1) {
        action->setToolTip(parts[1]);
    }
    if (icon != nullptr) {
        action->setIcon(QIcon(QStringLiteral(":/korvex/") + QLatin1String(icon)));
    }
    addAction(action);  // its shortcut works wherever the focus is in the window
    return action;
}

void MainWindow::buildCommands() {
    QAction* open = makeAction(QStringLiteral("&Open..."),
                               QStringLiteral("Open an existing document\nOpen"), "open.svg");
    open->setObjectName(QStringLiteral("openAction"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setWhatsThis(QStringLiteral(
        "Open a text file of prices, or several to convert in one run. Korvex shows the first "
        "lines and asks for the conversion settings at once."));
    connect(open, &QAction::triggered, this, &MainWindow::onOpen);

    settingsAction_ =
        makeAction(QStringLiteral("&Settings..."),
                   QStringLiteral("File conversion settings\nSettings"), "settings.svg");
    settingsAction_->setObjectName(QStringLiteral("settingsAction"));
    settingsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    settingsAction_->setEnabled(false);
    settingsAction_->setWhatsThis(QStringLiteral(
        "Convert the file last opened again, with settings you check or change first."));
    connect(settingsAction_, &QAction::triggered, sessionView_, &SessionView::onSettings);
    connect(sessionView_, &SessionView::inputPathChanged, settingsAction_, &QAction::setEnabled);

    QAction* remove = makeAction(QStringLiteral("&Remove Security..."),
                                 QStringLiteral("Take a security out of a directory\nRemove"));
    remove->setObjectName(QStringLiteral("removeAction"));
    remove->setWhatsThis(QStringLiteral(
        "Take a security out of a directory: its record leaves MASTER and its price files are "
        "deleted. MASTER.BAK keeps MASTER as it was before."));
    connect(remove, &QAction::triggered, sessionView_, &SessionView::onRemoveSecurity);

    QAction* exit =
        makeAction(QStringLiteral("E&xit"),
                   QStringLiteral("Quit the application; prompts to save documents\nExit"));
    exit->setObjectName(QStringLiteral("exitAction"));
    // Spelled out: QKeySequence::Quit is empty on some platforms.
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QAction* clear = makeAction(QStringLiteral("&Clear Window"),
                                QStringLiteral("Clear Window\nClear Window"), "clear.svg");
    clear->setObjectName(QStringLiteral("clearWindowAction"));
    clear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    clear->setWhatsThis(
        QStringLiteral("Empty the window. Settings... still converts the file last opened."));
    connect(clear, &QAction::triggered, sessionView_, &SessionView::onClearWindow);

    QAction* topics =
        makeAction(QStringLiteral("&Help Topics"), QStringLiteral("List Help topics\nHelp Topics"));
    topics->setObjectName(QStringLiteral("helpTopicsAction"));
    connect(topics, &QAction::triggered, this, &MainWindow::onHelp);

    QAction* about = makeAction(
        QStringLiteral("&About Korvex..."),
        QStringLiteral("Display program information, version number and copyright\nAbout"),
        "about.svg");
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setWhatsThis(QStringLiteral("Show the program's version, its maker and legal notices."));
    connect(about, &QAction::triggered, this, &MainWindow::aboutRequested);

    // Commands reached by their keys alone.
    QAction* help = makeAction(QStringLiteral("Help"),
                               QStringLiteral("Display help for current task or command\nHelp"));
    help->setObjectName(QStringLiteral("helpAction"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this, &MainWindow::onHelp);
    QAction* contextHelp =
        makeAction(QStringLiteral("What's This?"),
                   QStringLiteral("Display help for clicked on buttons, menus and windows\nHelp"));
    contextHelp->setObjectName(QStringLiteral("contextHelpAction"));
    contextHelp->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    connect(contextHelp, &QAction::triggered, this, &MainWindow::onContextHelp);
    QAction* copy =
        makeAction(QStringLiteral("Copy"),
                   QStringLiteral("Copy the selection and put it on the Clipboard\nCopy"));
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    connect(copy, &QAction::triggered, sessionView_, &QPlainTextEdit::copy);

    fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu_->addAction(open);
    fileMenu_->addAction(settingsAction_);
    fileMenu_->addAction(remove);
    fileMenu_->addSeparator();
    recentPlaceholder_ = fileMenu_->addAction(QStringLiteral("Recent File"));
    recentPlaceholder_->setEnabled(false);
    for (int i = 0; i < ui::kRecentFiles; ++i) {
        QAction* recent = makeAction(QString(), QStringLiteral("Open this document"));
        recent->setObjectName(QStringLiteral("recentFileAction%1").arg(i + 1));
        connect(recent, &QAction::triggered, this,
                [this, recent] { opener_->open(recent->data().toString()); });
        fileMenu_->addAction(recent);
        recentActions_.append(recent);
    }
    fileMenu_->addSeparator();
    fileMenu_->addAction(exit);
    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(clear);
    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->addAction(topics);
    helpMenu->addSeparator();
    helpMenu->addAction(about);
    connect(opener_, &FileOpener::recentFilesChanged, this, &MainWindow::updateRecentFiles);
    updateRecentFiles();

    QToolBar* toolBar = addToolBar(QStringLiteral("Standard"));
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(20, 20));
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar->addAction(open);
    toolBar->addAction(settingsAction_);
    toolBar->addAction(clear);
    toolBar->addSeparator();
    toolBar->addAction(about);

    idleText_ = new QLabel(QStringLiteral("For Help, press F1"));
    idleText_->setObjectName(QStringLiteral("idleText"));
    statusBar()->addWidget(idleText_, 1);
    statusBar()->setSizeGripEnabled(true);
}

QStringList MainWindow::recentFileLabels(const QStringList& files) {
    QList<QStringList> parts;
    for (const QString& file : files) {
        parts.append(QDir::fromNativeSeparators(file).split(QLatin1Char('/')));
    }
    auto tail = [](const QStringList& names, qsizetype count) {
        return names.mid(std::max<qsizetype>(names.size() - count, 0));
    };
    QStringList labels;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        qsizetype count = 1;
        for (; count < parts[i].size(); ++count) {
            bool shared = false;
            for (qsizetype j = 0; j < parts.size() && !shared; ++j) {
                shared = j != i && tail(parts[j], count) == tail(parts[i], count);
            }
            if (!shared) {
                break;
            }
        }
        QString label = QDir::toNativeSeparators(tail(parts[i], count).join(QLatin1Char('/')));
        if (label.size() > kRecentLabelLength) {
            const qsizetype head = kRecentLabelLength / 3;
            label = label.left(head) + QChar(0x2026) + label.right(kRecentLabelLength - head - 1);
        }
        labels.append(label);
    }
    return labels;
}

void MainWindow::updateRecentFiles() {
    QStringList files = opener_->recentFiles();
    QStringList labels = recentFileLabels(files);
    recentPlaceholder_->setVisible(files.isEmpty());
    for (int i = 0; i < recentActions_.size(); ++i) {
        QAction* action = recentActions_[i];
        action->setVisible(i < files.size());
        if (i < files.size()) {
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(
                labels[i].replace(QLatin1Char('&'), QStringLiteral("&&"))));
            action->setData(files[i]);
        }
    }
}

void MainWindow::onOpen() {
    const QStringList paths = Prompter::instance().openFileNames(
        this, QStringLiteral("Open"), QString::fromLocal8Bit(ui::OpenFolder(*store_).c_str()),
        QStringLiteral("Price files (*.csv *.txt *.prn *.asc);;All files (*)"));
    if (!paths.isEmpty()) {
        ui::SetOpenFolder(*store_,
                          QFileInfo(paths.first()).absolutePath().toLocal8Bit().toStdString());
        opener_->open(paths);
    }
}

void MainWindow::onHelp() {
    if (helpWindow_ == nullptr) {
        helpWindow_ = new HelpWindow(this);
    }
    helpWindow_->showPage(QStringLiteral("index.html"));
}

void MainWindow::onContextHelp() {
    statusBar()->showMessage(QStringLiteral("Select an object on which to get Help"), 5000);
    QWhatsThis::enterWhatsThisMode();
}

void MainWindow::restorePlacement() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
    const ui::WindowPlacement placement =
        ui::FitPlacement(ui::LoadPlacement(*store_), size.width(), size.height());
    // move() places the frame's corner and resize() sets the size inside the frame, as
    // savePlacement() writes them: the frame's size is not known before the window manager has
    // framed the window. A maximised window keeps its normal size for when it is restored.
    move(placement.x, placement.y);
    resize(placement.width, placement.height);
    if (placement.maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void MainWindow::savePlacement() {
    if (isMinimized()) {
        return;
    }
    ui::WindowPlacement placement;
    placement.maximized = isMaximized();
    const QRect normal = placement.maximized ? normalGeometry() : QRect(pos(), size());
    placement.x = normal.x();
    placement.y = normal.y();
    placement.width = normal.width();
    placement.height = normal.height();
    ui::SavePlacement(*store_, placement);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    savePlacement();
    event->accept();
}
