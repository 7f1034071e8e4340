#include <windows.h>

#include <cwchar>
#include <string>
#include <string_view>

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

// The name of an environment block's entry "NAME=value"; entries of the
// system's own ("=C:=C:\\") start with '=', which is part of their name.
std::wstring_view nameOf(std::wstring_view entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

// This program's environment block with `name` set to `value`, in the
// block's order (names sorted, letter case aside), an inherited entry of
// the same name replaced.
std::wstring environmentWith(const std::wstring& name, const std::wstring& value) {
    std::wstring block;
    bool placed = false;
    const auto place = [&] {
        block += name;
        block += L'=';
        block += value;
        block += L'\0';
        placed = true;
    };
    if (wchar_t* own = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = own; *entry != 0; entry += wcslen(entry) + 1) {
            const std::wstring_view other = nameOf(entry);
            const int order =
                CompareStringOrdinal(other.data(), static_cast<int>(other.size()), name.data(),
                                     static_cast<int>(name.size()), TRUE);
            if (order == CSTR_EQUAL)
                continue;
            if (order == CSTR_GREATER_THAN && !placed)
                place();
            block += entry;
            block += L'\0';
        }
        FreeEnvironmentStringsW(own);
    }
    if (!placed)
        place();
    block += L'\0';
    return block;
}

std::wstring wide(std::string_view utf8) {
    const std::u16string utf16 = text::utf8ToUtf16(utf8);
    return std::wstring(utf16.begin(), utf16.end());
}

}  // namespace

std::string reference(std::string_view name) {
    std::string text = "%";
    text += name;
    text += '%';
    return text;
}

Result<int> runShellCommand(std::string_view command, const Variable& variable) {
    // The system's own command interpreter, never one found on the path.
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return errors::fromWindows("cannot find cmd.exe", GetLastError());
    const std::wstring shell = std::wstring(system, length) + L"\\cmd.exe";
    // /s: cmd takes the text between the first and the last quote as it
    // stands, so the command's own quotes are kept. /d: no AutoRun command.
    // /v:off: a `!` in the variable's value is never read as delayed expansion.
    std::wstring line = L"\"";
    line += shell;
    line += L"\" /d /v:off /s /c \"";
    line += wide(command);
    line += L'"';
    std::wstring environment = environmentWith(wide(variable.name), wide(variable.value));
    NullInput input;
    InheritedError output;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.handle;
    startup.hStdOutput = output.handle;
    startup.hStdError = output.handle;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(shell.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                        &started))
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
