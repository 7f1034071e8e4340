// The files of the program folder that are not backups, each name written
// once: the editor's Save and updater start, the backup store's refusals and
// the updater's installer all use these.
#pragma once

#include <array>
#include <string_view>

#include "common/install_info.h"

namespace program_files {

// The installer the updater writes the install-info record into.
inline constexpr std::string_view kInstaller = "installer.exe";
// Save's copy of the install_info.ini it replaces.
inline constexpr std::string_view kInstallInfoBackup = "install_info backup.ini";
// The backup store's list of backup names.
inline constexpr std::string_view kBackupList = "backup.ini";

// The two programs, as a folder may hold them: without the Windows extension
// and with it.
inline constexpr std::array<std::string_view, 2> kEditorNames{"tamsel", "tamsel.exe"};
inline constexpr std::array<std::string_view, 2> kUpdaterNames{"updater", "updater.exe"};
// The updater the editor starts, under this system's name for it: the build
// says whether programs carry the Windows extension.
inline constexpr std::string_view kUpdater = kUpdaterNames[TAMSEL_PROGRAMS_HAVE_EXE_SUFFIX];

// Files that a backup must never overwrite or delete (letter case ignored).
inline constexpr std::array<std::string_view, 7> kOwnFiles{
    install_info::kFileName, kInstallInfoBackup, kBackupList,     kEditorNames[0],
    kEditorNames[1],         kUpdaterNames[0],   kUpdaterNames[1]};

}  // namespace program_files
