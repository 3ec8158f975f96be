#include "app/KorvexApp.h"

#include <filesystem>

#include "app/AboutDialog.h"
#include "app/FileOpener.h"
#include "app/MainWindow.h"
#include "ui/PlatformSettingsStore.h"

KorvexApp::KorvexApp() = default;

KorvexApp::~KorvexApp() {
    ExitInstance();
}

bool KorvexApp::InitInstance(const QString& file, const std::string& settingsPath) {
    m_pStore = new ui::PlatformSettingsStore;
    std::string path =
        settingsPath.empty() ? ui::PlatformSettingsStore::DefaultPath() : settingsPath;
    bool createdNew = false;
    if (m_pStore->CreateRoot(path, &createdNew) && createdNew) {
        std::filesystem::path profile =
            std::filesystem::path(path).parent_path() / (std::string(kAppName) + ".INI");
        m_pStore->ImportIniProfile(profile.string());
    }
    m_pDoc = std::make_unique<FileOpener>(m_pStore);
    m_pFrame = std::make_unique<MainWindow>(m_pStore, m_pDoc.get());
    connect(m_pFrame.get(), &MainWindow::AboutRequested, this, &KorvexApp::OnAppAbout);
    m_pFrame->show();
    // A file that cannot be opened has been reported; the window stays, as after File > Open.
    if (!file.isEmpty()) {
        (void)m_pDoc->OnOpenDocument(file);
    }
    return true;
}

int KorvexApp::ExitInstance() {
    m_pFrame.reset();
    m_pDoc.reset();
    delete m_pStore;
    m_pStore = nullptr;
    return 0;
}

void KorvexApp::OnAppAbout() {
    AboutDialog about(&m_bEmailVisited, &m_bWebVisited, m_pFrame.get());
    about.DoModal();
}
