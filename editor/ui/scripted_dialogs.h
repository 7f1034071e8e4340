// A Dialogs implementation for tests: records every request and answers from
// queues filled by the test. Installs itself while it lives.
#pragma once

#include <deque>
#include <optional>
#include <vector>

#include "editor/ui/dialogs.h"

namespace editor_ui {

class ScriptedDialogs final : public Dialogs {
  public:
    ScriptedDialogs() { setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // Answers, used in order. With a queue empty, a message box answers Ok
    // (No for Yes/No), an input box and the open-file dialog are cancelled.
    std::deque<MessageAnswer> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<std::optional<QString>> openFileAnswers;
    // When set, process starts really happen (through startConsoleProgram).
    bool startProcessesForReal = false;
    bool processStartSucceeds = true;

    std::vector<MessageRequest> messages;
    std::vector<InputRequest> inputs;
    std::vector<OpenFileRequest> openFiles;
    std::vector<ProcessRequest> processes;

    MessageAnswer message(QWidget*, const MessageRequest& request) override {
        messages.push_back(request);
        if (!messageAnswers.empty()) {
            MessageAnswer answer = messageAnswers.front();
            messageAnswers.pop_front();
            return answer;
        }
        return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }

    std::optional<QString> input(QWidget*, const InputRequest& request) override {
        inputs.push_back(request);
        return next(inputAnswers);
    }

    std::optional<QString> openFile(QWidget*, const OpenFileRequest& request) override {
        openFiles.push_back(request);
        return next(openFileAnswers);
    }

    bool startProcess(const ProcessRequest& request, QString* error) override {
        processes.push_back(request);
        if (startProcessesForReal)
            return startConsoleProgram(request, error);
        if (!processStartSucceeds && error)
            *error = "scripted failure";
        return processStartSucceeds;
    }

  private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& queue) {
        if (queue.empty())
            return std::nullopt;
        std::optional<QString> answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

}  // namespace editor_ui
