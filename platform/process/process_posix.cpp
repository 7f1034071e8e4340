#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors/errors.h"
#include "platform/process/process.h"

extern char** environ;

namespace platform::process {
namespace {

// Frees the file actions however the start ends.
struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

std::string reference(std::string_view name) {
    std::string text = "${";
    text += name;
    text += '}';
    return text;
}

Result<int> runShellCommand(std::string_view command, const Variable& variable) {
    FileActions files;
    if (int failed = posix_spawn_file_actions_addopen(&files.actions, STDIN_FILENO, "/dev/null",
                                                      O_RDONLY, 0);
        failed != 0)
        return errors::fromErrno("cannot start /bin/sh", failed);
    if (int failed = posix_spawn_file_actions_adddup2(&files.actions, STDERR_FILENO, STDOUT_FILENO);
        failed != 0)
        return errors::fromErrno("cannot start /bin/sh", failed);
    // This program's environment with the variable set; an inherited
    // variable of the same name gives way to it.
    const std::string prefix = variable.name + "=";
    std::string assignment = prefix + variable.value;
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::string_view(*entry).substr(0, prefix.size()) != prefix)
            environment.push_back(*entry);
    environment.push_back(assignment.data());
    environment.push_back(nullptr);
    std::string text(command);
    char shell[] = "/bin/sh";
    char option[] = "-c";
    char* arguments[] = {shell, option, text.data(), nullptr};
    pid_t child = 0;
    if (int failed =
            posix_spawn(&child, shell, &files.actions, nullptr, arguments, environment.data());
        failed != 0)
        return errors::fromErrno("cannot start /bin/sh", failed);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return errors::fromErrno("cannot wait for /bin/sh", errno);
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return Error{"the command was ended by signal " + std::to_string(WTERMSIG(status)),
                 ErrorKind::Other};
}

}  // namespace platform::process
