#include "updater/destinations.h"

#include "platform/files/windows_access.h"

namespace updater {

void warnSameDestinations(const std::string& pluginName, const std::vector<std::string>& extraNames,
                          std::ostream& err) {
    std::vector<std::pair<const std::string*, std::string>> placed;
    auto place = [&](const std::string& name, NameRule rule) {
        const auto where = platform::files::installedPlace(name, rule);
        if (!where)
            return;
        for (const auto& [earlier, earlierPlace] : placed) {
            if (platform::files::sameWindowsFile(earlierPlace, *where)) {
                err << "warning: \"" << *earlier << "\" and \"" << name
                    << "\" are one file to Windows (\"" << earlierPlace
                    << "\"); the installer will refuse to install\n";
                return;
            }
        }
        placed.emplace_back(&name, *where);
    };
    if (!pluginName.empty())
        place(pluginName, kLastComponent);
    for (const std::string& name : extraNames) place(name, kKeepFolders);
}

}  // namespace updater
