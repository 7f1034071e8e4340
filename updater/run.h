// The updater's run: reads the install-info file of `workingDirectory` and
// replaces every resource of the installer there with its texts, files,
// extra-file table and icon.
#pragma once

#include <filesystem>
#include <iosfwd>

#include "common/updater_output.h"

namespace updater {

inline constexpr int kExitOk = updater_output::kExitOk;
inline constexpr int kExitFailed = updater_output::kExitFailed;

// How a run ends that stops before anything is written (install_info.ini or
// installer.exe cannot be opened): at once, as a script or a command prompt
// expects, or after the final key, so that a console window of the
// updater's own does not close on the reason before it is read.
enum class EarlyEnd { AtOnce, AfterKey };

// Prints one line per step on `out` and reads the final key from `in`. A
// character of a UTF-8 or UTF-16 install-info file that the ANSI code page
// cannot hold is written as '?' and named in one line on `err`; so is each
// skipped file and each reason the installer may not use the plugin, and
// before "Installer updated!" one more line counts these warnings.
// Returns the process exit code: kExitOk when the installer was updated,
// kExitFailed when it could not be opened or updated, or when install_info.ini
// is there but cannot be read.
int run(const std::filesystem::path& workingDirectory, std::ostream& out, std::ostream& err,
        std::istream& in, EarlyEnd earlyEnd = EarlyEnd::AtOnce);

}  // namespace updater
