#include "app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QWhatsThis>

#include "app/HelpWindow.h"
#include "app/KorvexDoc.h"
#include "app/KorvexView.h"
#include "app/Prompter.h"
#include "ui/SettingsStore.h"

namespace {

const std::string kScreen = "Screen";

}  // namespace

CMainFrame::CMainFrame(ui::SettingsStore* store, CKorvexDoc* doc, QWidget* parent)
    : QMainWindow(parent), m_pStore(store), m_pDoc(doc) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(QStringLiteral("Korvex"));
    setWindowIcon(QIcon(QStringLiteral(":/korvex/korvex.svg")));
    m_pView = new CKorvexView(store, this);
    setCentralWidget(m_pView);
    m_pDoc->SetView(m_pView);
    BuildCommands();
    RestorePlacement();
}

QAction* CMainFrame::MakeAction(const QString& text, const QString& prompt, const char* icon) {
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

void CMainFrame::BuildCommands() {
    QAction* open = MakeAction(QStringLiteral("&Open..."),
                               QStringLiteral("Open an existing document\nOpen"), "open.svg");
    open->setObjectName(QStringLiteral("openAction"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setWhatsThis(QStringLiteral(
        "Open a text file of prices. Korvex shows its first lines and asks for the conversion "
        "settings at once."));
    connect(open, &QAction::triggered, this, &CMainFrame::OnFileOpen);

    m_settings = MakeAction(QStringLiteral("Settings..."),
                            QStringLiteral("File conversion settings\nSettings"), "settings.svg");
    m_settings->setObjectName(QStringLiteral("settingsAction"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    m_settings->setEnabled(false);
    m_settings->setWhatsThis(QStringLiteral(
        "Convert the file last opened again, with settings you check or change first."));
    connect(m_settings, &QAction::triggered, m_pView, &CKorvexView::OnFileSettings);
    connect(m_pView, &CKorvexView::InputPathChanged, m_settings, &QAction::setEnabled);

    QAction* remove = MakeAction(QStringLiteral("&Remove Security..."),
                                 QStringLiteral("Take a security out of a directory\nRemove"));
    remove->setObjectName(QStringLiteral("removeAction"));
    remove->setWhatsThis(QStringLiteral(
        "Take a security out of a directory: its record leaves MASTER and its price files are "
        "deleted. MASTER.BAK keeps MASTER as it was before."));
    connect(remove, &QAction::triggered, m_pView, &CKorvexView::OnFileRemoveSecurity);

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
    connect(clear, &QAction::triggered, m_pView, &CKorvexView::OnViewClearWindow);

    QAction* topics =
        MakeAction(QStringLiteral("&Help Topics"), QStringLiteral("List Help topics\nHelp Topics"));
    topics->setObjectName(QStringLiteral("helpTopicsAction"));
    connect(topics, &QAction::triggered, this, &CMainFrame::OnHelp);

    QAction* about = MakeAction(
        QStringLiteral("&About Korvex..."),
        QStringLiteral("Display program information, version number and copyright\nAbout"),
        "about.svg");
    about->setObjectName(QStringLiteral("aboutAction"));
    about->setWhatsThis(QStringLiteral("Show the program's version, its maker and legal notices."));
    connect(about, &QAction::triggered, this, &CMainFrame::AboutRequested);

    // Commands reached by their keys alone.
    QAction* fileNew =
        MakeAction(QStringLiteral("New"), QStringLiteral("Create a new document\nNew"));
    fileNew->setObjectName(QStringLiteral("newAction"));
    fileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(fileNew, &QAction::triggered, this, &CMainFrame::OnFileNew);
    QAction* save =
        MakeAction(QStringLiteral("Save"), QStringLiteral("Save the active document\nSave"));
    save->setObjectName(QStringLiteral("saveAction"));
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));  // the document holds nothing to save
    QAction* help = MakeAction(QStringLiteral("Help"),
                               QStringLiteral("Display help for current task or command\nHelp"));
    help->setObjectName(QStringLiteral("helpAction"));
    help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this, &CMainFrame::OnHelp);
    QAction* contextHelp =
        MakeAction(QStringLiteral("What's This?"),
                   QStringLiteral("Display help for clicked on buttons, menus and windows\nHelp"));
    contextHelp->setObjectName(QStringLiteral("contextHelpAction"));
    contextHelp->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
    connect(contextHelp, &QAction::triggered, this, &CMainFrame::OnContextHelp);
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
    for (int i = 0; i < CKorvexDoc::kRecentFiles; ++i) {
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
    connect(m_pDoc, &CKorvexDoc::RecentFilesChanged, this, &CMainFrame::UpdateRecentFiles);
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

QStringList CMainFrame::RecentFileLabels(const QStringList& files) {
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

void CMainFrame::UpdateRecentFiles() {
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

void CMainFrame::OnFileOpen() {
    QString path = Prompter::instance().OpenFileName(this, QStringLiteral("Open"), QString());
    if (!path.isEmpty()) {
        m_pDoc->OnOpenDocument(path);
    }
}

void CMainFrame::OnFileNew() {
    m_pDoc->OnNewDocument();
}

void CMainFrame::OnHelp() {
    if (m_help == nullptr) {
        m_help = new CHelpWindow(this);
    }
    m_help->ShowPage(QStringLiteral("index.html"));
}

void CMainFrame::OnContextHelp() {
    statusBar()->showMessage(QStringLiteral("Select an object on which to get Help"), 5000);
    QWhatsThis::enterWhatsThisMode();
}

QRect CMainFrame::ChoosePlacement(int x, int y, int cx, int cy, QSize screen) {
    const int w = screen.width();
    const int h = screen.height();
    if (cx > 0 && cy > 0 && x >= 0 && y >= 0 && cx <= w && cy <= h && x <= w && y <= h) {
        return QRect(x, y, cx, cy);
    }
    const float share = 0.85f;
    int width = static_cast<int>(static_cast<float>(w) * share);
    int height = static_cast<int>(static_cast<float>(h) * share);
    return QRect((w - width) / 2, (h - height) / 2, width, height);
}

void CMainFrame::RestorePlacement() {
    int x = m_pStore->ReadInt(kScreen, "x", 0);
    int y = m_pStore->ReadInt(kScreen, "y", 0);
    int cx = m_pStore->ReadInt(kScreen, "cx", 0);
    int cy = m_pStore->ReadInt(kScreen, "cy", 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    QSize size = screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
    QRect placement = ChoosePlacement(x, y, cx, cy, size);
    // move() places the frame's corner and resize() sets the size inside the frame, as
    // SavePlacement() writes them: the frame's size is not known before the window manager has
    // framed the window.
    move(placement.topLeft());
    resize(placement.size());
}

void CMainFrame::SavePlacement() {
    if (isMinimized()) {
        return;
    }
    m_pStore->WriteInt(kScreen, "cx", width());
    m_pStore->WriteInt(kScreen, "cy", height());
    m_pStore->WriteInt(kScreen, "x", std::max(x(), 0));
    m_pStore->WriteInt(kScreen, "y", std::max(y(), 0));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    SavePlacement();
    event->accept();
}
