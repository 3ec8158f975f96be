#include "app/KorvexApp.h"

#include <filesystem>

#include "app/AboutDialog.h"
#include "app/FileOpener.h"
#include "app/MainWindow.h"
#include "ui/PlatformSettingsStore.h"

KorvexApp::KorvexApp(const std::string& settingsPath)
    : store_(std::make_unique<ui::PlatformSettingsStore>()) {
    const std::string path =
        settingsPath.empty() ? ui::PlatformSettingsStore::DefaultPath() : settingsPath;
    bool createdNew = false;
    if (store_->CreateRoot(path, &createdNew) && createdNew) {
        const std::filesystem::path profile =
            std::filesystem::path(path).parent_path() / (std::string(kAppName) + ".INI");
        store_->ImportIniProfile(profile.string());
    }
    fileOpener_ = std::make_unique<FileOpener>(store_.get());
    mainWindow_ = std::make_unique<MainWindow>(store_.get(), fileOpener_.get());
    connect(mainWindow_.get(), &MainWindow::aboutRequested, this, &KorvexApp::showAbout);
}

KorvexApp::~KorvexApp() = default;

void KorvexApp::start(const QString& file) {
    mainWindow_->show();
    // A file that cannot be opened has been reported; the window stays, as after File > Open.
    if (!file.isEmpty()) {
        (void)fileOpener_->open(file);
    }
}

void KorvexApp::start(const QStringList& files) {
    if (files.size() <= 1) {
        start(files.value(0));
        return;
    }
    mainWindow_->show();
    (void)fileOpener_->open(files);
}

void KorvexApp::showAbout() {
    AboutDialog about(&emailVisited_, &webVisited_, mainWindow_.get());
    about.run();
}
