// On Windows the file system itself finds names as Windows programs expect
// (letter case, trailing dots and blanks, '\'), and keeps the read-only
// attribute: each routine asks it directly.
#include <windows.h>

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
    const std::wstring system = systemName(path);
    if (::GetFileAttributesW(system.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    // The last component as the folder holds it ("Installer.EXE" for
    // "installer.exe"), so that a file replaced keeps its own name. The name
    // opened above holds no wildcard: Windows opens no name with one.
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW(system.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return path;
    ::FindClose(search);
    return path.parent_path() / fs::path(std::wstring(entry.cFileName));
}

Status checkWritableAsOnWindows(const fs::path& path) {
    const std::wstring name = systemName(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return windowsError("cannot open", path, ::GetLastError());
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return Error{utf8Name(path) + " is read-only", ErrorKind::ReadOnly, ErrorOrigin::None, 0,
                     "read-only"};
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

}  // namespace platform::files
