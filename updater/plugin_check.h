// The plugin file as the installer will meet it: checked at update time, so
// that the author learns of a plugin that cannot work before an end user does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "updater/input_file.h"

namespace updater {

// What follows when the plugin file cannot be read: the installer refuses
// to install without it.
inline constexpr std::string_view kMissingPluginConsequence =
    "the installer will refuse to install";

// Says through `warn`, one sentence each, why the installer may not be able
// to use `plugin`: it is no PE DLL; a ProgID is given (`progId` not empty)
// and it exports no DllRegisterServer; it is of an architecture that no
// installer registers. A plugin to register of the other of x86 and x86-64
// than the installer (`installerMachine`, a PE Machine value) is no fault:
// `note` says what it asks of Windows. Names are UTF-8.
void checkPlugin(std::span<const std::byte> plugin, std::string_view name, std::string_view progId,
                 std::uint16_t installerMachine, const Warn& warn, const Warn& note);

}  // namespace updater
