// Fuzzes the profile parser, both readers and the writers on an in-memory
// document, and the editor's extra-file scan.
//
// Input: one byte of buffer size, then section, key and value, each ended by
// a NUL, then the file's bytes. Beyond memory safety it checks that parsing
// keeps every byte, that the readers stay inside the size they are given, and
// that after each write the document answers as the same bytes read afresh.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "editor/ini/install_record.h"
#include "platform/profile/profile.h"

namespace {
using platform::profile::Document;

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// Splits off the text before the next NUL; false when there is none.
bool takeField(std::string_view& input, std::string_view& field) {
    std::size_t nul = input.find('\0');
    if (nul == std::string_view::npos)
        return false;
    field = input.substr(0, nul);
    input.remove_prefix(nul + 1);
    return true;
}

void readBoth(const Document& document, std::size_t size, std::string_view section,
              std::string_view key) {
    // Exactly sized, so that AddressSanitizer sees a single byte written past it.
    std::vector<char> buffer(size);
    auto endsInside = [&](std::size_t count) {
        return size == 0 ? count == 0 : count < size && buffer[count] == '\0';
    };
    check(
        endsInside(platform::profile::getString(document, section, key, "default", buffer, size)));
    check(endsInside(platform::profile::getSection(document, section, buffer, size)));
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The in-memory document must answer as its serialised bytes parsed again;
// an index that drifted after a write would show here.
void checkAgainstReparse(const Document& document, std::string_view section, std::string_view key) {
    Document reread = Document::parse(document.serialize());
    check(reread.value(section, key) == document.value(section, key));
    check(reread.sectionLines(section) == document.sectionLines(section));
    check(reread.serialize() == document.serialize());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    if (length < 1)
        return 0;
    std::size_t size = data[0];
    std::string_view input(reinterpret_cast<const char*>(data) + 1, length - 1);
    std::string_view section, key, value;
    if (!takeField(input, section) || !takeField(input, key) || !takeField(input, value))
        return 0;

    Document document = Document::parse(input);
    check(document.serialize() == input);
    readBoth(document, size, section, key);
    static_cast<void>(editor_ini::scanExtraFiles(input));

    if (document.setValue(section, key, value)) {
        // A written value reads back, blanks around it aside.
        auto stored = document.value(section, key);
        check(stored.has_value() && *stored == trimBlanks(value));
        checkAgainstReparse(document, section, key);
    }
    if (document.appendLine(section, value))
        checkAgainstReparse(document, section, key);
    if (document.addLastLine(key)) {
        // The line added is the last the scan of the file reads.
        check(document.serialize().ends_with(std::string(key) + "\r\n"));
        checkAgainstReparse(document, section, key);
    }
    if (document.removeSection(section)) {
        check(document.sectionLines(section).empty());
        checkAgainstReparse(document, section, key);
    }
    readBoth(document, size, section, key);
    return 0;
}
