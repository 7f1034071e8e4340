// Names shared by every writer and reader of an install-info file: the editor's
// load and save, the backup store and the updater.
#pragma once

#include <array>
#include <string_view>

#include "common/installer_resources.h"

namespace install_info {

inline constexpr std::string_view kFileName = "install_info.ini";

inline constexpr std::string_view kSectionTexts = "Texts";
inline constexpr std::string_view kSectionFiles = "Files";
inline constexpr std::string_view kSectionMisc = "Misc";
// The editor writes and scans for this spelling; the updater asks for
// kSectionExtraFilesUpdater and finds it because section lookups ignore case.
inline constexpr std::string_view kSectionExtrafiles = "Extrafiles";
inline constexpr std::string_view kSectionExtraFilesUpdater = "ExtraFiles";
// The exact header line the editor's scan looks for (letter case included).
inline constexpr std::string_view kExtrafilesHeaderLine = "[Extrafiles]";

inline constexpr std::string_view kKeyName = "Name";
inline constexpr std::string_view kKeyVBName = "VBName";
inline constexpr std::string_view kKeyTitle = "Title";
inline constexpr std::string_view kKeyWarning = "Warning";
inline constexpr std::string_view kKeyFilename = "Filename";
inline constexpr std::string_view kKeyIcon = "Icon";
inline constexpr std::string_view kKeyRunAfterInstall = "RunAfterInstall";

// The signing command only the updater reads, and the editor keeps as it
// keeps every section it does not show: `%1` in it stands for the full
// path of the file to sign, which it signs in place.
inline constexpr std::string_view kSectionSign = "Sign";
inline constexpr std::string_view kKeyCommand = "Command";

// What the updater uses when a key is missing (an empty value stays empty).
inline constexpr std::string_view kDefaultName = TAMSEL_DEFAULT_NAME;
inline constexpr std::string_view kDefaultTitle = TAMSEL_DEFAULT_TITLE;

// The editor shows this text for "no warning"; the file stores an empty value.
inline constexpr std::string_view kNoWarning = "No Warning";

// The value written for the Warning key: empty for an empty box or exactly
// "No Warning" (letter case and blanks included), the text otherwise.
constexpr std::string_view warningValueToStore(std::string_view shown) {
    return shown == kNoWarning ? std::string_view{} : shown;
}

// The text shown for a Warning value read from a file.
constexpr std::string_view warningTextToShow(std::string_view stored) {
    return stored.empty() ? kNoWarning : stored;
}

// The seven keys in the order in which the editor writes and reads them.
struct Field {
    std::string_view section;
    std::string_view key;
};

inline constexpr std::array<Field, 7> kFieldOrder{{
    {kSectionTexts, kKeyName},
    {kSectionTexts, kKeyVBName},
    {kSectionTexts, kKeyTitle},
    {kSectionTexts, kKeyWarning},
    {kSectionFiles, kKeyFilename},
    {kSectionFiles, kKeyIcon},
    {kSectionMisc, kKeyRunAfterInstall},
}};

// Index of each field in kFieldOrder.
enum FieldIndex : std::size_t {
    kFieldName = 0,
    kFieldVBName,
    kFieldTitle,
    kFieldWarning,
    kFieldFilename,
    kFieldIcon,
    kFieldRunAfterInstall,
};

}  // namespace install_info
