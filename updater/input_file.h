// Reading the files an install-info file names (plugin, extra files, icon).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace updater {

// Receives what a user should know about a named file: one sentence, without
// "warning: " or a line end. May be empty.
using Warn = std::function<void(const std::string& message)>;

// The paths to try for a name from the install-info file, in order. The name
// arrives in the ANSI code page and is taken in UTF-8, the file system's
// encoding: first as written (a relative name against `workingDirectory`),
// then as Windows would find it ('\' as a folder separator, letter case and
// trailing dots and blanks ignored).
class InputFileLookup {
  public:
    InputFileLookup(const std::filesystem::path& workingDirectory, std::string_view ansiName,
                    Warn warn);
    // The next path to try; nullopt when none is left.
    std::optional<std::filesystem::path> next();
    // Says through `warn` that the file could not be read, and why; then
    // what follows from it, when `consequence` is not empty.
    void reportUnreadable(const platform::Error& failure, std::string_view consequence = {}) const;

  private:
    std::filesystem::path workingDirectory_;
    std::string name_;  // UTF-8
    Warn warn_;
    int step_ = 0;
    std::filesystem::path asWritten_;
};

// Hands `read` each path of InputFileLookup in turn and returns the first
// value read (`read` gives a platform::Result). When none gives one, `warn`
// says that the file was skipped, with the reason of the last path tried:
// the file Windows would have found where there is one, and `consequence`
// (see reportUnreadable). An empty name is no file at all and gives no warning.
template <typename Read>
auto withInputFile(const std::filesystem::path& workingDirectory, std::string_view name,
                   const Warn& warn, const Read& read, std::string_view consequence = {})
    -> std::optional<typename decltype(read(workingDirectory))::value_type> {
    if (name.empty())
        return std::nullopt;
    InputFileLookup lookup(workingDirectory, name, warn);
    std::optional<platform::Error> failure;
    while (auto path = lookup.next()) {
        auto value = read(*path);
        if (value)
            return std::move(value).value();
        failure = value.error();
    }
    if (failure)
        lookup.reportUnreadable(*failure, consequence);
    return std::nullopt;
}

// Says through `warn` that the file `ansiName` was skipped for `reason`.
void warnUnreadable(const Warn& warn, std::string_view ansiName, std::string_view reason);

// The file a fixed name of the working folder (install_info.ini,
// installer.exe) stands for, found as Windows would find it; the name as
// written when nothing matches, so that opening it reports the missing file.
std::filesystem::path locateFile(const std::filesystem::path& workingDirectory,
                                 std::string_view ansiName, const Warn& warn);

// Reads the file `name` whole (see withInputFile). nullopt when it cannot be
// read (an empty name, a missing file, a folder); the bytes are those the
// file actually yielded.
std::optional<std::vector<std::byte>> readInputFile(const std::filesystem::path& workingDirectory,
                                                    std::string_view name, const Warn& warn = {});

}  // namespace updater
