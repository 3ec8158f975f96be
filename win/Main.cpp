// korvex.exe: the Windows desktop program. `korvex.exe [FILE]` opens FILE at the start.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

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
    const std::string file = argv != nullptr && argc > 1 ? Narrow(argv[1]) : std::string();
    LocalFree(argv);
    MainWindow window(instance);
    int status = 1;
    if (window.Create(file, showCommand)) {
        status = window.Run();
    }
    CoUninitialize();
    return status;
}
