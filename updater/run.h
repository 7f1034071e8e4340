// The updater's run: reads the install-info file of `workingDirectory` and
// replaces every resource of the installer there with its texts, files,
// extra-file table and icon.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace updater {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;

// Prints one line per step on `out` and reads the final key from `in`. A
// character of a UTF-8 or UTF-16 install-info file that the ANSI code page
// cannot hold is written as '?' and named in one line on `err`; so is each
// skipped file and each reason the installer may not use the plugin, and
// before "Installer updated!" one more line counts these warnings.
// Returns the process exit code: kExitOk when the installer was updated,
// kExitFailed when it could not be opened or updated, or when install_info.ini
// is there but cannot be read.
int run(const std::filesystem::path& workingDirectory, std::ostream& out, std::ostream& err,
        std::istream& in);

}  // namespace updater
