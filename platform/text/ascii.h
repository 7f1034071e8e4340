// ASCII letter case, as names in INI files and the program's own file names
// are compared: only A to Z fold, whatever the locale or the code page.
#pragma once

#include <algorithm>
#include <string_view>

namespace platform::text {

constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

}  // namespace platform::text
