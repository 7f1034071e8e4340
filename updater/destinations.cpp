#include "updater/destinations.h"

#include "common/windows_names.h"
#include "platform/files/windows_access.h"
#include "platform/text/unicode.h"

namespace updater {
namespace {

// Where the installer puts the file `name` names, relative to its folder
// (UTF-8, '\' between components), by its own rule; nullopt for a name it
// refuses.
std::optional<std::string> installedPlace(std::string_view name, NameRule rule) {
    namespace text = platform::text;
    const std::u16string wide = text::utf8ToUtf16(name);
    std::u16string place(wide.size() + 1, u'\0');
    if (installedName(wide.c_str(), rule, text::sameUnitsIgnoringCase, place.data()) != kNameOk)
        return std::nullopt;
    place.resize(nameLength(place.c_str()));
    return text::utf16ToUtf8(place);
}

}  // namespace

void warnSameDestinations(const std::string& pluginName, const std::vector<std::string>& extraNames,
                          std::ostream& err) {
    std::vector<std::pair<const std::string*, std::string>> placed;
    auto place = [&](const std::string& name, NameRule rule) {
        const auto where = installedPlace(name, rule);
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
