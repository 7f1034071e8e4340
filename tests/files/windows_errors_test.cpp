// How a Windows error code becomes an Error: as the C library tells its own
// where it has a number for it, else as itself with the system's own text.
#include "platform/files/windows_errors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {
using platform::ErrorKind;
using platform::files::windowsError;

TEST(WindowsErrors, AKnownCodeReadsAsTheCLibrarysAndAnUnknownOneStaysItself) {
    const platform::Error missing = windowsError("cannot open", "a.txt", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing.message, "cannot open a.txt: No such file or directory");
    EXPECT_EQ(missing.kind, ErrorKind::NotFound);
    EXPECT_EQ(missing.code, ENOENT);

    // No C library number: it used to read "Input/output error", a guess.
    const platform::Error notReady = windowsError("cannot open", "a.txt", ERROR_NOT_READY);
    EXPECT_EQ(notReady.kind, ErrorKind::Io);
    EXPECT_EQ(notReady.code, ERROR_NOT_READY);
    EXPECT_EQ(notReady.reason, platform::files::systemText(ERROR_NOT_READY));
    EXPECT_FALSE(notReady.reason.empty());
    EXPECT_NE(notReady.reason, "Input/output error");
    EXPECT_EQ(notReady.message, "cannot open a.txt: " + notReady.reason);
}

}  // namespace
