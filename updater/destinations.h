// Where the installer puts the files it is given, worked out as it does, so
// that the updater can warn of a table the installer will refuse: two names
// that land on one file ("data\a.txt" and "DATA\A.TXT", "readme.txt" and
// "readme.txt.", an extra file named like the plugin).
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

// A name's place relative to the install folder (UTF-8, '\' between
// components): an absolute name keeps its last component, "." components
// drop out, each component loses its trailing dots and blanks. nullopt for a
// name the installer refuses anyway (empty, "..", a folder).
std::optional<std::string> installedPlace(std::string_view name, bool lastComponentOnly);

// One "warning:" line on `err` for each later name that lands where an
// earlier one does. names are UTF-8; the plugin file's name, if any, first.
void warnSameDestinations(const std::string& pluginName, const std::vector<std::string>& extraNames,
                          std::ostream& err);

}  // namespace updater
