// Errors of the system as Error values: the system's own code kept with its
// origin, a kind derived from it for the program's own decisions, and a
// reason in the same words on every platform where the two systems agree.
// One header; the parts that ask the system are in errors_posix.cpp and
// errors_windows.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform::errors {

// "<what>: <reason>" for a C library error number, with the C library's text.
Error fromErrno(std::string_view what, int code);

// "<what>: <reason>" for a Windows error code (GetLastError()). The reason
// is the C library's text where the code has an errno value of the same
// meaning, so that a message reads the same on every platform; for a file
// another process holds, that it is in use; else the system's own text.
// The code stays the Windows code.
Error fromWindows(std::string_view what, std::uint32_t code);

// A code of this system's own kind, as std::system_category() holds it:
// errno on POSIX, a Windows error code on Windows.
Error fromSystem(std::string_view what, int code);

// The C library's error number of the same meaning as a Windows error code,
// or 0 where there is none.
int errnoOfWindows(std::uint32_t code);

// Whether a Windows error code says that another process holds the file.
bool isInUse(std::uint32_t code);

// The system's own text for a Windows error code (FormatMessageW), in UTF-8,
// without its line end and full stop; "Windows error <code>" where the
// system has none, as on every system but Windows.
std::string windowsText(std::uint32_t code);

}  // namespace platform::errors
