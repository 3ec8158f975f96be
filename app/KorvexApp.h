// KorvexApp: the application. It owns the settings store, the file opener and the main window from
// start-up to exit. Made, it opens the store, importing an old INI profile once; started, it shows
// the window and opens the files named on the command line as File > Open does.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

class FileOpener;
class MainWindow;
namespace ui {
class PlatformSettingsStore;
}

class KorvexApp : public QObject {
    Q_OBJECT
public:
    // The settings store at `settingsPath` (its default place when empty), filled from the INI
    // profile beside it when the store is new; the file opener and the main window, not shown yet.
    explicit KorvexApp(const std::string& settingsPath = std::string());
    // Closes the main window, then the store.
    ~KorvexApp() override;

    // Shows the main window, then opens `file` when one is given. A file that cannot be opened is
    // reported and leaves the window open and empty, as File > Open does.
    void start(const QString& file = QString());
    // Shows the main window, then opens `files` as File > Open opens those chosen together.
    void start(const QStringList& files);

    ui::PlatformSettingsStore& store() const { return *store_; }
    FileOpener* fileOpener() const { return fileOpener_.get(); }
    MainWindow* mainWindow() const { return mainWindow_.get(); }

    static constexpr const char* kAppName = "Korvex";

public slots:
    // Help > About Korvex...
    void showAbout();

private:
    // Declared in the order they are made; destroyed the other way round.
    std::unique_ptr<ui::PlatformSettingsStore> store_;
    std::unique_ptr<FileOpener> fileOpener_;
    std::unique_ptr<MainWindow> mainWindow_;
    bool emailVisited_ = false;  // the About box's links opened in this run
    bool webVisited_ = false;
};
