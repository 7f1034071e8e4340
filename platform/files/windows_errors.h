// For Windows implementation files: names as Windows takes them, and a
// failed call on a file as an Error that keeps Windows' own code.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform::files {

// The name to hand a wide (W) function: the path's UTF-16, past MAX_PATH in
// the long form ("\\?\C:\...") so that no limit applies of our own making.
std::wstring systemName(const std::filesystem::path& path);

// "<what> <path>: <reason>" for a Windows error code, which the Error keeps
// (platform::errors::fromWindows).
Error windowsError(std::string_view what, const std::filesystem::path& path, DWORD error);

}  // namespace platform::files
