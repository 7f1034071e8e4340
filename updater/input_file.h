// Reading the files an install-info file names (plugin, extra files, icon).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace updater {

// Reads the file `name` whole. A relative name is taken against
// `workingDirectory`, an absolute one unchanged. A relative name written on
// Windows ("data\readme.txt") that does not open as written is tried again
// with each '\' read as a folder separator. nullopt when it cannot be opened
// (an empty name, a missing file, a folder); the bytes are those the file
// actually yielded.
std::optional<std::vector<std::byte>> readInputFile(const std::filesystem::path& workingDirectory,
                                                    std::string_view name);

}  // namespace updater
