// korvex.exe: the Windows desktop program. `korvex.exe [FILE...]` opens the files at the start,
// several of them for one run (as Explorer gives the files dropped on the program).
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "MainWindow.h"
#include "Text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
        return 1;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> files;
    for (int i = 1; argv != nullptr && i < argc; ++i) {
        files.push_back(Narrow(argv[i]));
    }
    LocalFree(argv);
    MainWindow window(instance);
    int status = 1;
    if (window.Create(files, showCommand)) {
        status = window.Run();
    }
    CoUninitialize();
    return status;
}
