// tamsel.exe's real Win32 windows, driven as a user would (WM_SETTEXT with
// its EN_CHANGE as typing, BM_CLICK on buttons, LB_SETCURSEL, keys through the
// message loop's dialog step), with every dialog answered by a FakeDialogs
// (scripted_windows.h). Runs under Wine with a virtual X server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editor/core/paths.h"
#include "editor/win32/backup_window.h"
#include "editor/win32/dialogs.h"
#include "editor/win32/main_window.h"
#include "editor/win32/resource.h"
#include "editor/win32/wide.h"
#include "tests/editor/save_scenarios.h"
#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"
#include "tests/win32/scripted_windows.h"

namespace win32_test {
namespace {

using editor_core::kBlackColour;
using editor_core::kRedColour;
using editor_core::MessageAnswer;
using editor_core::twipsToPixels;
using editor_win32::widen;
using editor_win32::windowText;
using test_support::readBytes;
using test_support::writeBytes;

class Win32Editor : public testing::Test {
  protected:
    std::string folderText() const { return editor_core::utf8Text(folder.path()); }
    std::filesystem::path infoFile() const { return folder / "install_info.ini"; }

    editor_win32::MainWindow& open() {
        window = std::make_unique<ScriptedMainWindow>(folderText(), dialogs);
        window->showAndActivate();
        pump();
        return *window;
    }
    static void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!editor_win32::handleDialogKeys(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    HWND control(const char* name, int index = -1) {
        HWND found = window->control(name, index);
        EXPECT_NE(found, nullptr) << "no control " << name;
        return found;
    }
    void type(std::string_view name, std::string_view text) {
        SendMessageW(control(std::string(name).c_str()), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(widen(text).c_str()));
    }
    static void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
    void click(const char* name, int index = -1) { click(control(name, index)); }
    static std::vector<std::string> entries(HWND list) {
        editor_win32::ListBoxControl control(list);
        std::vector<std::string> out;
        for (int i = 0; i < control.count(); ++i) out.push_back(control.entry(i));
        return out;
    }
    // The text colour the window gives a label to paint with.
    COLORREF paintedColour(const char* label) {
        HDC dc = CreateCompatibleDC(nullptr);
        SetTextColor(dc, RGB(1, 2, 3));
        SendMessageW(window->hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(control(label)));
        const COLORREF colour = GetTextColor(dc);
        DeleteDC(dc);
        return colour;
    }

    FakeDialogs dialogs;
    test_support::TempDir folder;
    std::unique_ptr<ScriptedMainWindow> window;
};

TEST_F(Win32Editor, SharedScenariosSaveTheSameBytesAsTheQtWindows) {
    using editor_scenarios::Edit;
    for (const editor_scenarios::SaveScenario& row : editor_scenarios::saveScenarios()) {
        SCOPED_TRACE(row.name);
        window.reset();
        editor_scenarios::prepareFolder(folder.path(), row);
        open();
        for (const editor_scenarios::Step& step : row.steps) {
            switch (step.edit) {
                case Edit::Type:
                    type(step.control, step.text);
                    break;
                case Edit::AddEntry:
                    dialogs.inputAnswers.push_back(std::string(step.text));
                    click("cmdAdd");
                    break;
                case Edit::SelectEntry:
                    SendMessageW(control("lstExtra"), LB_SETCURSEL, static_cast<WPARAM>(step.row),
                                 0);
                    break;
                case Edit::RemoveEntry:
                    click("cmdRemove");
                    break;
            }
        }
        dialogs.messages.clear();
        click("cmdSave");
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].title, "Saved");
        EXPECT_TRUE(test_support::matchesGolden(
            readBytes(infoFile()), std::filesystem::path(TAMSEL_EDITOR_DATA_DIR) / row.golden));
    }
}

TEST_F(Win32Editor, WatchedLabelsStartUncolouredThenPaintRedOrBlackAsTyped) {
    open();
    for (const char* label : {"lblName", "lblMsgBoxes", "lblFilename", "lblRun"})
        EXPECT_NE(paintedColour(label), kRedColour) << label << " is not yet coloured";
    struct Row {
        const char* fault;
        const char* box;
        const char* text;
        const char* label;
        COLORREF colour;
    };
    const Row rows[] = {
        {"a name typed turns its label black", "txtName", "N", "lblName", kBlackColour},
        {"emptying the name turns it red at once", "txtName", "", "lblName", kRedColour},
        {"a title of one blank counts as filled", "txtMsgBoxes", " ", "lblMsgBoxes", kBlackColour},
        {"an emptied plugin file name is red", "txtFilename", "", "lblFilename", kRedColour},
        {"a run file with no extra files is red", "txtRun", "x.txt", "lblRun", kRedColour},
        {"an empty run file is black", "txtRun", "", "lblRun", kBlackColour},
    };
    type("txtFilename", "f.dll");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        type(row.box, row.text);
        EXPECT_EQ(paintedColour(row.label), row.colour);
    }
    EXPECT_NE(paintedColour("lblProgID"), kRedColour) << "an unwatched label keeps its colour";
}

