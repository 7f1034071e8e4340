// The Win32 dialog seam scripted for tests: records every request and answers
// from queues (core_test::FakeDialogs). Installs
// itself while it lives.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "editor/win32/dialogs.h"
#include "tests/core/fake_views.h"

namespace win32_test {

class ScriptedDialogs final : public editor_win32::Dialogs {
  public:
    ScriptedDialogs() { editor_win32::setDialogs(this); }
    ~ScriptedDialogs() override { editor_win32::setDialogs(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    core_test::FakeDialogs boxes;  // what was asked, and the answers
    std::vector<HWND> owners;      // the owner of each box and dialog, in order

    editor_core::MessageAnswer message(HWND owner,
                                       const editor_core::MessageRequest& request) override {
        owners.push_back(owner);
        return boxes.message(request);
    }
    std::optional<std::string> input(HWND owner,
                                     const editor_core::InputRequest& request) override {
        owners.push_back(owner);
        return boxes.input(request);
    }
    std::optional<std::string> openFile(HWND owner,
                                        const editor_core::OpenFileRequest& request) override {
        owners.push_back(owner);
        return boxes.openFile(request);
    }
    bool startProcess(const editor_core::ProcessRequest& request, std::string& error) override {
        return boxes.start(request, error);
    }
};

}  // namespace win32_test
