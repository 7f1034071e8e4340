// frmMain's loading and saving: the window's own install_info.ini at start,
// Load and the backup window's Command1 for any file, Save, and the updater.
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <filesystem>
#include <string>

#include "common/program_files.h"
#include "editor/ini/ini.h"
#include "editor/ini/install_record.h"
#include "editor/main/frm_main.h"
#include "editor/ui/dialogs.h"
#include "editor/ui/list_box.h"
#include "editor/ui/text_convert.h"
#include "platform/files/files.h"
#include "platform/profile/profile.h"

namespace editor_main {
namespace {

using editor_ui::MessageAnswer;
using editor_ui::MessageButtons;
using editor_ui::MessageIcon;
using editor_ui::toPath;
using editor_ui::toQt;

}  // namespace

void frmMain::Form_Load() {
    InfoPath_ = QDir(programFolder_).filePath(toQt(install_info::kFileName));
    // No install_info.ini yet (first use) simply leaves the window empty.
    LoadInstallInfo(InfoPath_);
}

void frmMain::ClearFields() {
    for (QLineEdit* box : fieldBoxes()) box->clear();
    lstExtra->clear();
}

void frmMain::LoadInstallInfo(const QString& Path) {
    showInstallInfo(editor_ini::readInstallInfoText(toPath(Path)));
}

void frmMain::showInstallInfo(const platform::Result<std::string>& text) {
    // A file that cannot be read reads as an empty one: every key gives "".
    const platform::profile::Document file =
        text ? platform::profile::Document::parse(*text) : platform::profile::Document{};
    const auto boxes = fieldBoxes();
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        const install_info::Field& field = install_info::kFieldOrder[i];
        std::string value = editor_ini::ReadINI(file, std::string(field.section),
                                                std::string(field.key), "", editor_ini::kReadSize);
        if (i == install_info::kFieldWarning)
            value = install_info::warningTextToShow(value);
        boxes[i]->setText(toQt(value));
        // setText leaves the cursor at the end, which scrolls a long value so
        // that only its last characters show; the start says more.
        boxes[i]->setCursorPosition(0);
    }

    if (!text)
        return;
    const std::optional<std::vector<std::string>> entries = editor_ini::scanExtraFiles(*text);
    if (!entries)
        return;
    for (const std::string& entry : *entries) lstExtra->addItem(toQt(entry));
    // Runs whenever the header was found, even when no entry follows it.
    RefreshLabels();
}

bool frmMain::loadReplacing(const QString& path) {
    // Read before ClearFields, so that a file that cannot be read leaves
    // the window as it was.
    const platform::Result<std::string> text = editor_ini::readInstallInfoText(toPath(path));
    if (!text) {
        showError("Couldn't open " + path + "\r\n" + toQt(text.error().why()));
        return false;
    }
    ClearFields();
    showInstallInfo(text);
    return true;
}

bool frmMain::Command1_Click() {
    return loadReplacing(Label1->text());
}

void frmMain::cmdLoad_Click() {
    std::optional<QString> chosen = editor_ui::dialogs().openFile(
        this, {"Choose any Scrambler List",
               programFolder_,
               QString(),
               {{"Install info file", toQt(install_info::kFileName)}, {"INI files", "*.ini"}}});
    if (!chosen)
        return;  // a cancel leaves the window as it was
    LoadPath = *chosen;
    loadReplacing(LoadPath);
}

void frmMain::cmdSave_Click() {
    CheckRedLabels();
    if (RedLabelsFound)
        return;

    const std::filesystem::path info = toPath(InfoPath_);
    const QString backup = QDir(programFolder_).filePath(toQt(program_files::kInstallInfoBackup));
    std::error_code ec;
    // A first save has no earlier file to keep.
    if (std::filesystem::exists(info, ec)) {
        const platform::Status copied = platform::files::copyFile(info, toPath(backup));
        if (!copied) {
            showError("Couldn't copy " + InfoPath_ + " to " + backup + "\r\n" +
                      toQt(copied.message()));
            return;
        }
    }

    // One batch, replacing install_info.ini atomically: a failure keeps the
    // previous file instead of leaving it deleted.
    const platform::Status written = editor_ini::writeInstallRecord(
        info, currentRecord(), editor_ini::WriteMode::FreshFile,
        [this](std::size_t index) { lstExtra->setCurrentRow(static_cast<int>(index)); });
    if (!written) {
        showError("Couldn't save " + InfoPath_ + "\r\n" + toQt(written.message()));
        return;
    }

    const MessageAnswer answer = editor_ui::dialogs().message(
        this, {"Successfuly saved!\r\nWould you like to update the installer now?", "Saved",
               MessageIcon::Question, MessageButtons::YesNo});
    if (answer == MessageAnswer::Yes)
        startUpdater();
}

void frmMain::startUpdater() {
    // The updater reads install_info.ini from its working directory: start it
    // in the program folder, where Save just wrote that file.
    const QString updater = QDir(programFolder_).filePath(toQt(program_files::kUpdater));
    QString error;
    if (!editor_ui::dialogs().startProcess({updater, programFolder_}, &error)) {
        showError("Couldn't start " + updater + "\r\n" + error);
    }
}

}  // namespace editor_main
