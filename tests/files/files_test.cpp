#include "platform/files/files.h"
#include "platform/process/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

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
    TAMSEL_POSIX_ONLY("permission bits for group and others; Windows keeps the attributes (see CheckWritableAsOnWindows)");
    TempDir dir;
    writeBytes(dir / "f", "old");
    fs::permissions(dir / "f", fs::perms::owner_read | fs::perms::owner_write |
                                   fs::perms::group_read | fs::perms::others_exec);
    ASSERT_TRUE(replaceFile(dir / "f", std::string_view("new")));
    EXPECT_EQ(readBytes(dir / "f"), "new");
    EXPECT_EQ(fs::status(dir / "f").permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                       fs::perms::group_read |
                                                       fs::perms::others_exec);
}

TEST(ReplaceFile, ARejectingVerifierLeavesTheTargetAndNoTemporary) {
    TempDir dir;
    writeBytes(dir / "f", "old");
    Status s = replaceFile(dir / "f", std::string_view("new"),
                           [](const fs::path&) -> Status { return Error{"bad image", platform::ErrorKind::BadFormat}; });
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
    TAMSEL_POSIX_ONLY("a file-size limit (ulimit -f) in a forked child stands in for a full disk");
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
    TAMSEL_POSIX_ONLY("a folder without write permission, tried as another user in a forked child");
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

// A writer killed before its rename leaves its temporary file; the next write
// of the same target removes those of dead writers and nothing else.
TEST(ReplaceFile, RemovesOnlyTheTemporaryFilesOfDeadWritersOfTheSameTarget) {
    TAMSEL_POSIX_ONLY("a dead writer is made with fork, its leftover beside a symbolic link");
#ifndef _WIN32
    // A process that has ended and been reaped: its pid names no process.
    const pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const std::string deadPid = std::to_string(dead);
    const std::string livePid = std::to_string(::getpid());
    struct Row {
        std::string name;
        bool removed;
        const char* guards;
    };
    const Row rows[] = {
        {".tamsel-tmp-f-" + deadPid + "-0-123", true, "leftovers pile up run after run"},
        {".tamsel-tmp-f-" + deadPid + "-7-9", true, "only the first leftover is removed"},
        {".tamsel-tmp-f-" + livePid + "-0-123", false,
         "a running writer's file is deleted under it"},
        {".tamsel-tmp-g-" + deadPid + "-0-123", false, "another target's file is taken"},
        {".tamsel-tmp-f-1-" + deadPid + "-0-123", false,
         "the file of target \"f-1\" is read as one of \"f\""},
        {".tamsel-tmp-f-" + deadPid + "-0", false, "a name of another form is deleted"},
        {".tamsel-tmp-f-" + deadPid + "-0-123.keep", false, "a name of another form is deleted"},
        {"f-" + deadPid + "-0-123", false, "a file without the prefix is deleted"},
    };
    TempDir dir;
    writeBytes(dir / "f", "old");
    for (const Row& row : rows) writeBytes(dir / row.name, "stale");
    // A link named like a leftover: never followed, never removed.
    writeBytes(dir / "elsewhere", "kept");
    const std::string link = ".tamsel-tmp-f-" + deadPid + "-1-1";
    fs::create_symlink(dir / "elsewhere", dir / link);

    ASSERT_TRUE(replaceFile(dir / "f", std::string_view("new")));
    EXPECT_EQ(readBytes(dir / "f"), "new");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.guards);
        EXPECT_EQ(fs::exists(dir / row.name), !row.removed) << row.name;
    }
    EXPECT_TRUE(fs::is_symlink(dir / link));
    EXPECT_EQ(readBytes(dir / "elsewhere"), "kept");
#endif
}

// A streamed file is the writes in order, small ones gathered in the buffer
// and large ones passed straight through, with a field overwritten at the end
// landing where it belongs even while earlier bytes were still buffered.
TEST(ReplaceFileWithWriter, WritesThePiecesInOrderAndTheOverwrite) {
    TempDir dir;
    const std::string large((1 << 20) + 5, 'L');
    ASSERT_TRUE(replaceFile(dir / "f", [&](platform::files::ByteSink& sink) -> Status {
        for (std::string_view piece :
             {std::string_view("head"), std::string_view(large), std::string_view("tail")}) {
            if (Status s = sink.write(std::as_bytes(std::span(piece))); !s)
                return s;
        }
        if (Status s = sink.overwrite(sink.size() - 4, std::as_bytes(std::span("TAIL", 4))); !s)
            return s;
        return sink.overwrite(sink.size(), std::as_bytes(std::span("x", 1)))
                   ? Status{Error{"an overwrite past the end was accepted", platform::ErrorKind::Internal}}
                   : Status{};
    }));
    EXPECT_TRUE(readBytes(dir / "f") == "head" + large + "TAIL");
}

