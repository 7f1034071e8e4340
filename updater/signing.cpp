#include "updater/signing.h"

#include <utility>

#include "platform/files/files.h"
#include "platform/process/process.h"
#include "platform/resource/image_file.h"

namespace updater {
namespace fs = std::filesystem;

namespace {

// The environment variable that hands the command the file's path: the
// shell puts it in where `%1` stood, and reads nothing in it as syntax.
constexpr std::string_view kFileVariable = "TAMSEL_SIGN_FILE";

}  // namespace

std::string Signer::replaced(std::string_view with) const {
    std::string line;
    for (std::size_t i = 0; i < command_.size(); ++i) {
        if (command_.compare(i, 2, "%1") == 0) {
            line += with;
            ++i;
        } else {
            line += command_[i];
        }
    }
    return line;
}

platform::Status Signer::sign(const fs::path& path, std::ostream& err) const {
    namespace res = platform::resource;
    auto before = res::printProgram(path);
    if (!before)
        return before.error();
    const std::string name = platform::files::utf8Name(fs::absolute(path).lexically_normal());
    const std::string shown = replaced(name);
    err << "signing: " << shown << '\n' << std::flush;
    namespace process = platform::process;
    auto ran = process::runShellCommand(replaced(process::reference(kFileVariable)),
                                        {std::string(kFileVariable), name});
    if (!ran)
        return ran.error().within("the signing command could not run: ");
    if (*ran != 0)
        return platform::Error{
            "the signing command failed (exit code " + std::to_string(*ran) + "): " + shown,
            platform::ErrorKind::Other};
    if (platform::Status same = res::checkSignedCopy(*before, path); !same)
        return same.error();
    return {};
}

platform::Result<std::vector<std::byte>> Signer::signBytes(const std::vector<std::byte>& program,
                                                           const fs::path& folder,
                                                           std::ostream& err) const {
    // A file of our own in the program folder: the signing tool may keep
    // files of its own beside the one it signs, and this folder is writable.
    std::vector<std::byte> signedBytes;
    platform::Status done = platform::files::withTemporaryFile(
        folder, "uninstall.exe", program, [&](const fs::path& file) -> platform::Status {
            if (platform::Status signedFile = sign(file, err); !signedFile)
                return signedFile;
            auto read = platform::files::readFile(file);
            if (!read)
                return read.error();
            signedBytes = std::move(*read);
            return {};
        });
    if (!done)
        return done.error();
    return signedBytes;
}

}  // namespace updater