TEST_F(Win32Editor, WindowsAreFixedSizeAndLaidOutFromTheTwipsTables) {
    open();
    click("cmdBackup");
    ASSERT_NE(window->backupWindow(), nullptr);
    const std::pair<editor_win32::LayoutWindow*, const editor_core::WindowLayout*> windows[] = {
        {window.get(), &editor_core::kMainWindow},
        {window->backupWindow(), &editor_core::kBackupWindow}};
    LOGFONTW guiFont{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof guiFont, &guiFont);
    for (const auto& [built, layout] : windows) {
        SCOPED_TRACE(layout->name);
        HWND hwnd = built->hwnd();
        const int dpi = built->dpi();
        const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
        EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME)) << "fixed single border";
        EXPECT_TRUE(style & WS_MINIMIZEBOX);
        EXPECT_EQ(windowText(hwnd), layout->caption);
        EXPECT_NE(GetClassLongPtrW(hwnd, GCLP_HICON), 0) << "the program's icon";
        RECT client{};
        GetClientRect(hwnd, &client);
        EXPECT_EQ(client.right, twipsToPixels(layout->clientWidth, dpi));
        EXPECT_EQ(client.bottom, twipsToPixels(layout->clientHeight, dpi));
        for (const editor_core::Control& each : layout->controls) {
            SCOPED_TRACE(std::string(each.name) + " " + std::to_string(each.arrayIndex));
            HWND child = built->control(each.name, each.arrayIndex);
            ASSERT_NE(child, nullptr);
            const bool captioned = each.kind != editor_core::ControlKind::TextBox &&
                                   each.kind != editor_core::ControlKind::ListBox &&
                                   each.name != "lblInfo";  // set by Form_Load
            if (captioned) {
                EXPECT_EQ(windowText(child), each.caption);
            }
            EXPECT_EQ(IsWindowVisible(child) != FALSE, each.visible);
            // A frame's controls stand from the frame's corner.
            POINT at{twipsToPixels(each.left, dpi), twipsToPixels(each.top, dpi)};
            for (const editor_core::Control& frame : layout->controls) {
                if (!each.container.empty() && frame.name == each.container) {
                    at.x += twipsToPixels(frame.left, dpi);
                    at.y += twipsToPixels(frame.top, dpi);
                }
            }
            RECT placed{};
            GetWindowRect(child, &placed);
            MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&placed), 2);
            EXPECT_EQ(placed.left, at.x);
            EXPECT_EQ(placed.top, at.y);
            EXPECT_EQ(placed.right - placed.left, twipsToPixels(each.width, dpi));
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font,
                       &font);
            EXPECT_EQ(std::wstring(font.lfFaceName), std::wstring(guiFont.lfFaceName));
        }
    }
}

TEST_F(Win32Editor, TabFollowsTheTabIndexAndArrowsMoveTheListSelection) {
    open();
    // Added without a click: BM_CLICK would give the button the focus.
    window->lstExtra().add("a.txt");
    window->lstExtra().add("b.txt");
    std::vector<HWND> chain;
    for (const char* name : {"txtWarning", "txtMsgBoxes", "txtProgID", "txtName", "txtFilename",
                             "txtIcon", "txtRun", "lstExtra", "cmdAdd", "cmdRemove"})
        chain.push_back(control(name));
    for (int i = 0; i < 8; ++i) chain.push_back(control("cmdHelp", i));
    for (const char* name : {"cmdSave", "cmdLoad", "cmdBackup", "txtWarning"})
        chain.push_back(control(name));
    auto press = [](HWND target, WPARAM key) {
        MSG message{target, WM_KEYDOWN, key, 0, 0, {}};
        EXPECT_TRUE(editor_win32::handleDialogKeys(message));
        pump();
    };
    for (std::size_t i = 0; i < chain.size(); ++i) {
        ASSERT_EQ(GetFocus(), chain[i]) << "after " << i << " Tab presses";
        press(chain[i], VK_TAB);
    }
    HWND list = control("lstExtra");
    SetFocus(list);
    for (int expected : {0, 1, 1}) {
        press(list, VK_DOWN);
        EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), expected);
    }
}

TEST_F(Win32Editor, ButtonsAskWhatTheCoreAsks) {
    writeBytes(infoFile(), "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n");
    open();
    click("cmdHelp", 4);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].title, "Help?");
    EXPECT_EQ(dialogs.messages[0].icon, editor_core::MessageIcon::Information);
    click("cmdLoad");  // cancelled: nothing changes
    ASSERT_EQ(dialogs.openFiles.size(), 1u);
    EXPECT_EQ(dialogs.openFiles[0].title, "Choose any Scrambler List");
    EXPECT_EQ(dialogs.openFiles[0].initialFolder, folderText());
    EXPECT_EQ(windowText(control("txtName")), "N");
    dialogs.messageAnswers = {MessageAnswer::Yes};
    click("cmdSave");
    ASSERT_EQ(dialogs.processes.size(), 1u);
    EXPECT_EQ(dialogs.processes[0].program,
              editor_core::inFolder(folderText(), "updater.exe"));
    EXPECT_EQ(dialogs.processes[0].workingDirectory, folderText());
}