// A writer that fails halfway leaves the target and no temporary file, and
// its own message is the one reported.
TEST(ReplaceFileWithWriter, AFailingWriterLeavesTheTargetAndNoTemporary) {
    TempDir dir;
    writeBytes(dir / "f", "old");
    Status s = replaceFile(dir / "f", [](platform::files::ByteSink& sink) -> Status {
        const std::string some(3 << 20, 'n');
        if (Status written = sink.write(std::as_bytes(std::span(some))); !written)
            return written;
        return Error{"source changed", platform::ErrorKind::Changed};
    });
    EXPECT_FALSE(s);
    EXPECT_EQ(s.message(), "source changed");
    EXPECT_EQ(readBytes(dir / "f"), "old");
    EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"f"});
}

// A file's bytes copied into a sink land between what was written before
// and after; a source shorter than asked for gives what it holds, a longer
// one only the size asked for. Into a file (where the kernel copies) and
// into memory, from the same file system and, where there is one, from
// tmpfs (where the kernel may refuse and the bytes are read instead).
TEST(ByteSinkCopy, CopiesWhatTheSourceHoldsUpToTheSizeAskedFor) {
    TempDir dir;
    std::string content(300 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 + 7);
    std::vector<fs::path> sources{dir / "source"};
    const fs::path shm = "/dev/shm/tamsel-copy-test-" + std::to_string(::getpid());
    if (fs::is_directory("/dev/shm"))
        sources.push_back(shm);
    const struct {
        std::size_t asked;
        std::size_t expected;
    } sizes[] = {{content.size(), content.size()},
                 {content.size() + 10, content.size()},
                 {4097, 4097},
                 {0, 0}};
    for (const fs::path& source : sources) {
        writeBytes(source, content);
        auto input = platform::files::InputFile::open(source);
        ASSERT_TRUE(input) << input.message();
        for (const auto& size : sizes) {
            SCOPED_TRACE(source.string() + " asked " + std::to_string(size.asked));
            const std::string expected = "head" + content.substr(0, size.expected) + "TAIL";
            auto copyInto = [&](platform::files::ByteSink& sink) -> Status {
                if (Status s = sink.write(std::as_bytes(std::span("head", 4))); !s)
                    return s;
                auto copied = sink.copyFrom(*input, size.asked);
                if (!copied)
                    return copied.status();
                if (*copied != size.expected || sink.size() != 4 + size.expected)
                    return Error{"copied " + std::to_string(*copied), platform::ErrorKind::Other};
                if (Status s = sink.write(std::as_bytes(std::span("tail", 4))); !s)
                    return s;
                // The copied bytes count: a field behind them can be overwritten.
                return sink.overwrite(sink.size() - 4, std::as_bytes(std::span("TAIL", 4)));
            };
            ASSERT_TRUE(replaceFile(dir / "target", copyInto));
            EXPECT_TRUE(readBytes(dir / "target") == expected);
            platform::files::MemorySink memory;
            ASSERT_TRUE(copyInto(memory));
            const auto bytes = memory.take();
            EXPECT_TRUE(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()) ==
                        expected);
        }
    }
    fs::remove(shm);
}

// A name that nearly fills the 255 bytes a file name may have still gets a
// temporary file beside it; a writer that throws leaves none behind.
TEST(ReplaceFile, ALongNameWorksAndAThrowingWriterLeavesNoTemporary) {
    TempDir dir;
    const fs::path longName = dir / std::string(240, 'b');
    ASSERT_TRUE(replaceFile(longName, std::string_view("hello")));
    EXPECT_EQ(readBytes(longName), "hello");
    EXPECT_THROW(static_cast<void>(replaceFile(dir / "f",
                                               [](platform::files::ByteSink&) -> Status {
                                                   throw std::runtime_error("out of memory");
                                               })),
                 std::runtime_error);
    EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{longName.filename().string()});
}

