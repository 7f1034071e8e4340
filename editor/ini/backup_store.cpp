#include "editor/ini/backup_store.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "common/install_info.h"
#include "common/program_files.h"
#include "editor/ini/ini.h"
#include "platform/files/files.h"
#include "platform/files/windows_access.h"
#include "platform/profile/profile.h"
#include "platform/text/codepage.h"

namespace editor_ini {
namespace {

namespace fs = std::filesystem;

// The longest file name the file system takes, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

fs::path listPath(const fs::path& folder) {
    return folder / program_files::kBackupList;
}

// The count as the list file states it: a decimal number, rounded down, that
// fits the list; nullopt for anything else (empty, not a number, out of range).
std::optional<std::size_t> parseCount(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    bool negative = !digits.empty() && digits.front() == '-';
    std::string_view unsignedPart = negative ? digits.substr(1) : digits;
    // Only plain decimal notation: from_chars alone would also take "inf" and "nan".
    const bool plainDecimal = std::any_of(unsignedPart.begin(), unsignedPart.end(),
                                          [](char c) { return c >= '0' && c <= '9'; }) &&
                              std::count(unsignedPart.begin(), unsignedPart.end(), '.') <= 1 &&
                              std::all_of(unsignedPart.begin(), unsignedPart.end(), [](char c) {
                                  return (c >= '0' && c <= '9') || c == '.';
                              });
    if (!plainDecimal)
        return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                        std::chars_format::fixed);
    if (error != std::errc{} || end != digits.data() + digits.size())
        return std::nullopt;
    const double count = std::floor(value);
    if (!(count >= 0 && count <= static_cast<double>(kMaxBackups)))
        return std::nullopt;
    return static_cast<std::size_t>(count);
}

platform::Error invalidName(std::string why) {
    return platform::Error{std::move(why), platform::ErrorKind::InvalidName};
}

}  // namespace

platform::Status checkBackupName(std::string_view name) {
    if (name.empty())
        return invalidName("The name is empty.");
    if (name == "." || name == "..")
        return invalidName("The names \".\" and \"..\" stand for folders.");
    if (name.find_first_of("/\\") != std::string_view::npos)
        return invalidName("A backup name cannot hold / or \\.");
    // DEL too, which Windows would take: the list shows it as nothing.
    if (name.find('\x7f') != std::string_view::npos)
        return invalidName("A backup name cannot hold control characters.");
    if (name.size() > kMaxNameBytes)
        return invalidName("The name is too long for a file name.");
    // The name must be the file Windows opens by it: the backup is written,
    // listed and deleted under that name, so a name Windows reads as another
    // file ("install_info.ini.") would write over or delete that file.
    switch (platform::files::windowsComponentProblem(name)) {
        case kComponentOk:
            break;
        case kComponentVanishes:
            return invalidName(
                "A backup name of dots and blanks only is no file name: Windows drops dots "
                "and blanks at the end of a name.");
        case kComponentTooLong:
            return invalidName("The name is too long for a file name.");
        case kComponentDevice:
            return invalidName(
                "\"" + std::string(name) +
                "\" is a device to Windows, not a file (as are CON, NUL, COM1 and LPT1, with "
                "any extension).");
        case kComponentReserved:
            return invalidName(
                "A backup name cannot hold control characters, nor any of < > : \" | ? *");
    }
    if (const std::string_view kept = platform::files::keptComponent(name); kept != name) {
        return invalidName("Windows drops dots and blanks at the end of a file name: \"" +
                           std::string(name) + "\" would be the file \"" + std::string(kept) +
                           "\".");
    }
    for (std::string_view own : program_files::kOwnFiles) {
        if (platform::files::sameWindowsFile(name, own)) {
            // Built with append: GCC 12 at -O3 misreports operator+ on a
            // string literal here (-Wrestrict).
            std::string why = "\"";
            why.append(own).append("\" is a file of this program.");
            return invalidName(std::move(why));
        }
    }
    return {};
}

platform::Status checkNewBackupName(const fs::path& folder, std::string_view name,
                                    unsigned codePage) {
    if (platform::Status checked = checkBackupName(name); !checked)
        return checked;
    // ReadINI trims blanks from both ends of what it gives back.
    if (name.front() == ' ' || name.back() == ' ')
        return invalidName("A backup name cannot start or end with a blank.");
    const platform::text::Encoded ansi = platform::text::utf8ToAnsi(name, codePage);
    if (!ansi.unmappable.empty()) {
        return invalidName("A backup name cannot hold " +
                           platform::text::describeCharacter(ansi.unmappable.front().character) +
                           ": " + platform::text::codePageName(codePage) +
                           " has no such character.");
    }
    // The list file is read with a buffer of 100 bytes.
    if (ansi.ansi.size() > kMaxListedNameBytes) {
        return invalidName("A backup name can be at most " + std::to_string(kMaxListedNameBytes) +
                           " bytes long in " + platform::text::codePageName(codePage) +
                           "; this one takes " + std::to_string(ansi.ansi.size()) + ".");
    }
    const fs::path path = BackupPath(folder, std::string(name));
    std::error_code error;
    const fs::file_type type = fs::symlink_status(path, error).type();
    if (type == fs::file_type::not_found)
        return {};
    if (error)
        return platform::files::fileError("Cannot examine", path, error);
    if (!isBackupFile(path))
        return invalidName("\"" + std::string(name) +
                           "\" is a file of the program folder that is not a backup.");
    return {};
}

