// Reading the files an install-info file names (plugin, extra files, icon).
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

// Hands `read` the path of the file `name`, and on a nullopt the second
// path to try (as readInputFile below), returning the first value read.
template <typename Read>
auto withInputFile(const std::filesystem::path& workingDirectory, std::string_view name,
                   const Read& read) -> decltype(read(workingDirectory)) {
    if (name.empty())
        return std::nullopt;
    const std::filesystem::path asWritten(name);
    if (auto value = read(workingDirectory / asWritten))
        return value;
    if (asWritten.is_absolute() || name.find('\\') == std::string_view::npos)
        return std::nullopt;
    std::string slashed(name);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return read(workingDirectory / std::filesystem::path(slashed));
}

// Reads the file `name` whole. A relative name is taken against
// `workingDirectory`, an absolute one unchanged. A relative name written on
// Windows ("data\readme.txt") that does not open as written is tried again
// with each '\' read as a folder separator. nullopt when it cannot be opened
// (an empty name, a missing file, a folder); the bytes are those the file
// actually yielded.
std::optional<std::vector<std::byte>> readInputFile(const std::filesystem::path& workingDirectory,
                                                    std::string_view name);

}  // namespace updater
