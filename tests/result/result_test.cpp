// A failure passes on up through Status and Result of any type with its
// message, kind, error number and reason intact, and a success stays a success.
#include "platform/result.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::Error;
using platform::Result;
using platform::Status;

Result<int> parse(bool ok) {
    if (!ok)
        return Error{"cannot read x: not a number at 0x4", platform::ErrorKind::BadFormat, 22,
                     "not a number at 0x4"};
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
        EXPECT_EQ(error.code, 22);
        EXPECT_EQ(error.why(), "not a number at 0x4");
    }
}

TEST(Result, ASuccessStaysASuccess) {
    EXPECT_EQ(*fromResult(true), "7");
    EXPECT_EQ(*fromStatus(true), "done");
    EXPECT_TRUE(toStatus(true).isOk());
}

}  // namespace
