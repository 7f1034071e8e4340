// Running a command line through the system's shell: `/bin/sh -c` on POSIX,
// `cmd.exe /c` on Windows. One implementation per system beside this header.
#pragma once

#include <string_view>

#include "platform/result.h"

namespace platform::process {

// Runs `command` (UTF-8) through the shell and waits for it to end. It reads
// nothing from this program's standard input, which may hold an answer meant
// for this program, and its standard output goes to this program's standard
// error, so that nothing it says mixes with this program's own output.
// Gives the command's exit code; an Error when the shell could not be
// started, or (on POSIX) the command was ended by a signal.
Result<int> runShellCommand(std::string_view command);

}  // namespace platform::process
