#include "editor/ini/ini.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string_view>

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

// The bytes of a UTF-8 sequence its lead byte announces; 0 for a byte that
// cannot start one (a continuation byte or an invalid byte).
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// How many of `text`'s bytes remain once a UTF-8 sequence cut short at its
// end is dropped. Complete characters, and bytes that are no UTF-8 at all,
// stay as they are.
std::size_t withoutSplitCharacter(std::string_view text) {
    std::size_t start = text.size();
    // A sequence is at most four bytes: its lead lies among the last three.
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) != 0x80) {
            start = text.size() - back;
            break;
        }
    }
    if (start == text.size())
        return text.size();
    const std::size_t length = sequenceLength(static_cast<unsigned char>(text[start]));
    return length > text.size() - start ? start : text.size();
}

// ReadINI's rules, given the platform reader that fills the buffer.
template <typename Reader>
std::string readKey(const Reader& getString, const std::string& Default, std::int32_t Size) {
    // Size must never let the platform routine write past the buffer.
    std::int32_t size = std::clamp<std::int32_t>(Size, 1, kBufferSize);
    std::array<char, kBufferSize> buffer{};
    getString(buffer, static_cast<std::size_t>(size));
    std::size_t copied = ::strnlen(buffer.data(), buffer.size());
    // Nothing copied: an empty value reads as Default, as a missing key does.
    if (copied == 0)
        return trimSpaces(Default);
    // A value cut at the limit may end inside a character; half a character
    // would read back as U+FFFD and be saved as such.
    if (copied == static_cast<std::size_t>(size) - 1)
        copied = withoutSplitCharacter(std::string_view(buffer.data(), copied));
    return trimSpaces(std::string(buffer.data(), copied));
}

}  // namespace

std::string ReadINI(const std::string& FileName, const std::string& Section, const std::string& Key,
                    const std::string& Default, std::int32_t Size) {
    return readKey(
        [&](std::span<char> buffer, std::size_t size) {
            platform::profile::getString(Section, Key, Default, buffer, size, FileName);
        },
        Default, Size);
}

std::string ReadINI(const platform::profile::Document& File, const std::string& Section,
                    const std::string& Key, const std::string& Default, std::int32_t Size) {
    return readKey(
        [&](std::span<char> buffer, std::size_t size) {
            platform::profile::getString(File, Section, Key, Default, buffer, size);
        },
        Default, Size);
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
