// Paths cross the core's interfaces as UTF-8 text. std::filesystem::path
// takes a char string in the system's narrow encoding, which on Windows is the
// ANSI code page; going through char8_t keeps every character on both systems.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace editor_core {

inline std::filesystem::path utf8Path(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A file of the program folder, as the editor names it.
inline std::string inFolder(const std::string& folder, std::string_view file) {
    return utf8Text(utf8Path(folder) / utf8Path(file));
}

}  // namespace editor_core
