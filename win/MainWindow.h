// korvex.exe's main window: the menu, the accelerators, the tool bar, the status bar and the
// session log in a read-only text pane, bound to the core. File > Open opens one price file or
// several for one run, the log shows the first lines and the Conversion Settings follow;
// File > Settings... converts them again;
// the recent files are in the File menu; File > Remove Security... takes a security out of a
// directory; View > Clear Window empties the log; F1 opens the help pages. The window's
// placement and what it remembers live in the registry.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/PlatformSettingsStore.h"
#include "ui/SessionLog.h"
#include "ui/StoredSettings.h"

class MainWindow {
public:
    // The class name tests and tools find the window by.
    static constexpr const wchar_t* kClassName = L"KorvexMainWindow";

    explicit MainWindow(HINSTANCE instance);

    // Creates and shows the window, opening `files` for one run when there are any. False when
    // the window cannot be made.
    bool Create(const std::vector<std::string>& files, int showCommand);
    // Runs the message loop until the window is closed; the program's exit status.
    int Run();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnCommand(int command);
    void OnSize(int width, int height);
    // The log's font for a screen of `dpi` dots per inch.
    void SetLogFont(int dpi);
    void OnClose();

    void OpenFile(const std::string& path) { OpenFiles({path}); }
    // Opens the files that exist for one run; one that does not is said and left out.
    void OpenFiles(const std::vector<std::string>& paths);
    void ChooseFile();
    // File > Remove Security...: pick a security of the last run's directory, confirm, remove.
    void RemoveSecurity();
    // Shows the Conversion Settings for the open files and converts them after OK (one file as
    // one conversion, several, a symbol column or an update as one run over the database); a
    // refused run brings the dialog back. `fromOpenedFile`: the files were just opened, detection
    // proposes from the first.
    void RunConversion(bool fromOpenedFile);
    void ShowLastEntry();
    void UpdateRecentFiles();
    void Tell(const std::string& message);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND log_ = nullptr;
    HWND statusBar_ = nullptr;
    HWND toolBar_ = nullptr;
    HFONT font_ = nullptr;
    HACCEL accelerators_ = nullptr;
    ui::PlatformSettingsStore store_;
    ui::SessionLog session_;
    std::vector<std::string> inputPaths_;  // the open files, of one run
    std::vector<std::string> givenFiles_;  // the files named on the command line
    // The values the user confirmed for the open files, which File > Settings... starts from.
    std::optional<ui::FormValues> confirmedForm_;
};
