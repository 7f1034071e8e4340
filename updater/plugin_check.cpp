#include "updater/plugin_check.h"

#include <string>

#include "common/architecture.h"
#include "common/program_files.h"
#include "platform/resource/pe_image.h"

namespace updater {
namespace {
namespace pe = platform::resource::pe;

// "an x86 DLL", "a DLL for machine type 0x1C4": the words the installer uses.
std::string describe(std::uint16_t machine, const char* noun) {
    char words[64];
    return std::string(words, describeMachine(machine, noun, words, sizeof words));
}

}  // namespace

void checkPlugin(std::span<const std::byte> plugin, std::string_view name, std::string_view progId,
                 std::uint16_t installerMachine, const Warn& warn, const Warn& note) {
    const std::string quoted = "\"" + std::string(name) + "\"";
    const auto image = platform::resource::parseImage(plugin);
    if (!image) {
        warn(quoted + " is not a PE DLL (" + image.message() + ")");
        return;
    }
    if ((image->fileHeader.characteristics & pe::kFileDll) == 0) {
        warn(quoted + " is not a PE DLL (a program, not a DLL)");
        return;
    }
    if (!progId.empty()) {
        const auto found = platform::resource::exportsName(plugin, *image, "DllRegisterServer");
        if (!found || !*found) {
            warn(quoted + " exports no DllRegisterServer" +
                 (found ? "" : " (" + found.message() + ")") +
                 "; the installer cannot register it as \"" + std::string(progId) + "\"");
        }
    }
    // The machine type matters only to the registration: without a ProgID
    // the installer copies the DLL whatever it was built for.
    if (progId.empty())
        return;
    // Decided before there is a Windows to install on: the installer decides
    // again, by the same rule, on the end user's.
    const std::uint16_t machine = image->fileHeader.machine;
    const RouteChoice choice = chooseRoute(machine, installerMachine, kWindowsUnknown);
    if (choice.route == kRouteOwnProcess)
        return;
    char reason[192];
    const std::string said = quoted + " is " + describe(machine, "DLL") + " and " +
                             std::string(program_files::kInstaller) + " " +
                             describe(installerMachine, "program") + ": " +
                             std::string(reason, describeRoute(choice, reason, sizeof reason));
    if (choice.route == kRouteRefused)
        warn(said);
    else
        note(said);
}

}  // namespace updater
