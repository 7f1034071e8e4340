// Every modal dialog the editor shows, and the process start, go through this
// one small interface. The program installs the Qt implementation; tests
// install a scripted one that records each request and returns the next answer.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "editor/core/views.h"

class QWidget;

namespace editor_ui {

// The core's kinds of message box, so that its requests pass through unchanged.
using editor_core::MessageAnswer;
using editor_core::MessageButtons;
using editor_core::MessageIcon;

struct MessageRequest {
    QString text;  // two-part messages are joined by "\r\n"
    QString title;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
};

struct InputRequest {
    QString prompt;
    QString title;
    QString defaultAnswer;
};

struct FileFilter {
    QString description;  // "Install info file"
    QString pattern;      // "install_info.ini"
};

struct OpenFileRequest {
    QString title;
    QString initialFolder;
    QString fileName;
    std::vector<FileFilter> filters;
};

struct ProcessRequest {
    QString program;  // full path, started without arguments
    QString workingDirectory;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer message(QWidget* parent, const MessageRequest& request) = 0;
    // nullopt when the user cancels.
    virtual std::optional<QString> input(QWidget* parent, const InputRequest& request) = 0;
    // The chosen file's path; nullopt when the user cancels.
    virtual std::optional<QString> openFile(QWidget* parent, const OpenFileRequest& request) = 0;
    // Starts the program without waiting (its window, if any, is modeless);
    // false with `error` set on failure.
    virtual bool startProcess(const ProcessRequest& request, QString* error) = 0;
};

// The dialogs in use. Defaults to the Qt implementation.
Dialogs& dialogs();
// Installs `replacement` (not owned); nullptr restores the Qt implementation.
void setDialogs(Dialogs* replacement);

// The core's requests (UTF-8 text) through dialogs(), owned by `parent`.
MessageAnswer showMessage(QWidget* parent, const editor_core::MessageRequest& request);
std::optional<std::string> askInput(QWidget* parent, const editor_core::InputRequest& request);
std::optional<std::string> chooseFile(QWidget* parent, const editor_core::OpenFileRequest& request);
bool startProgram(const editor_core::ProcessRequest& request, std::string& error);

// What the Qt implementation's startProcess does: starts a console program
// with the request's working directory, detached in a terminal window when
// there is a terminal emulator, else in a ConsoleWindow of the editor's own.
// Tests that really start a program call it.
bool startConsoleProgram(const ProcessRequest& request, QString* error);

}  // namespace editor_ui
