#include "editor/ini/ini.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/text/codepage.h"

namespace editor_ini {
namespace {

constexpr std::int32_t kBufferSize = 300;

std::string trimSpaces(std::string text) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// ReadINI's rules on a document holding UTF-8 text.
std::string readKey(const platform::profile::Document& file, const std::string& Section,
                    const std::string& Key, const std::string& Default, std::int32_t Size,
                    unsigned codePage) {
    // A Size outside 1 to 300 counts as the nearest of them.
    const std::int32_t size = std::clamp<std::int32_t>(Size, 1, kBufferSize);
    // The whole value first: Size counts bytes in the ANSI code page, which a
    // UTF-8 character may outnumber.
    const std::optional<std::string> found = file.value(Section, Key);
    std::vector<char> buffer((found ? found->size() : Default.size()) + 1);
    const std::size_t length =
        platform::profile::getString(file, Section, Key, Default, buffer, buffer.size());
    const std::string_view text(buffer.data(), length);
    // At most Size - 1 ANSI bytes, and never half a character, which would
    // read back as another character or as none.
    const std::size_t copied =
        platform::text::utf8CutLengthForAnsi(text, static_cast<std::size_t>(size) - 1, codePage);
    // Nothing copied: an empty value reads as Default, as a missing key does.
    if (copied == 0)
        return trimSpaces(Default);
    return trimSpaces(std::string(text.substr(0, copied)));
}

}  // namespace

std::string ReadINI(const std::string& FileName, const std::string& Section, const std::string& Key,
                    const std::string& Default, std::int32_t Size, unsigned codePage) {
    // A missing or unreadable file reads as empty: every key gives Default.
    auto file = platform::profile::Document::loadText(FileName, codePage);
    return readKey(file ? *file : platform::profile::Document{}, Section, Key, Default, Size,
                   codePage);
}

std::string ReadINI(const platform::profile::Document& File, const std::string& Section,
                    const std::string& Key, const std::string& Default, std::int32_t Size,
                    unsigned codePage) {
    return readKey(File, Section, Key, Default, Size, codePage);
}

platform::Status WriteINI(platform::profile::Batch& File, std::string_view Section,
                          std::string_view Key, std::string_view Value) {
    return File.setValue(Section, Key, Value);
}

platform::Status WriteIniSection(platform::profile::Batch& File, std::string_view Section,
                                 std::string_view Text) {
    return File.appendLine(Section, Text);
}

}  // namespace editor_ini
