// KorvexApp: the application object. It owns the settings store from start-up to exit, and the one
// document and main frame; start-up imports an old INI profile once and opens a file named on the
// command line as File > Open does.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class FileOpener;
class MainWindow;
namespace ui {
class PlatformSettingsStore;
}

class KorvexApp : public QObject {
    Q_OBJECT
public:
    KorvexApp();
    ~KorvexApp() override;

    // Start-up: the settings store at `settingsPath` (its default place when empty), the document
    // and the main frame, shown, then `file` opened when one is given. A file that cannot be
    // opened is reported and leaves the window open and empty, as File > Open does. True: nothing
    // here ends the program.
    bool InitInstance(const QString& file, const std::string& settingsPath = std::string());
    // Shut-down: deletes the settings store.
    int ExitInstance();

    // Help > About Korvex...
    void OnAppAbout();

    ui::PlatformSettingsStore* m_pStore = nullptr;
    int m_bEmailVisited = 0;  // the About box's links opened in this run
    int m_bWebVisited = 0;

    FileOpener* Document() const { return m_pDoc.get(); }
    MainWindow* MainFrame() const { return m_pFrame.get(); }

    static constexpr const char* kAppName = "Korvex";

private:
    std::unique_ptr<FileOpener> m_pDoc;
    std::unique_ptr<MainWindow> m_pFrame;
};
