#include "updater/input_file.h"

#include <algorithm>
#include <string>

#include "platform/files/files.h"

namespace updater {
namespace fs = std::filesystem;

std::optional<std::vector<std::byte>> readInputFile(const fs::path& workingDirectory,
                                                    std::string_view name) {
    if (name.empty())
        return std::nullopt;
    const fs::path asWritten(name);
    // readFile takes what the file yields, so a file that shrinks while it is
    // read (or reports more than it holds, as /sys files do) gives only the
    // bytes read.
    if (auto bytes = platform::files::readFile(workingDirectory / asWritten)) {
        return std::move(bytes).value();
    }
    if (asWritten.is_absolute() || name.find('\\') == std::string_view::npos)
        return std::nullopt;
    std::string slashed(name);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (auto bytes = platform::files::readFile(workingDirectory / fs::path(slashed))) {
        return std::move(bytes).value();
    }
    return std::nullopt;
}

}  // namespace updater
