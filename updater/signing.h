// The author's signing command: named once in the install-info file, run on
// each program the update writes, the uninstaller first and the finished
// installer last, each while it is still a file of ours that no one runs.
#pragma once

#include <cstddef>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace updater {

class Signer {
  public:
    // `command` (UTF-8) as the author wrote it, `%1` standing for the full
    // path of the file to sign.
    explicit Signer(std::string command) : command_(std::move(command)) {}

    // Runs the command on the program at `path`, through the system's shell,
    // saying so in one line on `err`, and checks that what it leaves is the
    // same program with a certificate table added. A command that fails or
    // leaves anything else is an Error.
    platform::Status sign(const std::filesystem::path& path, std::ostream& err) const;

    // Signs a program held in memory, through a temporary file in `folder`
    // that is gone again afterwards; gives the signed bytes.
    platform::Result<std::vector<std::byte>> signBytes(const std::vector<std::byte>& program,
                                                       const std::filesystem::path& folder,
                                                       std::ostream& err) const;

  private:
    // The command with every `%1` replaced by `with`.
    std::string replaced(std::string_view with) const;

    std::string command_;
};

}  // namespace updater
