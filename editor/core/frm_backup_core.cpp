#include "editor/core/frm_backup_core.h"

#include <algorithm>
#include <filesystem>

#include "common/program_files.h"
#include "editor/core/paths.h"
#include "editor/core/routes.h"
#include "editor/ini/backup_store.h"
#include "platform/text/codepage.h"

namespace editor_core {
namespace {

namespace fs = std::filesystem;

constexpr Route<FrmBackup> kBackupRoutes[]{
    {"cmdMake", -1, ControlEvent::Click, [](FrmBackup& core, int) { core.cmdMake_Click(); }},
    {"cmdRemove", -1, ControlEvent::Click, [](FrmBackup& core, int) { core.cmdRemove_Click(); }},
    {"cmdEdit", -1, ControlEvent::Click, [](FrmBackup& core, int) { core.cmdEdit_Click(); }},
};

}  // namespace

std::span<const Route<FrmBackup>> backupRoutes() {
    return kBackupRoutes;
}

FrmBackup::FrmBackup(BackupView& view, FrmMain& main) : view_(view), main_(main) {}

void FrmBackup::Form_Unload() {
    main_.backupWindowUnloaded(*this);
}

void FrmBackup::Form_Load() {
    view_.setInfoCaption("Use this to backup your existing install file.");
    for (const std::string& name : editor_ini::ReadBackupList(utf8Path(main_.programFolder())))
        view_.lstBackups().add(name);
}

void FrmBackup::cmdMake_Click() {
    const std::optional<std::string> answer = view_.inputBox(
        {"Please enter a backup name.", "Backup name", main_.view().text(TextBox::txtName)});
    if (!answer)
        return;  // Cancel makes nothing, not a backup with an empty name
    const std::string& name = *answer;
    const fs::path folder = utf8Path(main_.programFolder());
    // A name that is no plain file name in the program folder would write
    // elsewhere or overwrite a file that is no backup; one that does not read
    // back from the list unchanged would list a backup with no file.
    if (const platform::Status checked =
            editor_ini::checkNewBackupName(folder, name, platform::text::ansiCodePage());
        !checked) {
        // The whole message: a file that cannot be examined is named in it.
        showError("Invalid backup name!\r\n" + checked.message());
        return;
    }
    ListControl& list = view_.lstBackups();
    // A name already listed would overwrite that backup without a word and
    // list it twice: ask, and on Yes rewrite the file under the entry it has.
    const std::vector<std::string> listed = names();
    const bool replacing = std::find(listed.begin(), listed.end(), name) != listed.end();
    if (replacing &&
        view_.messageBox({"A backup named \"" + name + "\" exists. Replace it?", "Backup name",
                          MessageIcon::Question, MessageButtons::YesNo}) != MessageAnswer::Yes)
        return;
    // One more name would make a count that reads back as unusable, and the
    // whole list would be lost on the next opening.
    if (!replacing && static_cast<std::size_t>(list.count()) >= editor_ini::kMaxBackups) {
        showError("Invalid backup name!\r\nThe backup list is full.");
        return;
    }
    // A backup that could not be written (full disk, read-only folder) is said
    // so and not listed: a listed name promises a file to go back to.
    const FieldValues values = main_.currentValues();
    const platform::Status written = editor_ini::WriteBackupFile(
        folder, name, {values.texts, values.extraFiles},
        [this](std::size_t index) { main_.selectExtraEntry(static_cast<int>(index)); });
    const std::string path = utf8Text(editor_ini::BackupPath(folder, name));
    if (!written) {
        showFileError("Couldn't write ", path, written.error().why());
        return;
    }
    if (replacing)
        return;
    list.add(name);
    if (const platform::Status listed = editor_ini::WriteBackupList(folder, names()); !listed) {
        list.remove(list.count() - 1);
        showFileError("Couldn't write ", utf8Text(folder / program_files::kBackupList),
                      listed.error().why());
    }
}

void FrmBackup::cmdRemove_Click() {
    const int row = selectedOrComplain();
    if (row < 0)
        return;
    ListControl& list = view_.lstBackups();
    const fs::path folder = utf8Path(main_.programFolder());
    // Only a backup file is deleted. A name that names no file, or a file that
    // is no backup (a hand-edited name, the installer, a readme), goes from the
    // list all the same and the file stays. A backup that could not be deleted
    // keeps its entry, so that it can still be found.
    const std::string name = list.entry(row);
    std::vector<std::string> remaining = names();
    remaining.erase(remaining.begin() + row);
    // Entries of one name share one file (lists made before Make asked): the
    // file goes with the last of them, never from under another entry.
    if (std::find(remaining.begin(), remaining.end(), name) == remaining.end()) {
        const platform::Result<editor_ini::Removal> removed =
            editor_ini::DeleteBackup(folder, name);
        if (!removed) {
            showFileError("Couldn't delete ", utf8Text(editor_ini::BackupPath(folder, name)),
                          removed.error().why());
            return;
        }
    }
    // A list that could not be written keeps the entry too: the window shows
    // what the list file says.
    if (const platform::Status listed = editor_ini::WriteBackupList(folder, remaining); !listed) {
        showFileError("Couldn't write ", utf8Text(folder / program_files::kBackupList),
                      listed.error().why());
        return;
    }
    list.remove(row);
}

void FrmBackup::cmdEdit_Click() {
    const int row = selectedOrComplain();
    if (row < 0)
        return;
    const std::string name = view_.lstBackups().entry(row);
    const fs::path folder = utf8Path(main_.programFolder());
    const fs::path path = editor_ini::BackupPath(folder, name);
    // A listed name that names some other file (a hand-edited list, or
    // " readme.txt" read back as "readme.txt") is not loaded as a backup.
    std::error_code error;
    if (!editor_ini::checkBackupName(name) ||
        (fs::symlink_status(path, error).type() != fs::file_type::not_found &&
         !editor_ini::isBackupFile(path))) {
        showError("Couldn't open " + utf8Text(path));
        return;
    }
    // A load that failed has shown its own message; this window stays so the
    // author can pick another backup.
    if (!main_.loadFromPath(utf8Text(path)))
        return;
    main_.view().showWindow();
    view_.closeWindow();
}

int FrmBackup::selectedOrComplain() {
    const int row = view_.lstBackups().selected();
    if (row < 0)
        showError("No backup file selected!");
    return row;
}

void FrmBackup::showError(const std::string& text) {
    view_.messageBox({text, "Error", MessageIcon::Exclamation, MessageButtons::Ok});
}

// The action and the file on one line, the reason on the next.
void FrmBackup::showFileError(const std::string& action, const std::string& file,
                              const std::string& reason) {
    showError(action + file + "\r\n" + reason);
}

std::vector<std::string> FrmBackup::names() {
    ListControl& list = view_.lstBackups();
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(list.count()));
    for (int row = 0; row < list.count(); ++row) result.push_back(list.entry(row));
    return result;
}

}  // namespace editor_core
