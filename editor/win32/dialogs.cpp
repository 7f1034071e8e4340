#include "editor/win32/dialogs.h"

#include <commdlg.h>

#include <string>
#include <utility>
#include <vector>

#include "editor/win32/layout_window.h"
#include "editor/win32/resource.h"
#include "editor/win32/wide.h"
#include "platform/errors/errors.h"

namespace editor_win32 {
namespace {

using editor_core::MessageAnswer;
using editor_core::MessageButtons;
using editor_core::MessageIcon;

UINT messageBoxStyle(const editor_core::MessageRequest& request) {
    UINT style = request.buttons == MessageButtons::YesNo ? MB_YESNO : MB_OK;
    switch (request.icon) {
        case MessageIcon::Information:
            style |= MB_ICONINFORMATION;
            break;
        case MessageIcon::Exclamation:
            style |= MB_ICONEXCLAMATION;
            break;
        case MessageIcon::Question:
            style |= MB_ICONQUESTION;
            break;
    }
    return style;
}

// The filter list GetOpenFileNameW takes: description and pattern, each
// ending in a NUL, and one more NUL at the end.
std::wstring filterList(const editor_core::OpenFileRequest& request) {
    std::wstring list;
    for (const editor_core::FileFilter& filter : request.filters) {
        list += widen(filter.description);
        list += L'\0';
        list += widen(filter.pattern);
        list += L'\0';
    }
    list += L'\0';
    return list;
}

// The input box's dialog procedure; the request and the answer travel in a
// struct whose address is the dialog's user data.
struct InputBoxState {
    const editor_core::InputRequest* request;
    std::string answer;
};

INT_PTR CALLBACK inputBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            const auto* state = reinterpret_cast<const InputBoxState*>(lParam);
            setWindowText(dialog, state->request->title);
            setWindowText(GetDlgItem(dialog, IDC_INPUT_PROMPT), state->request->prompt);
            HWND answer = GetDlgItem(dialog, IDC_INPUT_ANSWER);
            setWindowText(answer, state->request->defaultAnswer);
            // The default answer is selected, so that typing replaces it.
            SendMessageW(answer, EM_SETSEL, 0, -1);
            SetFocus(answer);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                auto* state =
                    reinterpret_cast<InputBoxState*>(GetWindowLongPtrW(dialog, DWLP_USER));
                state->answer = windowText(GetDlgItem(dialog, IDC_INPUT_ANSWER));
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> showInputBox(HWND owner, const editor_core::InputRequest& request) {
    InputBoxState state{&request, {}};
    const INT_PTR result =
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INPUTBOX), owner,
                        inputBoxProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK)
        return std::nullopt;
    return state.answer;
}

MessageAnswer showMessage(HWND owner, const editor_core::MessageRequest& request) {
    const int answer = MessageBoxW(owner, widen(request.text).c_str(), widen(request.title).c_str(),
                                   messageBoxStyle(request));
    if (request.buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == IDYES ? MessageAnswer::Yes : MessageAnswer::No;
}

std::optional<std::string> chooseFile(HWND owner, const editor_core::OpenFileRequest& request) {
    const std::wstring title = widen(request.title);
    const std::wstring folder = widen(request.initialFolder);
    const std::wstring filters = filterList(request);
    // Room for a long path; the dialog refuses (and we cancel) beyond it.
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring start = widen(request.fileName);
    std::copy(start.begin(), start.begin() + std::min(start.size(), file.size() - 1), file.begin());
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = title.c_str();
    // OFN_NOCHANGEDIR: the editor's current directory stays where it was.
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&dialog))
        return std::nullopt;
    return narrow(file.data());
}

platform::Status startProcess(const editor_core::ProcessRequest& request) {
    const std::wstring program = widen(request.program);
    // The command line is the program's path alone, quoted for its blanks.
    std::wstring commandLine = L"\"" + program + L"\"";
    const std::wstring folder = widen(request.workingDirectory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE, nullptr, folder.empty() ? nullptr : folder.c_str(),
                        &startup, &process)) {
        return platform::errors::fromWindows("cannot start " + request.program, GetLastError());
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {};
}

}  // namespace editor_win32
