#include "updater/input_file.h"

#include "platform/files/files.h"

namespace updater {
namespace fs = std::filesystem;

std::optional<std::vector<std::byte>> readInputFile(const fs::path& workingDirectory,
                                                    std::string_view name) {
    // readFile takes what the file yields, so a file that shrinks while it is
    // read (or reports more than it holds, as /sys files do) gives only the
    // bytes read.
    return withInputFile(workingDirectory, name,
                         [](const fs::path& path) -> std::optional<std::vector<std::byte>> {
                             if (auto bytes = platform::files::readFile(path))
                                 return std::move(bytes).value();
                             return std::nullopt;
                         });
}

}  // namespace updater
