// For Windows implementation files: names as Windows takes them, and Windows
// errors told as the C library tells its own, so that a message reads the
// same on every platform.
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

// The C library's error number for a Windows error code, or 0 for a code it
// has no number for.
int errnoOf(DWORD error);

// The system's own text for a Windows error code (FormatMessageW), without
// its line end and full stop, in UTF-8.
std::string systemText(DWORD error);

// Whether the error says that another process holds the file.
bool isInUse(DWORD error);

// The reason in words: the C library's text for errnoOf(error) ("No such
// file or directory"), that another process holds the file, or else the
// system's own text.
std::string reasonOf(DWORD error);

// "<what> <path>: <reason>", with the kind and the C library's error number
// of errnoOf(error), as fileError makes it from errno; a code without one
// stays itself (ErrorKind::Io, the Windows code) with the system's text.
Error windowsError(std::string_view what, const std::filesystem::path& path, DWORD error);

}  // namespace platform::files
