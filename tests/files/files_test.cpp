#include "platform/files/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using platform::Error;
using platform::Status;
using platform::files::replaceFile;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;

TEST(ReplaceFile, CreatesAMissingFileAndLeavesNothingElse) {
    TempDir dir;
    ASSERT_TRUE(replaceFile(dir / "new.ini", std::string_view("a\r\nb\r\n")));
    EXPECT_EQ(readBytes(dir / "new.ini"), "a\r\nb\r\n");
    EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"new.ini"});
}

TEST(ReplaceFile, KeepsThePermissionsOfTheReplacedFile) {
    TempDir dir;
    writeBytes(dir / "f", "old");
    fs::permissions(dir / "f", fs::perms::owner_read | fs::perms::owner_write |
                                   fs::perms::group_read | fs::perms::others_exec);
    ASSERT_TRUE(replaceFile(dir / "f", std::string_view("new")));
    EXPECT_EQ(readBytes(dir / "f"), "new");
    EXPECT_EQ(fs::status(dir / "f").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_exec);
}

TEST(ReplaceFile, ARejectingVerifierLeavesTheTargetAndNoTemporary) {
    TempDir dir;
    writeBytes(dir / "f", "old");
    Status s = replaceFile(dir / "f", std::string_view("new"),
                           [](const fs::path&) -> Status { return Error{"bad image"}; });
    EXPECT_FALSE(s);
    EXPECT_EQ(s.message(), "bad image");
    EXPECT_EQ(readBytes(dir / "f"), "old");
    EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"f"});
}

TEST(ReplaceFile, AMissingFolderIsAReportedFailure) {
    TempDir dir;
    Status s = replaceFile(dir / "no" / "such" / "f", std::string_view("x"));
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("temporary"), std::string::npos) << s.message();
}

// The write fails partway: the file-size limit stands in for a full disk.
TEST(ReplaceFile, AFullDiskLeavesTheTargetByteIdentical) {
    TempDir dir;
    writeBytes(dir / "f", "old contents");
    int code = test_support::runInChild(
        [&] {
            std::string big(1 << 20, 'x');
            return replaceFile(dir / "f", std::string_view(big)) ? 0 : 3;
        },
        {.asNobody = false, .maxFileBytes = 4096});
    EXPECT_EQ(code, 3);
    EXPECT_EQ(readBytes(dir / "f"), "old contents");
    EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"f"});
}

TEST(ReplaceFile, AReadOnlyFolderLeavesTheTargetAsItWas) {
    TempDir dir;
    writeBytes(dir / "f", "old");
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    int code = test_support::runInChild(
        [&] { return replaceFile(dir / "f", std::string_view("new")) ? 0 : 3; },
        {.asNobody = true, .maxFileBytes = {}});
    EXPECT_EQ(code, 3);
    EXPECT_EQ(readBytes(dir / "f"), "old");
}

TEST(ReadFile, ReportsAMissingFileByName) {
    TempDir dir;
    auto r = platform::files::readFile(dir / "absent");
    ASSERT_FALSE(r);
    EXPECT_NE(r.message().find("absent"), std::string::npos);
}

}  // namespace
