#include "updater/plugin_check.h"

#include <string>

#include "common/program_files.h"
#include "platform/resource/pe_image.h"

namespace updater {
namespace {
namespace pe = platform::resource::pe;

// "an x86 DLL", "an ARM64 program", "a DLL for machine type 0x1C4".
std::string describe(std::uint16_t machine, const std::string& noun) {
    switch (machine) {
        case pe::kMachineI386:
            return "an x86 " + noun;
        case pe::kMachineAmd64:
            return "an x86-64 " + noun;
        case pe::kMachineArm64:
            return "an ARM64 " + noun;
        default:
            return "a " + noun + " for machine type " + platform::resource::hex(machine);
    }
}

// The installer registers a DLL of its own architecture in a child process
// of its own, and one of the other of x86 and x86-64 through the
// registration helper of that architecture that it carries: the same call,
// the same report of what DllRegisterServer returned. Only 64-bit Windows
// runs both. Empty for a machine type no installer registers.
std::string supportedRoute(std::uint16_t plugin, std::uint16_t installer) {
    if (plugin == pe::kMachineAmd64 && installer == pe::kMachineI386)
        return "the installer registers it through its x86-64 registration helper, so it "
               "needs 64-bit Windows";
    if (plugin == pe::kMachineI386 && installer == pe::kMachineAmd64)
        return "the installer registers it through its x86 registration helper";
    return {};
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
    const std::uint16_t machine = image->fileHeader.machine;
    if (!progId.empty() && machine != installerMachine) {
        const std::string both = quoted + " is " + describe(machine, "DLL") + " and " +
                                 std::string(program_files::kInstaller) + " " +
                                 describe(installerMachine, "program") + ": ";
        if (const std::string route = supportedRoute(machine, installerMachine); !route.empty())
            note(both + route);
        else
            warn(both + "the installer cannot register it");
    }
}

}  // namespace updater
