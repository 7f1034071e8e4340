// A failed Windows call on a file keeps Windows' own code, and Windows'
// own words for a code read whole.
#include "platform/files/windows_errors.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/errors/errors.h"

namespace {
using platform::ErrorKind;

TEST(WindowsErrors, AFileErrorKeepsTheWindowsCode) {
    const platform::Error missing =
        platform::files::windowsError("cannot open", "a.txt", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.kind, ErrorKind::NotFound);
    EXPECT_EQ(missing.origin, platform::ErrorOrigin::Windows);
    EXPECT_EQ(missing.code, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.text(), "cannot open a.txt: No such file or directory (Windows error 2)");
}

// Its language varies, so each row checks what holds in any.
TEST(WindowsErrors, TheSystemsTextOfACode) {
    struct Row {
        const char* name;
        DWORD code;
        const char* holds;  // what the text holds in any language
    };
    const Row rows[] = {
        {"a plain text", ERROR_NOT_READY, ""},
        // A damaged program: read without FORMAT_MESSAGE_IGNORE_INSERTS,
        // the text would be lost ("Unknown error code").
        {"a text with an insert, which stays unfilled", ERROR_BAD_EXE_FORMAT, "%1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text = platform::errors::windowsText(row.code);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text, "Windows error " + std::to_string(row.code));
        EXPECT_NE(text.find(row.holds), std::string::npos) << text;
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << "no line end: " << text;
        EXPECT_NE(text.back(), '.') << "no full stop: " << text;
    }
    // Bit 29 marks an application's own code, for which the system has no text.
    EXPECT_EQ(platform::errors::windowsText(0x20000001), "Windows error 536870913");
}

}  // namespace
