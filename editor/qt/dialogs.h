// The Qt windows' modal dialogs and the updater's start: each shows the core's
// request (views.h), owned by `owner`, and returns the user's answer. The
// windows call them from their view methods; tests override those methods.
#pragma once

#include <optional>
#include <string>

#include "editor/core/views.h"
#include "platform/result.h"

class QWidget;

namespace editor_qt {

editor_core::MessageAnswer showMessage(QWidget* owner, const editor_core::MessageRequest& request);
// nullopt when the user cancels.
std::optional<std::string> askInput(QWidget* owner, const editor_core::InputRequest& request);
// The chosen file's path; nullopt when the user cancels.
std::optional<std::string> chooseFile(QWidget* owner, const editor_core::OpenFileRequest& request);
// Starts a console program with the request's working directory, without
// waiting: detached in a terminal window when there is a terminal emulator,
// else in a ConsoleWindow of the editor's own. A failure's cause (Error::why)
// is the one line the user reads under the core's own.
platform::Status startConsoleProgram(const editor_core::ProcessRequest& request);

}  // namespace editor_qt
