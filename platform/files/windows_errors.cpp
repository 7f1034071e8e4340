#include "platform/files/windows_errors.h"

#include <cerrno>
#include <cstring>

#include "platform/files/files.h"

namespace platform::files {
namespace fs = std::filesystem;

std::wstring systemName(const fs::path& path) {
    std::wstring name = path.wstring();
    // Short names, and names already in a device or long form, go as they are.
    if (name.size() < MAX_PATH - 12 || name.starts_with(L"\\\\"))
        return name;
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec)
        return name;
    std::wstring full = absolute.lexically_normal().make_preferred().wstring();
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return 0;
    }
}

std::string systemText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    // A reason follows a colon in our messages: no line end, no full stop.
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' ||
            message.back() == L' '))
        message.pop_back();
    if (message.empty())
        return "Windows error " + std::to_string(error);
    return utf8Name(fs::path(message));
}

bool isInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::string reasonOf(DWORD error) {
    if (isInUse(error))
        return "it is in use by another process";
    if (const int code = errnoOf(error))
        return std::strerror(code);
    return systemText(error);
}

Error windowsError(std::string_view what, const fs::path& path, DWORD error) {
    const int code = errnoOf(error);
    if (code && !isInUse(error))
        return fileError(what, path, code);
    // In use, or a code the C library has no number for: the system's own
    // words, and for the latter its own code rather than a guessed EIO.
    std::string reason = reasonOf(error);
    return Error{std::string(what) + " " + utf8Name(path) + ": " + reason,
                 isInUse(error) ? ErrorKind::AccessDenied : ErrorKind::Io,
                 isInUse(error) ? EACCES : static_cast<int>(error), std::move(reason)};
}

}  // namespace platform::files
