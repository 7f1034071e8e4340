// On Windows the file system itself finds names as Windows programs expect
// (letter case, trailing dots and blanks, '\'), and keeps the read-only
// attribute: each routine asks it directly.
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/files/files.h"
#include "platform/files/windows_access.h"
#include "platform/files/windows_errors.h"

namespace platform::files {
namespace fs = std::filesystem;

std::optional<fs::path> findWindowsPath(const fs::path& folder, std::string_view name,
                                        const Note&) {
    if (name.empty())
        return std::nullopt;
    const fs::path path = folder / pathFromUtf8(name);  // an absolute name replaces the folder
    if (::GetFileAttributesW(systemName(path).c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return path;
}

Status checkWritableAsOnWindows(const fs::path& path) {
    const std::wstring name = systemName(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return windowsError("cannot open", path, ::GetLastError());
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return Error{utf8Name(path) + " is read-only"};
    // Opened for writing as the commit will replace it, and closed at once:
    // this user's rights, and another process holding the file, show here.
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return windowsError("cannot write", path, ::GetLastError());
    ::CloseHandle(handle);
    return {};
}

std::string whyUnreadable(const fs::path& path) {
    const std::wstring name = systemName(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return reasonOf(::GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::strerror(EISDIR);
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return reasonOf(::GetLastError());
    const bool regular = ::GetFileType(handle) == FILE_TYPE_DISK;
    ::CloseHandle(handle);
    return regular ? "it could not be read" : "not a regular file";
}

}  // namespace platform::files
