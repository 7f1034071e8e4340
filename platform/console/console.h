// The console a program prints to. One implementation per platform beside
// this header (console_posix.cpp, console_windows.cpp).
#pragma once

namespace platform::console {

// Makes a console show the program's UTF-8 output as the characters it
// means. Output into a pipe or a file stays the same bytes on every platform.
void showUtf8Output();

// Whether the program reads and writes a console window of its own: one
// opened for it alone (a double click, or a start by the editor in a new
// window), which closes as soon as the program ends. False for a console
// the program shares with whoever started it (a command prompt), when its
// input or output is redirected, and where consoles close with no program
// (POSIX terminals stay open).
bool consoleIsOwn();

}  // namespace platform::console