// Run by root on a user's file, the replacement stays the user's.
TEST(ReplaceFile, KeepsTheOwnerOfTheReplacedFile) {
    TAMSEL_POSIX_ONLY("file owners (chown)");
#ifndef _WIN32
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    TempDir dir;
    writeBytes(dir / "f", "old");
    ASSERT_EQ(::chown((dir / "f").c_str(), 65534, 65534), 0);
    ASSERT_TRUE(replaceFile(dir / "f", std::string_view("new")));
    struct stat info {};
    ASSERT_EQ(::stat((dir / "f").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
#endif
}

// A named pipe is refused at once instead of waiting for a writer.
TEST(ReadFile, RefusesANamedPipeWithoutWaiting) {
    TAMSEL_POSIX_ONLY("named pipes in the file system (mkfifo)");
#ifndef _WIN32
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    auto r = platform::files::readFile(dir / "pipe");
    ASSERT_FALSE(r);
    EXPECT_NE(r.message().find("not a regular file"), std::string::npos) << r.message();
#endif
}

// A failed read names the file and says the cause as the system words it,
// with a kind that code can act on.
TEST(ReadFile, SaysWhyAFileCannotBeRead) {
    TAMSEL_POSIX_ONLY("a named pipe and a file only its owner reads, tried as another user in a forked child");
#ifndef _WIN32
    TempDir dir;
    fs::create_directory(dir / "folder.dll");
    writeBytes(dir / "plugin.dll", "MZ");
    writeBytes(dir / "locked.dll", "MZ");
    fs::permissions(dir / "locked.dll", fs::perms::none);
    ASSERT_EQ(::mkfifo((dir / "pipe.dll").c_str(), 0644), 0);
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    const struct {
        fs::path path;
        platform::ErrorKind kind;
        const char* reason;
    } rows[] = {
        {dir / "missing.dll", platform::ErrorKind::NotFound, "No such file or directory"},
        {dir / "plugin.dll" / "x", platform::ErrorKind::NotFound, "Not a directory"},
        {dir / "folder.dll", platform::ErrorKind::IsADirectory, "Is a directory"},
        {dir / "pipe.dll", platform::ErrorKind::NotRegularFile, "not a regular file"},
        {dir / "locked.dll", platform::ErrorKind::AccessDenied, "Permission denied"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.string());
        // As "nobody", so that root's right to read anything does not hide the last row.
        const int code = test_support::runInChild(
            [&] {
                auto r = platform::files::readFile(row.path);
                return !r && r.kind() == row.kind && r.error().reason == row.reason &&
                               r.message().find(row.path.string()) != std::string::npos
                           ? 0
                           : 1;
            },
            {.asNobody = true, .maxFileBytes = {}});
        EXPECT_EQ(code, 0);
    }
#endif
}

// A path handed to a shell command in a variable reaches it as it stands,
// whatever shell syntax its name holds ($, backquotes, !), and the
// command's own exit code comes back. (No %NAME% in it: cmd.exe puts a
// value in once, but Wine's cmd expands the value again.)
TEST(RunShellCommand, HandsAPathOverAsItStands) {
    namespace process = platform::process;
    TempDir dir;
    const fs::path source = dir / "a$1 `b` !c!.txt";
    writeBytes(source, "content");
    const std::string file = process::reference("TAMSEL_TEST_FILE");
#ifdef _WIN32
    const std::string copy = "copy /y \"" + file + "\" \"" + file + ".copy\" >nul";
#else
    const std::string copy = "cp \"" + file + "\" \"" + file + ".copy\"";
#endif
    const process::Variable path{"TAMSEL_TEST_FILE", platform::files::utf8Name(source)};
    auto copied = process::runShellCommand(copy, path);
    ASSERT_TRUE(copied) << copied.message();
    EXPECT_EQ(*copied, 0);
    EXPECT_EQ(readBytes(dir / "a$1 `b` !c!.txt.copy"), "content");
    auto failed = process::runShellCommand("exit 3", path);
    ASSERT_TRUE(failed) << failed.message();
    EXPECT_EQ(*failed, 3);
}

}  // namespace