fs::path BackupPath(const fs::path& folder, const std::string& name) {
    return folder / name;
}

std::vector<std::string> ReadBackupList(const fs::path& folder) {
    // Read once: a list of thousands of names would otherwise parse the whole
    // file again for every name. An unreadable file reads as an empty one, as
    // it does for a single ReadINI.
    auto loaded =
        platform::profile::Document::loadText(listPath(folder), platform::text::ansiCodePage());
    const platform::profile::Document list =
        loaded ? std::move(loaded).value() : platform::profile::Document{};
    const std::optional<std::size_t> count = parseCount(
        ReadINI(list, std::string(kListSectionGeneral), std::string(kListKeyCount), "", kReadSize));
    std::vector<std::string> names;
    if (!count)
        return names;
    names.reserve(*count);
    for (std::size_t position = 1; position <= *count; ++position) {
        names.push_back(
            ReadINI(list, std::string(kListSectionNames), std::to_string(position), "", kReadSize));
    }
    return names;
}

bool isBackupFile(const fs::path& path) {
    std::error_code error;
    // symlink_status: a link is judged as a link, never by where it points.
    if (fs::symlink_status(path, error).type() != fs::file_type::regular)
        return false;
    auto file = platform::profile::Document::loadText(path, platform::text::ansiCodePage());
    return file && !file->sectionLines(install_info::kSectionTexts).empty();
}

platform::Status WriteBackupFile(const fs::path& folder, const std::string& name,
                                 const InstallRecord& record, const EntryWritten& onEntryWritten) {
    if (platform::Status checked = checkBackupName(name); !checked)
        return checked.error().within("Refused backup name \"" + name + "\": ");
    // The name goes into backup.ini, which is written in the ANSI code page:
    // a name it cannot hold would leave a backup file that no list names.
    const unsigned codePage = platform::text::ansiCodePage();
    if (auto why = platform::text::whyNotInCodePage(name, codePage)) {
        return platform::Error{
            "The backup name \"" + name + "\" holds " + *why + "; nothing was written.",
            platform::ErrorKind::Unsupported};
    }
    const fs::path path = BackupPath(folder, name);
    // A backup of the same name is made again; any other file of that name
    // (or a symlink, which would have its target written) is kept.
    std::error_code error;
    if (fs::symlink_status(path, error).type() != fs::file_type::not_found && !isBackupFile(path)) {
        if (error)
            return platform::files::fileError("Cannot examine", path, error);
        return platform::Error{platform::files::utf8Name(path) +
                                   " exists and is not a backup file; it was left as it is.",
                               platform::ErrorKind::Other};
    }
    return writeInstallRecord(path, record, WriteMode::UpdateInPlace, onEntryWritten);
}

platform::Status WriteBackupList(const fs::path& folder, const std::vector<std::string>& names) {
    if (names.size() > kMaxBackups) {
        return platform::Error{
            "The backup list holds more than " + std::to_string(kMaxBackups) + " names.",
            platform::ErrorKind::Unsupported};
    }
    // Written from empty: positions beyond the new count do not survive, and
    // the old list stays whole until the new one replaces it.
    platform::profile::Batch batch(listPath(folder), platform::profile::Batch::Start::Empty,
                                   platform::text::ansiCodePage());
    platform::Status status =
        batch.setValue(kListSectionGeneral, kListKeyCount, std::to_string(names.size()));
    for (std::size_t i = 0; i < names.size() && status; ++i) {
        status = batch.setValue(kListSectionNames, std::to_string(i + 1), names[i]);
    }
    if (!status)
        return status;
    return batch.commit();
}

platform::Result<Removal> DeleteBackup(const fs::path& folder, const std::string& name) {
    if (!checkBackupName(name))
        return Removal::NotABackup;
    const fs::path path = BackupPath(folder, name);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found)
        return Removal::NotFound;
    if (error)
        return platform::files::fileError("Cannot examine", path, error);
    if (!isBackupFile(path))
        return Removal::NotABackup;
    fs::remove(path, error);
    if (error)
        return platform::files::fileError("Cannot delete", path, error);
    return Removal::Deleted;
}

}  // namespace editor_ini
