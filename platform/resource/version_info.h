// The version resource (RT_VERSION): what Explorer's Details tab and the
// uninstall list show of a program, read from a plugin DLL and written into
// the installer.
//
// Its bytes are a tree of blocks, each a 6-byte header (length, value
// length, type), a NUL-terminated UTF-16 key, a value and child blocks, every
// one starting on a 32-bit boundary counted from the start of the resource:
//   VS_VERSION_INFO          value: the fixed file info (version numbers)
//     StringFileInfo
//       040904B0             one string table per language and code page
//         CompanyName        value: the text
//     VarFileInfo
//       Translation          value: language and code page, 16 bits each
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/result.h"

namespace platform::resource {

inline constexpr std::uint16_t kTypeVersion = 16;  // RT_VERSION
inline constexpr std::uint16_t kIdVersion = 1;     // the name rc and windres give it

// A version as its four 16-bit parts: {major, minor, build, revision}.
using VersionNumbers = std::array<std::uint16_t, 4>;

// "a.b.c.d", as version strings spell the numbers.
std::u16string versionText(const VersionNumbers& numbers);

struct VersionInfo {
    VersionNumbers fileVersion{};     // dwFileVersionMS and LS of the fixed file info
    VersionNumbers productVersion{};  // dwProductVersionMS and LS
    // The strings of the first string table; empty when the table has no such key.
    std::u16string companyName;
    std::u16string fileDescription;
    std::u16string legalCopyright;
    std::u16string productName;
    std::u16string productVersionText;  // ProductVersion, free text ("3.1 beta")

    bool operator==(const VersionInfo&) const = default;
};

// Reads the bytes of an RT_VERSION resource. Damaged bytes give an Error
// (BadFormat) that says what is wrong and where.
Result<VersionInfo> parseVersionInfo(std::span<const std::byte> bytes);

// The version resource of a PE image, its first name and first language as
// the resource tree lists them: nullopt when the image has none; an Error
// when the image or the resource is damaged. The image may have been read
// only in part, zero-filled elsewhere.
Result<std::optional<VersionInfo>> readVersionInfo(std::span<const std::byte> image);

// The bytes of a version resource for `info`: the fixed file info (an
// application's, for Windows NT), and one string table, US English in
// UTF-16 ("040904B0"), with CompanyName (left out when empty),
// FileDescription, FileVersion (versionText of fileVersion), LegalCopyright
// (left out when empty), ProductName and ProductVersion
// (productVersionText, else versionText of productVersion); then
// VarFileInfo\Translation naming that table. The blocks' lengths are 16-bit:
// texts too long for them give an Error (Unsupported).
Result<std::vector<std::byte>> buildVersionInfo(const VersionInfo& info);

}  // namespace platform::resource
