// A failure passes on up through Status and Result of any type with its
// message, kind, error number and reason intact, and a success stays a success;
// a system's code reaches the words the user reads as the system gave it.
#include "platform/result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <future>
#include <string>
#include <system_error>

#include "platform/errors/errors.h"
#include "platform/files/files.h"

namespace {

using platform::Error;
using platform::Result;
using platform::Status;

Result<int> parse(bool ok) {
    if (!ok)
        return Error{"cannot read x: not a number at 0x4", platform::ErrorKind::BadFormat,
                     platform::ErrorOrigin::Errno, 22, "not a number at 0x4"};
    return 7;
}

// Each of these passes the failure on in one line, as the call sites do.
Result<std::string> fromResult(bool ok) {
    auto value = parse(ok);
    if (!value)
        return value.error();
    return std::to_string(*value);
}

Result<std::string> fromStatus(bool ok) {
    if (Status s = parse(ok); !s)
        return s.error();
    return std::string("done");
}

Status toStatus(bool ok) {
    return parse(ok);
}

TEST(Result, AFailurePassesOnUnchanged) {
    const struct {
        const char* path;
        Error (*failure)();
    } rows[] = {
        {"Result to a Result of another type", [] { return fromResult(false).error(); }},
        {"Status to a Result", [] { return fromStatus(false).error(); }},
        {"Result converted to a Status", [] { return toStatus(false).error(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const Error error = row.failure();
        EXPECT_EQ(error.message, "cannot read x: not a number at 0x4");
        EXPECT_EQ(error.kind, platform::ErrorKind::BadFormat);
        EXPECT_EQ(error.origin, platform::ErrorOrigin::Errno);
        EXPECT_EQ(error.code, 22);
        EXPECT_EQ(error.why(), "not a number at 0x4");
    }
}

TEST(Result, ASuccessStaysASuccess) {
    EXPECT_EQ(*fromResult(true), "7");
    EXPECT_EQ(*fromStatus(true), "done");
    EXPECT_TRUE(toStatus(true).isOk());
}

// The kind is derived for the program's decisions; the code stays the one
// the system gave, and a Windows one is shown with the words.
TEST(SystemError, KeepsItsCodeAndOrigin) {
    using platform::ErrorKind;
    using platform::ErrorOrigin;
    namespace errors = platform::errors;
    const std::string noSuchFile = std::strerror(ENOENT);
    const struct {
        const char* name;
        Error error;
        ErrorKind kind;
        ErrorOrigin origin;
        int code;
        std::string shown;
    } rows[] = {
        {"a Windows code the C library has a number for", errors::fromWindows("cannot open a", 2),
         ErrorKind::NotFound, ErrorOrigin::Windows, 2,
         "cannot open a: " + noSuchFile + " (Windows error 2)"},
        {"a file another process holds", errors::fromWindows("cannot open a", 32),
         ErrorKind::AccessDenied, ErrorOrigin::Windows, 32,
         "cannot open a: it is in use by another process (Windows error 32)"},
        {"a Windows code it has none for (the drive is not ready)",
         errors::fromWindows("cannot open a", 21), ErrorKind::Io, ErrorOrigin::Windows, 21,
         "cannot open a: " + errors::windowsText(21) + " (Windows error 21)"},
        {"told within a larger failure", errors::fromWindows("cannot open a", 112).within("x: "),
         ErrorKind::NoSpace, ErrorOrigin::Windows, 112,
         "x: cannot open a: " + std::string(std::strerror(ENOSPC)) + " (Windows error 112)"},
        {"errno, whose text is the C library's own", errors::fromErrno("cannot open a", ENOENT),
         ErrorKind::NotFound, ErrorOrigin::Errno, ENOENT, "cannot open a: " + noSuchFile},
        // 2 is "not found" to both systems: the system category is the
        // system's own code, not an unknown one.
        {"std::filesystem's system category",
         platform::files::fileError("cannot open", "a", std::error_code(2, std::system_category())),
         ErrorKind::NotFound, errors::fromSystem("", 2).origin, 2,
         errors::fromSystem("cannot open a", 2).text()},
        {"another category: its own words, no system's code",
         platform::files::fileError("cannot open", "a",
                                    std::make_error_code(std::future_errc::no_state)),
         ErrorKind::Io, ErrorOrigin::None, 0,
         "cannot open a: " + std::make_error_code(std::future_errc::no_state).message()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.error.kind, row.kind);
        EXPECT_EQ(row.error.origin, row.origin);
        EXPECT_EQ(row.error.code, row.code);
        EXPECT_EQ(Status{row.error}.message(), row.shown);
    }
}

}  // namespace
