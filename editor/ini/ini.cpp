#include "editor/ini/ini.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/profile/profile.h"

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

}  // namespace

std::string ReadINI(const std::string& FileName, const std::string& Section, const std::string& Key,
                    const std::string& Default, std::int32_t Size) {
    // Size must never let the platform routine write past the buffer.
    std::int32_t size = std::clamp<std::int32_t>(Size, 1, kBufferSize);
    std::array<char, kBufferSize> buffer{};
    platform::profile::getString(Section, Key, Default, buffer, static_cast<std::size_t>(size),
                                 FileName);
    std::size_t copied = ::strnlen(buffer.data(), buffer.size());
    // Nothing copied: an empty value reads as Default, as a missing key does.
    std::string result = copied == 0 ? Default : std::string(buffer.data(), copied);
    return trimSpaces(std::move(result));
}

void WriteINI(const std::string& FileName, const std::string& Section, const std::string& Key,
              const std::string& Value) {
    // A refused write leaves the file as it was; callers carry on regardless.
    static_cast<void>(platform::profile::writeString(Section, Key, Value, FileName));
}

void WriteIniSection(const std::string& FileName, const std::string& Section,
                     const std::string& Text) {
    static_cast<void>(platform::profile::appendLine(Section, Text, FileName));
}

}  // namespace editor_ini
