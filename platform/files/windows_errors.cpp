#include "platform/files/windows_errors.h"

#include "platform/errors/errors.h"
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

Error windowsError(std::string_view what, const fs::path& path, DWORD error) {
    return errors::fromWindows(std::string(what) + " " + utf8Name(path), error);
}

}  // namespace platform::files
