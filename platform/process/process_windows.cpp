#include <windows.h>

#include <string>

#include "platform/errors/errors.h"
#include "platform/process/process.h"
#include "platform/text/unicode.h"

namespace platform::process {
namespace {

// The handle of the null device, for the command's standard input.
struct NullInput {
    HANDLE handle;
    NullInput() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        handle = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    }
    ~NullInput() {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

// This program's standard error as an inheritable handle, for the
// command's output: a redirected one is a file or a pipe, which a child
// inherits only when its handle says so.
struct InheritedError {
    HANDLE handle = nullptr;
    InheritedError() {
        const HANDLE own = GetStdHandle(STD_ERROR_HANDLE);
        if (own == nullptr || own == INVALID_HANDLE_VALUE ||
            !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &handle, 0, TRUE,
                             DUPLICATE_SAME_ACCESS))
            handle = own;
        else
            owned = true;
    }
    ~InheritedError() {
        if (owned)
            CloseHandle(handle);
    }
    bool owned = false;
};

}  // namespace

Result<int> runShellCommand(std::string_view command) {
    // The system's own command interpreter, never one found on the path.
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return errors::fromWindows("cannot find cmd.exe", GetLastError());
    const std::wstring shell = std::wstring(system, length) + L"\\cmd.exe";
    // /s: cmd takes the text between the first and the last quote as it
    // stands, so the command's own quotes are kept. /d: no AutoRun command.
    const std::u16string utf16 = text::utf8ToUtf16(command);
    std::wstring line =
        L"\"" + shell + L"\" /d /s /c \"" + std::wstring(utf16.begin(), utf16.end()) + L"\"";
    NullInput input;
    InheritedError output;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.handle;
    startup.hStdOutput = output.handle;
    startup.hStdError = output.handle;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &started))
        return errors::fromWindows("cannot start cmd.exe", GetLastError());
    CloseHandle(started.hThread);
    DWORD code = 0;
    const bool ended = WaitForSingleObject(started.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(started.hProcess, &code);
    const DWORD error = GetLastError();
    CloseHandle(started.hProcess);
    if (!ended)
        return errors::fromWindows("cannot wait for cmd.exe", error);
    return static_cast<int>(code);
}

}  // namespace platform::process
