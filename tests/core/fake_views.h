// Fake windows for the editor core: they hold what a window would show, record
// every dialog asked for, and answer from queues the test fills.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "editor/core/frm_backup_core.h"
#include "editor/core/frm_main_core.h"
#include "editor/core/views.h"

namespace core_test {

using namespace editor_core;

class FakeList final : public ListControl {
  public:
    std::vector<std::string> entries;
    int selection = -1;

    int count() const override { return static_cast<int>(entries.size()); }
    std::string entry(int index) const override { return entries.at(static_cast<std::size_t>(index)); }
    void add(const std::string& text) override { entries.push_back(text); }
    void remove(int index) override {
        entries.erase(entries.begin() + index);
        selection = -1;
    }
    void clear() override {
        entries.clear();
        selection = -1;
    }
    int selected() const override { return selection; }
    void select(int index) override { selection = index; }
};

// Every dialog a window is asked for, recorded, with answers from queues the
// test fills. With a queue empty, a message box answers Ok (No for Yes/No),
// an input box and the open-file dialog are cancelled; a start of the updater
// succeeds unless `startError` is set, and then fails with it.
struct FakeDialogs {
    std::deque<MessageAnswer> messageAnswers;
    std::deque<std::optional<std::string>> inputAnswers;
    std::deque<std::optional<std::string>> openFileAnswers;
    std::optional<platform::Error> startError;
    std::vector<MessageRequest> messages;
    std::vector<InputRequest> inputs;
    std::vector<OpenFileRequest> openFiles;
    std::vector<ProcessRequest> processes;

    MessageAnswer message(const MessageRequest& request) {
        messages.push_back(request);
        return next(messageAnswers, request.buttons == MessageButtons::YesNo ? MessageAnswer::No
                                                                             : MessageAnswer::Ok);
    }
    std::optional<std::string> input(const InputRequest& request) {
        inputs.push_back(request);
        return next(inputAnswers, std::optional<std::string>());
    }
    std::optional<std::string> openFile(const OpenFileRequest& request) {
        openFiles.push_back(request);
        return next(openFileAnswers, std::optional<std::string>());
    }
    platform::Status start(const ProcessRequest& request) {
        processes.push_back(request);
        if (startError)
            return *startError;
        return {};
    }

  private:
    template <typename Answer>
    static Answer next(std::deque<Answer>& queue, Answer unanswered) {
        if (queue.empty())
            return unanswered;
        Answer answer = std::move(queue.front());
        queue.pop_front();
        return answer;
    }
};

// A front end's window (Qt or Win32) with its dialogs answered by a
// FakeDialogs in place of the toolkit's; `Window` implements a view of
// views.h, and Args are its constructor's.
template <typename Window>
class DialogsAnswered : public Window {
  public:
    template <typename... Args>
    explicit DialogsAnswered(FakeDialogs& dialogs, Args&&... args)
        : Window(std::forward<Args>(args)...), dialogs_(dialogs) {}

    MessageAnswer messageBox(const MessageRequest& request) override {
        return dialogs_.message(request);
    }
    std::optional<std::string> inputBox(const InputRequest& request) override {
        return dialogs_.input(request);
    }

  protected:
    FakeDialogs& dialogs_;
};

// The same for a main window, whose open-file dialog and updater start are
// answered too.
template <typename Window>
class MainDialogsAnswered : public DialogsAnswered<Window> {
  public:
    using DialogsAnswered<Window>::DialogsAnswered;

    std::optional<std::string> openFileDialog(const OpenFileRequest& request) override {
        return this->dialogs_.openFile(request);
    }
    platform::Status startUpdater(const ProcessRequest& request) override {
        return this->dialogs_.start(request);
    }
};

class FakeBackupView final : public BackupView {
  public:
    std::string info;
    FakeList list;
    FakeDialogs& dialogs;
    bool closed = false;

    explicit FakeBackupView(FakeDialogs& d) : dialogs(d) {}

    MessageAnswer messageBox(const MessageRequest& request) override {
        return dialogs.message(request);
    }
    std::optional<std::string> inputBox(const InputRequest& request) override {
        return dialogs.input(request);
    }
    void setInfoCaption(const std::string& caption) override { info = caption; }
    ListControl& lstBackups() override { return list; }
    void closeWindow() override { closed = true; }
};

class FakeMainView final : public MainView {
  public:
    std::array<std::string, kTextBoxCount> boxes;
    FakeList list;
    std::array<LabelState, kWatchedLabelCount> colours{};
    FakeDialogs& dialogs;
    int shown = 0;
    // The backup window the core had created last, and how often it asked.
    std::optional<FakeBackupView> backupView;
    std::optional<FrmBackup> backup;
    int backupWindowOpenings = 0;
    int backupWindowShowings = 0;

    explicit FakeMainView(FakeDialogs& d) : dialogs(d) {}

    std::string text(TextBox box) const override { return boxes[static_cast<std::size_t>(box)]; }
    void setText(TextBox box, const std::string& text) override {
        boxes[static_cast<std::size_t>(box)] = text;
    }
    ListControl& lstExtra() override { return list; }
    void setLabelColour(WatchedLabel label, LabelState state) override {
        colours[static_cast<std::size_t>(label)] = state;
    }
    MessageAnswer messageBox(const MessageRequest& request) override {
        return dialogs.message(request);
    }
    std::optional<std::string> inputBox(const InputRequest& request) override {
        return dialogs.input(request);
    }
    std::optional<std::string> openFileDialog(const OpenFileRequest& request) override {
        return dialogs.openFile(request);
    }
    platform::Status startUpdater(const ProcessRequest& request) override {
        return dialogs.start(request);
    }
    FrmBackup& createBackupWindow(FrmMain& main) override {
        ++backupWindowOpenings;
        backup.reset();
        backupView.emplace(dialogs);
        return backup.emplace(*backupView, main);
    }
    void showBackupWindow() override { ++backupWindowShowings; }
    void showWindow() override { ++shown; }
};

// A user typing into a box of the main window: the text changes, then the
// window reports the change.
inline void type(FakeMainView& view, FrmMain& core, TextBox box, const std::string& text) {
    view.setText(box, text);
    core.textChanged(box);
}

}  // namespace core_test
