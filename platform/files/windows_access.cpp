#include "platform/files/windows_access.h"

#include "platform/files/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace platform::files {
namespace fs = std::filesystem;

namespace {

// A byte that starts no well-formed UTF-8 character stands for itself, above
// every code point, so that it equals only the same byte.
constexpr char32_t kRawByte = 0x110000;

// The code point at `text[at]`, and how many bytes it takes.
std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t least = 0;  // the smallest value this length may carry (no overlong forms)
    if (lead < 0x80)
        return {lead, 1};
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return {kRawByte + lead, 1};
    }
    if (text.size() - at < length)
        return {kRawByte + lead, 1};
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80)
            return {kRawByte + lead, 1};
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {kRawByte + lead, 1};
    return {value, length};
}

// Simple lower case of the letters the European ANSI code pages hold.
char32_t foldLetter(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 0x20;  // ASCII, Latin-1
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A: pairs of capital and small letter, the capital
        // even up to U+0137 and from U+014A, odd in between and after U+0178.
        // U+0130 and U+0131 (dotted and dotless i) have no simple pair.
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (c == 0x178)
            return 0xFF;
        const bool capitalIsOdd = (c >= 0x139 && c <= 0x148) || c >= 0x179;
        return (c % 2 == 1) == capitalIsOdd ? c + 1 : c;
    }
    if ((c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;  // Greek, Cyrillic
    if (c == 0x386)
        return 0x3AC;
    if (c >= 0x388 && c <= 0x38A)
        return c + 0x25;
    if (c == 0x38C)
        return 0x3CC;
    if (c == 0x38E || c == 0x38F)
        return c + 0x3F;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c == 0x490)
        return 0x491;
    return c;
}

std::u32string folded(std::string_view name) {
    std::u32string out;
    for (std::size_t at = 0; at < name.size();) {
        auto [c, length] = decodeAt(name, at);
        out += foldLetter(c);
        at += length;
    }
    return out;
}

// Windows drops a component's trailing dots and blanks ("readme.txt. " is
// "readme.txt"); "." and ".." stay what they are.
std::string_view withoutTrailingDotsAndBlanks(std::string_view component) {
    if (component == "." || component == "..")
        return component;
    const auto end = component.find_last_not_of(". ");
    return end == std::string_view::npos ? std::string_view{} : component.substr(0, end + 1);
}

bool isFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool entryExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string inQuotes(std::string_view name) {
    return '"' + std::string(name) + '"';
}

// The entry of `folder` that the Windows component `component` names.
std::optional<std::string> findComponent(const fs::path& folder, std::string_view component,
                                         bool mustBeFolder, const Note& note) {
    const std::string_view trimmed = withoutTrailingDotsAndBlanks(component);
    if (trimmed.empty())
        return std::nullopt;
    const auto fits = [&](const fs::path& entry) { return !mustBeFolder || isFolder(entry); };
    for (std::string_view exact : {component, trimmed}) {
        if (entryExists(folder / exact) && fits(folder / exact))
            return std::string(exact);
    }
    if (trimmed == "." || trimmed == "..")
        return std::nullopt;

    const std::u32string wanted = folded(trimmed);
    std::vector<std::string> matches;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (folded(withoutTrailingDotsAndBlanks(name)) == wanted && fits(it->path()))
            matches.push_back(std::move(name));
    }
    if (matches.empty())
        return std::nullopt;
    std::sort(matches.begin(), matches.end());
    if (matches.size() > 1 && note) {
        std::string names;
        for (const auto& match : matches) names += (names.empty() ? "" : ", ") + inQuotes(match);
        note(inQuotes(component) + " matches several names that differ only in letter case (" +
             names + "); using " + inQuotes(matches.front()));
    }
    return matches.front();
}

}  // namespace

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return folded(a) == folded(b);
}

std::optional<fs::path> findWindowsPath(const fs::path& folder, std::string_view name,
                                        const Note& note) {
    fs::path found = !name.empty() && name.front() == '/' ? fs::path("/") : folder;
    std::vector<std::string_view> components;
    for (std::size_t at = 0; at <= name.size();) {
        const std::size_t end = std::min(name.find_first_of("/\\", at), name.size());
        if (end > at)
            components.push_back(name.substr(at, end - at));
        at = end + 1;
    }
    if (components.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (components[i] == ".")
            continue;
        auto entry = findComponent(found, components[i], i + 1 < components.size(), note);
        if (!entry)
            return std::nullopt;
        found /= *entry;
    }
    return found;
}

Status checkWritableAsOnWindows(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return fileError("cannot open", path, errno);
    // Root may write any file on Linux; Windows refuses a read-only file to
    // everyone, so the permission bits alone decide here.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return Error{path.string() + " is read-only", ErrorKind::ReadOnly, 0, "read-only"};
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return fileError("cannot write", path, errno);
    return {};
}

}  // namespace platform::files
