#include "updater/destinations.h"

#include "platform/text/unicode.h"

namespace updater {

std::optional<std::string> installedPlace(std::string_view name, bool lastComponentOnly) {
    const bool drive = name.size() >= 2 && name[1] == ':' &&
                       ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
    const bool absolute = drive || (!name.empty() && (name[0] == '\\' || name[0] == '/'));
    std::vector<std::string_view> components;
    for (std::string_view rest = name.substr(drive ? 2 : 0);;) {
        const std::size_t end = rest.find_first_of("\\/");
        std::string_view component = rest.substr(0, end);
        if (component == "..")
            return std::nullopt;
        // Windows drops trailing dots and blanks when it opens a path.
        if (component != ".") {
            while (!component.empty() && (component.back() == '.' || component.back() == ' '))
                component.remove_suffix(1);
            if (!component.empty())
                components.push_back(component);
        }
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    const std::size_t last = name.find_last_of("\\/");
    const std::string_view lastComponent =
        name.substr(last == std::string_view::npos ? 0 : last + 1);
    if (components.empty() || lastComponent.empty() || lastComponent == ".")
        return std::nullopt;
    if (absolute || lastComponentOnly)
        components.erase(components.begin(), components.end() - 1);
    std::string place;
    for (std::string_view component : components) {
        if (!place.empty())
            place += '\\';
        place += component;
    }
    return place;
}

void warnSameDestinations(const std::string& pluginName, const std::vector<std::string>& extraNames,
                          std::ostream& err) {
    std::vector<std::pair<const std::string*, std::string>> placed;
    auto place = [&](const std::string& name, bool lastComponentOnly) {
        const auto where = installedPlace(name, lastComponentOnly);
        if (!where)
            return;
        for (const auto& [earlier, earlierPlace] : placed) {
            if (platform::text::sameNameIgnoringCase(earlierPlace, *where)) {
                err << "warning: \"" << *earlier << "\" and \"" << name
                    << "\" are one file to Windows (\"" << earlierPlace
                    << "\"); the installer will refuse to install\n";
                return;
            }
        }
        placed.emplace_back(&name, *where);
    };
    if (!pluginName.empty())
        place(pluginName, true);
    for (const std::string& name : extraNames) place(name, false);
}

}  // namespace updater
