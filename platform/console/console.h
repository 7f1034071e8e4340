// The console a program prints to. One implementation per platform beside
// this header (console_posix.cpp, console_windows.cpp).
#pragma once

namespace platform::console {

// Makes a console show the program's UTF-8 output as the characters it
// means. Output into a pipe or a file stays the same bytes on every platform.
void showUtf8Output();

}  // namespace platform::console