TEST_F(Win32Editor, BackupWindowOpensOnceMakesABackupAndEditLoadsItAndCloses) {
    writeBytes(infoFile(), "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n");
    open();
    click("cmdBackup");
    editor_win32::BackupWindow* backup = window->backupWindow();
    ASSERT_NE(backup, nullptr);
    EXPECT_TRUE(IsWindowVisible(backup->hwnd()));
    EXPECT_EQ(windowText(backup->control("lblInfo")),
              "Use this to backup your existing install file.");
    click("cmdBackup");
    EXPECT_EQ(window->backupWindow(), backup) << "one backup window, not two";
    dialogs.inputAnswers = {"first"};
    click(backup->control("cmdMake"));
    EXPECT_EQ(entries(backup->control("lstBackups")), std::vector<std::string>{"first"});
    EXPECT_NE(readBytes(folder / "first").find("Name=N"), std::string::npos);
    type("txtName", "Changed");
    SendMessageW(backup->control("lstBackups"), LB_SETCURSEL, 0, 0);
    click(backup->control("cmdEdit"));
    EXPECT_EQ(window->backupWindow(), nullptr) << "Edit closes the backup window";
    EXPECT_EQ(windowText(control("txtName")), "N");
}

// Not a check: with TAMSEL_SCREENSHOT_DIR set (scripts/win32_screenshots.sh),
// shows both windows on the demo's record, writes where they stand to
// windows.txt there, and holds them until the script has made "done".
TEST_F(Win32Editor, ShowsBothWindowsForScreenshots) {
    const char* pictures = std::getenv("TAMSEL_SCREENSHOT_DIR");
    if (!pictures)
        GTEST_SKIP() << "only for scripts/win32_screenshots.sh";
    const std::filesystem::path out(pictures);
    writeBytes(infoFile(), readBytes(std::filesystem::path(TAMSEL_SOURCE_DIR) / "demo/install_info.ini"));
    open();
    click("cmdBackup");
    dialogs.inputAnswers = {"Before the demo"};
    click(window->backupWindow()->control("cmdMake"));
    std::string places;
    int left = 10;
    for (auto [name, hwnd] : {std::pair{"main", window->hwnd()},
                              std::pair{"backup", window->backupWindow()->hwnd()}}) {
        SetWindowPos(hwnd, nullptr, left, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        RECT at{};
        GetWindowRect(hwnd, &at);
        places += std::string(name) + " " + std::to_string(at.right - at.left) + "x" +
                  std::to_string(at.bottom - at.top) + "+" + std::to_string(at.left) + "+" +
                  std::to_string(at.top) + "\n";
        left = at.right + 10;
    }
    SetFocus(control("txtWarning"));
    writeBytes(out / "windows.txt", places);
    for (int waited = 0; waited < 600 && !std::filesystem::exists(out / "done"); ++waited) {
        pump();
        Sleep(50);
    }
}

// The native input box, answered by keys posted once it shows.
struct KeyRow {
    const char* name;
    WPARAM key;
    std::optional<std::string> answer;
};
const KeyRow* currentKey = nullptr;
std::string shownDefault;

// Types into the input box once it shows, then presses the row's key.
VOID CALLBACK answerInputBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowW(L"#32770", L"Backup name");
    if (!box || !shownDefault.empty())
        return;
    HWND answer = GetDlgItem(box, IDC_INPUT_ANSWER);
    shownDefault = windowText(answer);
    editor_win32::setWindowText(answer, "typed \u00E9");
    PostMessageW(answer, WM_KEYDOWN, currentKey->key, 0);
}

TEST(Win32InputBox, EnterAnswersWithTheTypedTextAndEscapeCancels) {
    const KeyRow rows[] = {{"Enter is OK", VK_RETURN, "typed \u00E9"},
                           {"Escape is Cancel", VK_ESCAPE, std::nullopt}};
    for (const KeyRow& row : rows) {
        SCOPED_TRACE(row.name);
        currentKey = &row;
        shownDefault.clear();
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, answerInputBox);
        const std::optional<std::string> answer = editor_win32::showInputBox(
            nullptr, {"Please enter a backup name.", "Backup name", "My plugin"});
        KillTimer(nullptr, timer);
        EXPECT_EQ(shownDefault, "My plugin");
        EXPECT_EQ(answer, row.answer);
    }
}

TEST(Win32ProcessStart, AProgramThatCannotStartSaysWhyWithTheWindowsCode) {
    test_support::TempDir folder;
    const std::string program = editor_core::utf8Text(folder / "updater.exe");
    const platform::Status started =
        editor_win32::startProcess({program, editor_core::utf8Text(folder.path())});
    ASSERT_FALSE(started);
    EXPECT_EQ(started.error().origin, platform::ErrorOrigin::Windows);
    EXPECT_EQ(started.error().code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(started.message(),
              "cannot start " + program + ": No such file or directory (Windows error 2)");
}

}  // namespace
}  // namespace win32_test
