// The name rule of common/windows_names.h on UTF-8 text, for both systems:
// the installer applies it on Windows, so the updater and the editor apply
// it everywhere.
#include "platform/files/windows_access.h"

#include "platform/text/unicode.h"

namespace platform::files {
namespace {

// The letter case every name comparison on this side uses (platform/text's
// table); the installer asks Windows itself.
constexpr SameIgnoringCase sameIgnoringCase = text::sameUnitsIgnoringCase;

}  // namespace

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
