// The updater's closing count of its warnings, written on standard error
// before "Installer updated!": the editor's window finds it there and
// repeats it in its status line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace update_warnings {

// How every count line ends, whatever the count.
inline constexpr std::string_view kCountLineEnd = " above: the installer may not work as intended.";

// "1 warning above: ...", "2 warnings above: ...".
inline std::string countLine(std::size_t warnings) {
    return std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
           std::string(kCountLineEnd);
}

}  // namespace update_warnings
