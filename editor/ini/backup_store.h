// The backup store: named snapshots of an install-info record, each an
// install-info file in the program folder whose file name is the backup name,
// listed in order in the list file backup.ini (program_files::kBackupList).
// No Qt: the window only calls in.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/ini/ini.h"
#include "editor/ini/install_record.h"
#include "platform/result.h"

namespace editor_ini {

inline constexpr std::string_view kListSectionGeneral = "GEN";
inline constexpr std::string_view kListKeyCount = "Backups";
inline constexpr std::string_view kListSectionNames = "Backups";
// Counts and positions are 16-bit signed integers in the list file; 32767 and
// above reads back as an unusable count.
inline constexpr std::size_t kMaxBackups = 32766;

// Whether `name` can be a backup name; why not as an Error of kind
// InvalidName. Refused: empty, a folder part, "." and "..", longer than a
// file name may be, any name that Windows would not open as that very file
// (characters a file name cannot hold, a device name such as NUL or
// COM1.txt, dots or blanks at its end), and the program's own files (letter
// case ignored), which a backup would overwrite or a removal would delete.
platform::Status checkBackupName(std::string_view name);

// The longest name the list file gives back whole, in ANSI bytes.
inline constexpr std::size_t kMaxListedNameBytes = kReadSize - 1;

// Whether a new backup may be made under `name` in `folder`; why not as an
// Error of kind InvalidName, or the system's when the file cannot be
// examined. Beyond checkBackupName, the name must read back from the list
// file unchanged: at most kMaxListedNameBytes bytes in `codePage`, no blank
// at its start or end, and only characters the code page holds. And it must
// not name a file of the folder that is not a backup (the installer, a plugin).
platform::Status checkNewBackupName(const std::filesystem::path& folder, std::string_view name,
                                    unsigned codePage);

// The program folder joined with the name, unchanged: no extension is added.
std::filesystem::path BackupPath(const std::filesystem::path& folder, const std::string& name);

// The names listed in the folder's backup.ini, in position order. A missing
// file or an unusable count gives an empty list; a missing position gives an
// empty name. Names come back through ReadINI: trimmed and cut to 99 characters.
std::vector<std::string> ReadBackupList(const std::filesystem::path& folder);

// True for a backup file: a regular file (not a symlink) whose INI text has a
// Texts section with a line in it, as every install-info record written by
// this program has. Anything else in the program folder (the installer, a
// readme, a plugin) is not one, and is never overwritten or deleted.
bool isBackupFile(const std::filesystem::path& path);

// Writes `record` to BackupPath(folder, name): the seven keys in place, the
// Extrafiles section rebuilt at the end, other sections of an existing file
// kept. `onEntryWritten` sees each extra-file index as it is written.
// A refused name, or an existing file that is not a backup file, writes nothing.
platform::Status WriteBackupFile(const std::filesystem::path& folder, const std::string& name,
                                 const InstallRecord& record,
                                 const EntryWritten& onEntryWritten = {});

// Replaces backup.ini with a freshly written list of `names`, atomically, so
// that a failed write leaves the previous list whole.
platform::Status WriteBackupList(const std::filesystem::path& folder,
                                 const std::vector<std::string>& names);

// What DeleteBackup did with the file a listed name names.
enum class Removal {
    Deleted,
    NotFound,
    // Left untouched: a refused name (one that could point at a program file
    // or outside the folder, e.g. from a hand-edited list), or a file that is
    // not a backup file (a folder, a symlink, the installer, a readme...).
    NotABackup,
};

// Deletes the one backup file of that name, and nothing that is not a
// backup file. An Error only when a backup file is there and could not be
// deleted (or examined).
platform::Result<Removal> DeleteBackup(const std::filesystem::path& folder,
                                       const std::string& name);

}  // namespace editor_ini
