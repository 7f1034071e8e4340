// The native dialogs of tamsel.exe's windows and the start of the updater:
// each shows the core's request (views.h), owned by `owner`, and returns the
// user's answer. The windows call them from their view methods; tests
// override those methods.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "editor/core/views.h"
#include "platform/result.h"

namespace editor_win32 {

// MessageBoxW with the request's title, icon and buttons.
editor_core::MessageAnswer showMessage(HWND owner, const editor_core::MessageRequest& request);
// Our input box (a dialog resource of tamsel.rc): the typed text on OK
// (Enter), nullopt on Cancel (Escape).
std::optional<std::string> showInputBox(HWND owner, const editor_core::InputRequest& request);
// GetOpenFileNameW; the chosen file's full path, nullopt on Cancel.
std::optional<std::string> chooseFile(HWND owner, const editor_core::OpenFileRequest& request);
// CreateProcessW: a new console shown normally, no waiting, no handle kept.
// A failure keeps the Windows error code (platform::errors::fromWindows).
platform::Status startProcess(const editor_core::ProcessRequest& request);

}  // namespace editor_win32
