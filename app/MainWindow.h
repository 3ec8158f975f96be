// MainWindow: the program's one top-level window: the session view as its central widget, the
// menus, the toolbar and the one-pane status bar. It reopens where it was last closed (section
// "Screen" of the store: x and y the frame's top-left corner, cx and cy the size inside the frame),
// or centred at 85 per cent of the primary screen.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QSize>

class FileOpener;
class HelpWindow;
class SessionView;
namespace ui {
class SettingsStore;
}
class QAction;
class QLabel;
class QMenu;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(ui::SettingsStore* store, FileOpener* opener, QWidget* parent = nullptr);

    SessionView* sessionView() const { return sessionView_; }
    // The help window, once a help command has opened it.
    HelpWindow* helpWindow() const { return helpWindow_; }

    // The recent-file menu's label for each of `files`: the shortest ending of its path (the file
    // name, or more folders) that no other of `files` ends with; cut in the middle with an ellipsis
    // when longer than kRecentLabelLength characters.
    static QStringList recentFileLabels(const QStringList& files);
    static constexpr qsizetype kRecentLabelLength = 60;

    // Writes the frame's top-left corner, the size inside the frame and whether the window is
    // maximised to "Screen", unless the window is minimised; the next start restores exactly that
    // (a maximised window with its normal frame for when it is restored).
    void savePlacement();

signals:
    // Help > About Korvex...; the application shows the About box.
    void aboutRequested();

public slots:
    void onOpen();
    void onHelp();
    void onContextHelp();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* makeAction(const QString& text, const QString& prompt, const char* icon = nullptr);
    void buildCommands();
    void restorePlacement();
    void updateRecentFiles();

    ui::SettingsStore* store_;
    FileOpener* opener_;
    SessionView* sessionView_;
    QLabel* idleText_ = nullptr;
    QAction* settingsAction_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QAction* recentPlaceholder_ = nullptr;
    QList<QAction*> recentActions_;
    HelpWindow* helpWindow_ = nullptr;
};
