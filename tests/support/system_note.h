// What a message says after the words of a system failure where the tests
// run on Windows: its own code, " (Windows error 2)". A C library's failure
// (the tests on POSIX) adds nothing: its words name the number.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors/errors.h"

namespace test_support {

inline std::string windowsNote(std::uint32_t code) {
    return platform::errors::fromSystem("", 0).origin == platform::ErrorOrigin::Windows
               ? " (Windows error " + std::to_string(code) + ")"
               : std::string();
}

// "No such file or directory" as a missing file is told here.
inline std::string noSuchFile() {
    return "No such file or directory" + windowsNote(2);
}

}  // namespace test_support
