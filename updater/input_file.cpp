#include "updater/input_file.h"

#include <utility>

#include "platform/files/files.h"
#include "platform/files/windows_access.h"
#include "platform/text/codepage.h"

namespace updater {
namespace fs = std::filesystem;

namespace {

std::string toFileSystemName(std::string_view ansiName) {
    return platform::text::ansiToUtf8(ansiName, platform::text::ansiCodePage()).utf8;
}

void warnSkipped(const Warn& warn, std::string_view utf8Name, std::string_view reason,
                 std::string_view consequence = {}) {
    if (warn)
        warn("couldn't read \"" + std::string(utf8Name) + "\": " + std::string(reason) +
             (consequence.empty() ? "" : "; " + std::string(consequence)));
}

}  // namespace

InputFileLookup::InputFileLookup(const fs::path& workingDirectory, std::string_view ansiName,
                                 Warn warn)
    : workingDirectory_(workingDirectory),
      name_(toFileSystemName(ansiName)),
      warn_(std::move(warn)),
      asWritten_(workingDirectory / platform::files::pathFromUtf8(name_)) {}

std::optional<fs::path> InputFileLookup::next() {
    switch (step_++) {
        case 0:
            return asWritten_;
        case 1:
            // Only a name that is not there as written is looked for, so a
            // choice among names that differ in case is said only when made.
            if (auto found = platform::files::findWindowsPath(workingDirectory_, name_, warn_);
                found && *found != asWritten_)
                return found;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

void InputFileLookup::reportUnreadable(const platform::Error& failure,
                                       std::string_view consequence) const {
    warnSkipped(warn_, name_, failure.why(), consequence);
}

void warnUnreadable(const Warn& warn, std::string_view ansiName, std::string_view reason) {
    warnSkipped(warn, toFileSystemName(ansiName), reason);
}

fs::path locateFile(const fs::path& workingDirectory, std::string_view ansiName, const Warn& warn) {
    const std::string name = toFileSystemName(ansiName);
    return platform::files::findWindowsPath(workingDirectory, name, warn)
        .value_or(workingDirectory / platform::files::pathFromUtf8(name));
}

std::optional<std::vector<std::byte>> readInputFile(const fs::path& workingDirectory,
                                                    std::string_view name, const Warn& warn) {
    // readFile takes what the file yields, so a file that shrinks while it is
    // read (or reports more than it holds, as /sys files do) gives only the
    // bytes read.
    return withInputFile(workingDirectory, name, warn,
                         [](const fs::path& path) { return platform::files::readFile(path); });
}

}  // namespace updater
