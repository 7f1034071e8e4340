// The name rule of common/windows_names.h on UTF-8 text, for both systems:
// the installer applies it on Windows, so the updater and the editor apply
// it everywhere.
#include "platform/files/windows_access.h"

#include "platform/text/unicode.h"

namespace platform::files {
namespace {

// The letter case every name comparison on this side uses (platform/text's
// table); the installer asks Windows itself.
int sameIgnoringCase(const NameChar* a, const NameChar* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (text::toLowerCase(a[i]) != text::toLowerCase(b[i]))
            return 0;
    }
    return 1;
}

}  // namespace

std::optional<std::string> installedPlace(std::string_view name, NameRule rule) {
    const std::u16string wide = text::utf8ToUtf16(name);
    std::u16string place(wide.size() + 1, u'\0');
    if (installedName(wide.c_str(), rule, sameIgnoringCase, place.data()) != kNameOk)
        return std::nullopt;
    place.resize(nameLength(place.c_str()));
    return text::utf16ToUtf8(place);
}

std::string_view keptComponent(std::string_view component) {
    // The characters dropped are ASCII: as many bytes go as UTF-16 units.
    const std::u16string wide = text::utf8ToUtf16(component);
    const std::size_t dropped = wide.size() - keptLength(wide.data(), wide.size());
    return component.substr(0, component.size() - dropped);
}

ComponentProblem windowsComponentProblem(std::string_view component) {
    const std::u16string wide = text::utf8ToUtf16(component);
    return componentProblem(wide.data(), wide.size(), sameIgnoringCase);
}

bool sameWindowsFile(std::string_view a, std::string_view b) {
    const std::u16string first = text::utf8ToUtf16(a);
    const std::u16string second = text::utf8ToUtf16(b);
    return sameFileName(first.data(), first.size(), second.data(), second.size(),
                        sameIgnoringCase) != 0;
}

}  // namespace platform::files
