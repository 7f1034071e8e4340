// Files as a Windows program reaches them: names matched without regard to
// letter case and without trailing dots and blanks, and the read-only
// attribute that no one, an administrator included, may write through.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/windows_names.h"
#include "platform/result.h"

namespace platform::files {

// Receives a sentence a user should read when a look-up had to choose.
using Note = std::function<void(const std::string& note)>;

// The file a Windows program opens for `name` (UTF-8; '\' and '/' both
// separate folders), taken against `folder` unless it is absolute. Each
// component is looked for in its folder: a name that is there exactly wins;
// otherwise the name without its trailing dots and blanks; otherwise the one
// name that differs from it only in letter case. Several such names: the
// first in byte order, and `note` says so. Every component but the last must
// be a folder. nullopt when a component matches nothing.
std::optional<std::filesystem::path> findWindowsPath(const std::filesystem::path& folder,
                                                     std::string_view name, const Note& note = {});

// How Windows reads a name, on UTF-8 text: the rule of common/windows_names.h
// (the installer's own), with the letter case of platform/text.

// One component as Windows opens it: without its trailing dots and blanks.
std::string_view keptComponent(std::string_view component);

// Why Windows cannot hold `component` (no separators in it) as a file name.
ComponentProblem windowsComponentProblem(std::string_view component);

// Whether two names land on one file to Windows.
bool sameWindowsFile(std::string_view a, std::string_view b);

// Refuses a file that a Windows program could not open for writing: one
// with no write permission for anyone (the read-only attribute), for every
// user, and one this user may not write.
Status checkWritableAsOnWindows(const std::filesystem::path& path);

}  // namespace platform::files
