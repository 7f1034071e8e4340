// For the Windows implementation files of this layer only: names as Windows
// takes them, and Windows errors told as the C library tells its own, so
// that a message reads the same on every platform.
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

// The C library's error number for a Windows error code.
int errnoOf(DWORD error);

// Whether the error says that another process holds the file.
bool isInUse(DWORD error);

// The reason in words: the C library's text for errnoOf(error) ("No such
// file or directory"), or that another process holds the file.
std::string reasonOf(DWORD error);

// "<what> <path>: <reason>", with the kind and the C library's error number
// of errnoOf(error), as fileError makes it from errno.
Error windowsError(std::string_view what, const std::filesystem::path& path, DWORD error);

}  // namespace platform::files
