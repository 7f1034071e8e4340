// What the code page layer asks of the platform: one implementation file per
// platform (codepage_iconv.cpp, codepage_windows.cpp), chosen by CMake. The
// rules around it (undefined bytes, '?' for what cannot be held, the cuts)
// live once in codepage.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform::text::backend {

// Whether the platform converts this code page.
bool converts(unsigned codePage);

// The system's ANSI code page, when none is chosen.
unsigned systemCodePage();

// Converts the longest start of `ansi` that is made of whole characters of
// the code page, appending it to `utf8`; returns how many bytes it took.
std::size_t decodePrefix(std::string_view ansi, unsigned codePage, std::string& utf8);

// Converts the longest start of `utf8` that is well-formed UTF-8 made of
// characters the code page holds exactly (no best-fit substitute), appending
// it to `ansi`; returns how many bytes it took.
std::size_t encodePrefix(std::string_view utf8, unsigned codePage, std::string& ansi);

}  // namespace platform::text::backend
