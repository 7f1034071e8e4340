#include <windows.h>

#include "platform/console/console.h"

namespace platform::console {

// A console window shows bytes in its own code page (the OEM one) unless told
// otherwise; the bytes written stay as they are.
void showUtf8Output() {
    if (::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR)
        ::SetConsoleOutputCP(CP_UTF8);
}

}  // namespace platform::console
