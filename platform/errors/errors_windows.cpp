#include <windows.h>

#include <string>

#include "platform/errors/errors.h"
#include "platform/text/unicode.h"

namespace platform::errors {

Error fromSystem(std::string_view what, int code) {
    return fromWindows(what, static_cast<std::uint32_t>(code));
}

// Not std::system_category().message(): MinGW's reads the text through
// FormatMessageA, in the ANSI code page rather than UTF-8, and without
// FORMAT_MESSAGE_IGNORE_INSERTS, so that a text with an insert (that of
// ERROR_BAD_EXE_FORMAT) comes back as "Unknown error code".
std::string windowsText(std::uint32_t code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string message =
        length ? std::u16string(reinterpret_cast<const char16_t*>(text), length) : std::u16string();
    LocalFree(text);
    // A reason follows a colon or stands on a line of its own: no line end,
    // no full stop.
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' ||
                                message.back() == u'.' || message.back() == u' '))
        message.pop_back();
    if (message.empty())
        return "Windows error " + std::to_string(code);
    return text::utf16ToUtf8(message);
}

}  // namespace platform::errors
