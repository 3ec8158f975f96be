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

MainWindow::MainWindow(ui::SettingsStore* store, FileOpener* doc, QWidget* parent)
    : QMainWindow(parent), m_pStore(store), m_pDoc(doc) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Korvex"));
    setWindowIcon(QIcon(QStringLiteral(":/korvex/korvex.svg")));
    m_pView = new SessionView(store, this);
    setCentralWidget(m_pView);
    m_pDoc->SetView(m_pView);
    BuildCommands();
    RestorePlacement();
}

QAction* MainWindow::MakeAction(const QString& text, const QString& prompt, const char* icon) {
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

void MainWindow::BuildCommands() {
    QAction* open = MakeAction(QStringLiteral("&Open..."),
                               QStringLiteral("Open an existing document\nOpen"), "open.svg");
    open->setObjectName(QStringLiteral("openAction"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setWhatsThis(QStringLiteral(
        "Open a text file of prices. Korvex shows its first lines and asks for the conversion "
        "settings at once."));
    connect(open, &QAction::triggered, this, &MainWindow::OnFileOpen);

    m_settings = MakeAction(QStringLiteral("&Settings..."),
                            QStringLiteral("File conversion settings\nSettings"), "settings.svg");
    m_settings->setObjectName(QStringLiteral("settingsAction"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_settings->setEnabled(false);
    m_settings->setWhatsThis(QStringLiteral(
        "Convert the file last opened again, with settings you check or change first."));
    connect(m_settings, &QAction::triggered, m_pView, &SessionView::OnFileSettings);
    connect(m_pView, &SessionView::InputPathChanged, m_settings, &QAction::setEnabled);

    QAction* remove = MakeAction(QStringLiteral("&Remove Security..."),
                                 QStringLiteral("Take a security out of a directory\nRemove"));
    remove->setObjectName(QStringLiteral("removeAction"));
    remove->setWhatsThis(QStringLiteral(
        "Take a security out of a directory: its record leaves MASTER and its price files are "
        "deleted. MASTER.BAK keeps MASTER as it was before."));
    connect(remove, &QAction::triggered, m_pView, &SessionView::OnFileRemoveSecurity);

    QAction* exit =
        MakeAction(QStringLiteral("E&xit"),
                   QStringLiteral("Quit the application; prompts to save documents\nExit"));
    exit->setObjectName(QStringLiteral("exitAction"));
    // Spelled out: QKeySequence::Quit is empty on some platforms.
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QAction* clear = MakeAction(QStringLiteral("&Clear Window"),
                                QStringLiteral("Clear Window\nClear Window"), "clear.svg");
    clear->setObjectName(QStringLiteral("clearWindowAction"));
    clear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    clear->setWhatsThis(
        QStringLiteral("Empty the window. Settings... still converts the file last opened."));
    connect(clear, &QAction::triggered, m_pView, &SessionView::OnViewClearWindow);

    QAction* topics =
        MakeAction(QStringLiteral("&Help Topics"), QStringLiteral("List Help topics\nHelp Topics"));
    topics->setObjectName(QStringLiteral("helpTopicsAction"));
    connect(topics, &QAction::triggered, this, &MainWindow::OnHelp);

    QAction* about = MakeAction(
        QStringLiteral("&About Korvex..."),
        QStringLiteral("Display program information, version number and copyright\nAbout"),
        "about.svg");
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setWhatsThis(QStringLiteral("Show the program's version, its maker and legal notices."));
    connect(about, &QAction::triggered, this, &MainWindow::AboutRequested);

    // Commands reached by their keys alone.
    QAction* help = MakeAction(QStringLiteral("Help"),
                               QStringLiteral("Display help for current task or command\nHelp"));
    help->setObjectName(QStringLiteral("helpAction"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this, &MainWindow::OnHelp);
    QAction* contextHelp =
        MakeAction(QStringLiteral("What's This?"),
                   QStringLiteral("Display help for clicked on buttons, menus and windows\nHelp"));
    contextHelp->setObjectName(QStringLiteral("contextHelpAction"));
    contextHelp->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    connect(contextHelp, &QAction::triggered, this, &MainWindow::OnContextHelp);
    QAction* copy =
        MakeAction(QStringLiteral("Copy"),
                   QStringLiteral("Copy the selection and put it on the Clipboard\nCopy"));
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert));
    connect(copy, &QAction::triggered, m_pView, &QPlainTextEdit::copy);

    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    m_fileMenu->addAction(open);
    m_fileMenu->addAction(m_settings);
    m_fileMenu->addAction(remove);
    m_fileMenu->addSeparator();
    m_recentPlaceholder = m_fileMenu->addAction(QStringLiteral("Recent File"));
    m_recentPlaceholder->setEnabled(false);
    for (int i = 0; i < ui::kRecentFiles; ++i) {
        QAction* recent = MakeAction(QString(), QStringLiteral("Open this document"));
        recent->setObjectName(QStringLiteral("recentFileAction%1").arg(i + 1));
        connect(recent, &QAction::triggered, this,
                [this, recent] { m_pDoc->OnOpenDocument(recent->data().toString()); });
        m_fileMenu->addAction(recent);
        m_recentActions.append(recent);
    }
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(exit);
    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(clear);
    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->addAction(topics);
    helpMenu->addSeparator();
    helpMenu->addAction(about);
    connect(m_pDoc, &FileOpener::RecentFilesChanged, this, &MainWindow::UpdateRecentFiles);
    UpdateRecentFiles();

    QToolBar* toolBar = addToolBar(QStringLiteral("Standard"));
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(20, 20));
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar->addAction(open);
    toolBar->addAction(m_settings);
    toolBar->addAction(clear);
    toolBar->addSeparator();
    toolBar->addAction(about);

    m_idleText = new QLabel(QStringLiteral("For Help, press F1"));
    m_idleText->setObjectName(QStringLiteral("idleText"));
    statusBar()->addWidget(m_idleText, 1);
    statusBar()->setSizeGripEnabled(true);
}

QStringList MainWindow::RecentFileLabels(const QStringList& files) {
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

void MainWindow::UpdateRecentFiles() {
    QStringList files = m_pDoc->RecentFiles();
    QStringList labels = RecentFileLabels(files);
    m_recentPlaceholder->setVisible(files.isEmpty());
    for (int i = 0; i < m_recentActions.size(); ++i) {
        QAction* action = m_recentActions[i];
        action->setVisible(i < files.size());
        if (i < files.size()) {
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(
                labels[i].replace(QLatin1Char('&'), QStringLiteral("&&"))));
            action->setData(files[i]);
        }
    }
}

void MainWindow::OnFileOpen() {
    const QString path = Prompter::instance().OpenFileName(
        this, QStringLiteral("Open"), QString::fromLocal8Bit(ui::OpenFolder(*m_pStore).c_str()),
        QStringLiteral("Price files (*.csv *.txt *.prn *.asc);;All files (*)"));
    if (!path.isEmpty()) {
        ui::SetOpenFolder(*m_pStore, QFileInfo(path).absolutePath().toLocal8Bit().toStdString());
        m_pDoc->OnOpenDocument(path);
    }
}

void MainWindow::OnHelp() {
    if (m_help == nullptr) {
        m_help = new HelpWindow(this);
    }
    m_help->ShowPage(QStringLiteral("index.html"));
}

void MainWindow::OnContextHelp() {
    statusBar()->showMessage(QStringLiteral("Select an object on which to get Help"), 5000);
    QWhatsThis::enterWhatsThisMode();
}

void MainWindow::RestorePlacement() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
    const ui::WindowPlacement placement =
        ui::FitPlacement(ui::LoadPlacement(*m_pStore), size.width(), size.height());
    // move() places the frame's corner and resize() sets the size inside the frame, as
    // SavePlacement() writes them: the frame's size is not known before the window manager has
    // framed the window. A maximised window keeps its normal size for when it is restored.
    move(placement.x, placement.y);
    resize(placement.width, placement.height);
    if (placement.maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void MainWindow::SavePlacement() {
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
    ui::SavePlacement(*m_pStore, placement);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    SavePlacement();
    event->accept();
}
