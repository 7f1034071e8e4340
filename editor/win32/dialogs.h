// Every modal dialog of tamsel.exe (message box, input box, open-file dialog)
// and the start of the updater go through this one interface. The program
// uses the native implementation; tests install a scripted one
// (scripted_dialogs.h) that records each request and returns the next answer.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "editor/core/views.h"

namespace editor_win32 {

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // MessageBoxW with the request's title, icon and buttons, owned by `owner`.
    virtual editor_core::MessageAnswer message(HWND owner,
                                               const editor_core::MessageRequest& request) = 0;
    // Our input box: the typed text on OK (Enter), nullopt on Cancel (Escape).
    virtual std::optional<std::string> input(HWND owner,
                                             const editor_core::InputRequest& request) = 0;
    // GetOpenFileNameW; the chosen file's full path, nullopt on Cancel.
    virtual std::optional<std::string> openFile(HWND owner,
                                                const editor_core::OpenFileRequest& request) = 0;
    // CreateProcessW: a new console shown normally, no waiting, no handle kept.
    virtual bool startProcess(const editor_core::ProcessRequest& request, std::string& error) = 0;
};

// The dialogs in use: the native ones unless a replacement is installed.
Dialogs& dialogs();
// Installs `replacement` (not owned); nullptr restores the native dialogs.
void setDialogs(Dialogs* replacement);

// The native input box on its own (a dialog resource of tamsel.rc), for the
// native Dialogs and for the test of its keys.
std::optional<std::string> showInputBox(HWND owner, const editor_core::InputRequest& request);

}  // namespace editor_win32
