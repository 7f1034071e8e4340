// The editor core speaks UTF-8; Windows speaks UTF-16. Every text that
// crosses into a W function, or comes back from one, converts here.
#pragma once

#include <string>
#include <string_view>

namespace editor_win32 {

// An invalid UTF-8 sequence becomes U+FFFD, so nothing is dropped silently.
std::wstring widen(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string narrow(std::wstring_view utf16);

}  // namespace editor_win32
