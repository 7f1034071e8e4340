#include "updater/destinations.h"

#include <optional>
#include <string_view>
#include <unordered_map>

#include "common/windows_names.h"
#include "platform/text/unicode.h"

namespace updater {
namespace {
namespace text = platform::text;

// Where the installer puts the file `name` names, relative to its folder
// ('\' between components), by its own rule; nullopt for a name it refuses.
std::optional<std::u16string> installedPlace(std::string_view name, NameRule rule) {
    const std::u16string wide = text::utf8ToUtf16(name);
    std::u16string place(wide.size() + 1, u'\0');
    if (installedName(wide.c_str(), rule, text::sameUnitsIgnoringCase, place.data()) != kNameOk)
        return std::nullopt;
    place.resize(nameLength(place.c_str()));
    return place;
}

// What two places share exactly when they are one file to Windows
// (sameFileName with the text layer's letter case): the place without its
// trailing dots and blanks, each unit in lower case. A table of hundreds of
// names is then checked in one pass rather than pair by pair.
std::u32string fileKey(const std::u16string& place) {
    std::u32string key;
    const std::size_t kept = keptLength(place.data(), place.size());
    key.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) key += text::toLowerCase(place[i]);
    return key;
}

}  // namespace

void warnSameDestinations(const std::string& pluginName, const std::vector<std::string>& extraNames,
                          std::ostream& err) {
    struct Placed {
        const std::string* name;
        std::u16string place;
    };
    std::unordered_map<std::u32string, Placed> placed;
    auto place = [&](const std::string& name, NameRule rule) {
        auto where = installedPlace(name, rule);
        if (!where)
            return;
        auto [found, added] = placed.try_emplace(fileKey(*where), Placed{&name, *where});
        if (!added) {
            err << "warning: \"" << *found->second.name << "\" and \"" << name
                << "\" are one file to Windows (\"" << text::utf16ToUtf8(found->second.place)
                << "\"); the installer will refuse to install\n";
        }
    };
    if (!pluginName.empty())
        place(pluginName, kLastComponent);
    for (const std::string& name : extraNames) place(name, kKeepFolders);
}

}  // namespace updater
