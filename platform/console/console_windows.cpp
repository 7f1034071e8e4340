#include <windows.h>

#include "platform/console/console.h"

namespace platform::console {

namespace {

// A console, not a pipe or a file. (A character device: the NUL device
// counts too, which is harmless, as reading it ends at once.)
bool isConsole(DWORD standardHandle) {
    return ::GetFileType(::GetStdHandle(standardHandle)) == FILE_TYPE_CHAR;
}

}  // namespace

// A console window shows bytes in its own code page (the OEM one) unless told
// otherwise; the bytes written stay as they are.
void showUtf8Output() {
    if (isConsole(STD_OUTPUT_HANDLE))
        ::SetConsoleOutputCP(CP_UTF8);
}

// A console shared with a command prompt lists that prompt's process too;
// one Windows opened for this program lists it alone.
bool consoleIsOwn() {
    if (!isConsole(STD_INPUT_HANDLE) || !isConsole(STD_OUTPUT_HANDLE))
        return false;
    DWORD processes[2];
    return ::GetConsoleProcessList(processes, 2) == 1;
}

}  // namespace platform::console
