// Where the installer puts the files it is given, worked out by its own rule
// (common/windows_names.h), so that the updater can warn of a table the
// installer will refuse: two names that land on one file ("data\a.txt" and
// "DATA\A.TXT", "readme.txt" and "readme.txt.", an extra file named like the
// plugin).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace updater {

// One "warning:" line on `err` for each later name that lands where an
// earlier one does. names are UTF-8; the plugin file's name, if any, first.
// A name the installer refuses anyway (empty, "..", a folder, a device) is
// left to the installer to say.
void warnSameDestinations(const std::string& pluginName, const std::vector<std::string>& extraNames,
                          std::ostream& err);

}  // namespace updater
