// Running a command line through the system's shell: `/bin/sh -c` on POSIX,
// `cmd.exe /c` on Windows. One implementation per system beside this header.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace platform::process {

// A value handed to the command in its environment. The command line
// names it by `reference(name)`, and the shell puts the value in as it
// runs the line without reading it as shell syntax: a path that holds `$`,
// a backquote, a quote or `%` stays that path.
struct Variable {
    std::string name;   // letters, digits and '_'
    std::string value;  // UTF-8
};

// How a command line of this system's shell names `name`'s value:
// `${name}` for /bin/sh, `%name%` for cmd.exe.
std::string reference(std::string_view name);

// Runs `command` (UTF-8) through the shell, with `variable` added to this
// program's environment, and waits for it to end. It reads nothing from
// this program's standard input, which may hold an answer meant for this
// program, and its standard output goes to this program's standard error,
// so that nothing it says mixes with this program's own output.
// Gives the command's exit code; an Error when the shell could not be
// started, or (on POSIX) the command was ended by a signal.
Result<int> runShellCommand(std::string_view command, const Variable& variable);

}  // namespace platform::process
