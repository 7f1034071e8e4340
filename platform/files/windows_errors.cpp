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
        return EIO;
    }
}

bool isInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::string reasonOf(DWORD error) {
    if (isInUse(error))
        return "it is in use by another process";
    return std::strerror(errnoOf(error));
}

Error windowsError(std::string_view what, const fs::path& path, DWORD error) {
    if (!isInUse(error))
        return fileError(what, path, errnoOf(error));
    std::string reason = reasonOf(error);
    return Error{std::string(what) + " " + utf8Name(path) + ": " + reason,
                 ErrorKind::AccessDenied, EACCES, std::move(reason)};
}

}  // namespace platform::files
