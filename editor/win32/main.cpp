// tamsel.exe: the install-info editor on the Win32 API. Its program folder,
// the folder holding this executable, holds install_info.ini, the backups and
// updater.exe.
#include <windows.h>

#include <commctrl.h>  // after windows.h, which it needs

#include <filesystem>
#include <string>
#include <vector>

#include "editor/win32/layout_window.h"
#include "editor/win32/main_window.h"
#include "editor/win32/wide.h"

namespace {

// The folder of this executable, with no length limit of our own.
std::wstring programFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(std::wstring(path.begin(), path.end())).parent_path().wstring();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Loads Common Controls 6 (the manifest asks for it) for the themed controls.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    editor_win32::MainWindow window(editor_win32::narrow(programFolder()));
    window.onLastWindowClosed = [] { PostQuitMessage(0); };
    window.showAndActivate();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (editor_win32::handleDialogKeys(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
