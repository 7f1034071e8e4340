// Runs a piece of a test in a forked child under a restriction that root
// would otherwise ignore: as the unprivileged user "nobody" (so read-only
// files and folders really are read-only), or with a file-size limit
// (a stand-in for a full disk). The child's return value is its exit code.
#pragma once

// A test of POSIX-only behaviour (fork, set-user-ID, signals, file modes,
// named pipes) says so first: on Windows it is skipped with `reason`, and its
// POSIX-only lines stand between #ifndef _WIN32 and #endif.
#ifdef _WIN32
#define TAMSEL_POSIX_ONLY(reason) GTEST_SKIP() << "POSIX only: " << (reason)
#else
#define TAMSEL_POSIX_ONLY(reason) static_cast<void>(0)
#endif

#ifdef _WIN32
#include <cstdint>
#include <functional>
#include <optional>

namespace test_support {

// Windows starts no copy of a running process; the tests that need one
// skip first (TAMSEL_POSIX_ONLY), so this is never reached.
struct ChildLimits {
    bool asNobody = false;
    std::optional<std::uint64_t> maxFileBytes;
};
inline int runInChild(const std::function<int()>&, ChildLimits) { return -1; }

}  // namespace test_support
#else

#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>

namespace test_support {

struct ChildLimits {
    bool asNobody = false;                       // drop to uid/gid 65534 when root
    std::optional<rlim_t> maxFileBytes;          // RLIMIT_FSIZE
};

// Returns the child's exit code, or 128 + signal number if it was killed.
inline int runInChild(const std::function<int()>& body, ChildLimits limits) {
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (limits.maxFileBytes) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{*limits.maxFileBytes, *limits.maxFileBytes};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
        }
        if (limits.asNobody && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(126);
            }
        }
        int code = body();
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace test_support
#endif
