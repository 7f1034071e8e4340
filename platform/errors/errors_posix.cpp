#include <string>

#include "platform/errors/errors.h"

namespace platform::errors {

Error fromSystem(std::string_view what, int code) {
    return fromErrno(what, code);
}

// Only Windows has the words: a Windows code met here (read from a file, or
// in a test) is told by its number.
std::string windowsText(std::uint32_t code) {
    return "Windows error " + std::to_string(code);
}

}  // namespace platform::errors
