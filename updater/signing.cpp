#include "updater/signing.h"

#include <system_error>

#include "platform/files/files.h"
#include "platform/process/process.h"
#include "platform/resource/image_file.h"

namespace updater {
namespace fs = std::filesystem;

std::string Signer::commandFor(const fs::path& path) const {
    const std::string name = platform::files::utf8Name(fs::absolute(path).lexically_normal());
    std::string line;
    for (std::size_t i = 0; i < command_.size(); ++i) {
        if (command_.compare(i, 2, "%1") == 0) {
            line += name;
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
    const std::string line = commandFor(path);
    err << "signing: " << line << '\n' << std::flush;
    auto ran = platform::process::runShellCommand(line);
    if (!ran)
        return ran.error().within("the signing command could not run: ");
    if (*ran != 0)
        return platform::Error{
            "the signing command failed (exit code " + std::to_string(*ran) + "): " + line,
            platform::ErrorKind::Other};
    if (platform::Status same = res::checkSignedCopy(*before, path); !same)
        return same.error();
    return {};
}

platform::Result<std::vector<std::byte>> Signer::signBytes(const std::vector<std::byte>& program,
                                                           const fs::path& folder,
                                                           std::ostream& err) const {
    // A name of our own in the program folder: the signing tool may keep
    // files of its own beside the one it signs, and this folder is writable.
    const fs::path file =
        folder / (std::string(platform::files::kTemporaryPrefix) + "uninstall.exe");
    struct Removed {
        const fs::path& file;
        ~Removed() {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    } removed{file};
    if (platform::Status written = platform::files::replaceFile(file, program); !written)
        return written.error();
    if (platform::Status signedFile = sign(file, err); !signedFile)
        return signedFile.error();
    return platform::files::readFile(file);
}

}  // namespace updater
