// MainWindow: the program's one top-level window: the view as its client, the menus, the toolbar
// and the one-pane status bar. It reopens where it was last closed (section "Screen" of the store:
// x and y the frame's top-left corner, cx and cy the size inside the frame), or centred at 85 per
// cent of the primary screen.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <QSize>

class HelpWindow;
class FileOpener;
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
    MainWindow(ui::SettingsStore* store, FileOpener* doc, QWidget* parent = nullptr);

    SessionView* View() const { return m_pView; }
    // The help window, once a help command has opened it.
    HelpWindow* helpWindow() const { return m_help; }

    // The recent-file menu's label for each of `files`: the shortest ending of its path (the file
    // name, or more folders) that no other of `files` ends with; cut in the middle with an ellipsis
    // when longer than kRecentLabelLength characters.
    static QStringList RecentFileLabels(const QStringList& files);
    static constexpr qsizetype kRecentLabelLength = 60;

    // Writes the frame's top-left corner, the size inside the frame and whether the window is
    // maximised to "Screen", unless the window is minimised; the next start restores exactly that
    // (a maximised window with its normal frame for when it is restored).
    void SavePlacement();

signals:
    // Help > About Korvex...; the application shows the About box.
    void AboutRequested();

public slots:
    void OnFileOpen();
    void OnHelp();
    void OnContextHelp();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* MakeAction(const QString& text, const QString& prompt, const char* icon = nullptr);
    void BuildCommands();
    void RestorePlacement();
    void UpdateRecentFiles();

    ui::SettingsStore* m_pStore;
    FileOpener* m_pDoc;
    SessionView* m_pView;
    QLabel* m_idleText = nullptr;
    QAction* m_settings = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    QList<QAction*> m_recentActions;
    HelpWindow* m_help = nullptr;
};
