// What the updater tells whoever started it, beyond its step lines: its exit
// codes, its final key prompt, and the count of its warnings on standard
// error before "Installer updated!". The editor's console window reads the
// same words to say in its status line how the run ended.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace updater_output {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;

// The last line before the final key is read.
inline constexpr std::string_view kKeyPrompt = "Press any key to continue";

// How every count line ends, whatever the count.
inline constexpr std::string_view kCountLineEnd = " above: the installer may not work as intended.";

// "1 warning above: ...", "2 warnings above: ...".
inline std::string countLine(std::size_t warnings) {
    return std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
           std::string(kCountLineEnd);
}

}  // namespace updater_output
