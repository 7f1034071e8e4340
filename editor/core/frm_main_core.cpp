#include "editor/core/frm_main_core.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "common/install_info.h"
#include "common/program_files.h"
#include "editor/core/frm_backup_core.h"
#include "editor/core/paths.h"
#include "editor/core/routes.h"
#include "editor/ini/ini.h"
#include "editor/ini/install_record.h"
#include "platform/files/files.h"
#include "platform/profile/profile.h"

namespace editor_core {
namespace {

static_assert(kTextBoxCount == install_info::kFieldOrder.size());
static_assert(static_cast<std::size_t>(TextBox::txtWarning) == install_info::kFieldWarning);
static_assert(static_cast<std::size_t>(TextBox::txtRun) == install_info::kFieldRunAfterInstall);

constexpr std::array<HelpText, 8> kHelpTexts{{
    {"Help",
     "Name of plugin is requiered.It will be for the first message box at the installer asking "
     "you if you want to instal the plugin."},
    {"Help",
     "VB Progid is for Visual Basic plugins.\r\n"
     "Taken from Orvandos installer maker readme : \"VB object identifier (ProgID) The object "
     "identifier is the name of your project, a dot and the name of your class. For example, the "
     "identifier for the VB sample distributed in this API package is \"Kestrune.Sample\".\""},
    {"Help",
     "Title for MsgBoxes is requiered.It will display the title in the message boxes while the "
     "installation."},
    {"Help",
     "Optional warning before installing the plugin that your plugin users should know.\r\n"
     "Leave empty or type \"No Warning\" (without quotes) for no warning"},
    {"Help?", "Filename is requiered.It is for the filename of your plugin."},
    {"Help", "Icon is optional.It will be the icon for the installer."},
    {"Help",
     "Run after install is optional.You may want to put the readme of your plugin here...\r\n"
     "Note : Run after install file should also be at extra files!"},
    {"Help", "Extra files is files that your plugin may need."},
}};

constexpr std::size_t at(WatchedLabel label) {
    return static_cast<std::size_t>(label);
}

constexpr auto help = [](FrmMain& core, int Index) { core.cmdHelp_Click(Index); };
constexpr Route<FrmMain> kMainRoutes[]{
    {"txtName", -1, ControlEvent::Change, [](FrmMain& core, int) { core.txtName_Change(); }},
    {"txtMsgBoxes", -1, ControlEvent::Change,
     [](FrmMain& core, int) { core.txtMsgBoxes_Change(); }},
    {"txtFilename", -1, ControlEvent::Change,
     [](FrmMain& core, int) { core.txtFilename_Change(); }},
    {"txtRun", -1, ControlEvent::Change, [](FrmMain& core, int) { core.txtRun_Change(); }},
    {"cmdAdd", -1, ControlEvent::Click, [](FrmMain& core, int) { core.cmdAdd_Click(); }},
    {"cmdRemove", -1, ControlEvent::Click, [](FrmMain& core, int) { core.cmdRemove_Click(); }},
    {"cmdSave", -1, ControlEvent::Click, [](FrmMain& core, int) { core.cmdSave_Click(); }},
    {"cmdLoad", -1, ControlEvent::Click, [](FrmMain& core, int) { core.cmdLoad_Click(); }},
    {"cmdBackup", -1, ControlEvent::Click, [](FrmMain& core, int) { core.cmdBackup_Click(); }},
    {"Command1", -1, ControlEvent::Click, [](FrmMain& core, int) { core.Command1_Click(); }},
    {"cmdHelp", 0, ControlEvent::Click, help},
    {"cmdHelp", 1, ControlEvent::Click, help},
    {"cmdHelp", 2, ControlEvent::Click, help},
    {"cmdHelp", 3, ControlEvent::Click, help},
    {"cmdHelp", 4, ControlEvent::Click, help},
    {"cmdHelp", 5, ControlEvent::Click, help},
    {"cmdHelp", 6, ControlEvent::Click, help},
    {"cmdHelp", 7, ControlEvent::Click, help},
};

}  // namespace

const std::array<HelpText, 8>& helpTexts() {
    return kHelpTexts;
}

std::span<const Route<FrmMain>> mainRoutes() {
    return kMainRoutes;
}

FrmMain::FrmMain(MainView& view, std::string programFolder)
    : view_(view), programFolder_(std::move(programFolder)) {}

// ---- Loading --------------------------------------------------------------

void FrmMain::Form_Load() {
    InfoPath_ = inFolder(programFolder_, install_info::kFileName);
    // No install_info.ini yet (first use) simply leaves the window empty.
    LoadInstallInfo(InfoPath_);
}

void FrmMain::ClearFields() {
    for (std::size_t i = 0; i < kTextBoxCount; ++i) setBoxText(static_cast<TextBox>(i), "");
    view_.lstExtra().clear();
}

void FrmMain::LoadInstallInfo(const std::string& Path) {
    const platform::Result<std::string> text = editor_ini::readInstallInfoText(utf8Path(Path));
    showInstallInfo(text ? &*text : nullptr);
}

void FrmMain::showInstallInfo(const std::string* text) {
    // A file that cannot be read reads as an empty one: every key gives "".
    const platform::profile::Document file =
        text ? platform::profile::Document::parse(*text) : platform::profile::Document{};
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        const install_info::Field& field = install_info::kFieldOrder[i];
        std::string value = editor_ini::ReadINI(file, std::string(field.section),
                                                std::string(field.key), "", editor_ini::kReadSize);
        if (i == install_info::kFieldWarning)
            value = install_info::warningTextToShow(value);
        setBoxText(static_cast<TextBox>(i), value);
    }
    if (!text)
        return;
    const std::optional<std::vector<std::string>> entries = editor_ini::scanExtraFiles(*text);
    if (!entries)
        return;
    for (const std::string& entry : *entries) view_.lstExtra().add(entry);
    // Runs whenever the header was found, even when no entry follows it.
    RefreshLabels();
}

bool FrmMain::loadReplacing(const std::string& path) {
    // Read before ClearFields, so that a file that cannot be read leaves the
    // window as it was; the read's own reason goes on the second line.
    const platform::Result<std::string> text = editor_ini::readInstallInfoText(utf8Path(path));
    if (!text) {
        showError("Couldn't open " + path + "\r\n" + text.error().why());
        return false;
    }
    ClearFields();
    showInstallInfo(&*text);
    return true;
}

bool FrmMain::Command1_Click() {
    return loadReplacing(Label1);
}

bool FrmMain::loadFromPath(const std::string& path) {
    Label1 = path;
    return Command1_Click();
}

void FrmMain::cmdLoad_Click() {
    std::optional<std::string> chosen = view_.openFileDialog(
        {"Choose any Scrambler List",
         programFolder_,
         "",
         {{"Install info file", std::string(install_info::kFileName)}, {"INI files", "*.ini"}}});
    if (!chosen)
        return;  // a cancel leaves the window as it was
    LoadPath = *chosen;
    loadReplacing(LoadPath);
}

// ---- Saving ---------------------------------------------------------------

FieldValues FrmMain::currentValues() const {
    FieldValues values;
    for (std::size_t i = 0; i < kTextBoxCount; ++i)
        values.texts[i] = view_.text(static_cast<TextBox>(i));
    ListControl& list = view_.lstExtra();
    values.extraFiles.reserve(static_cast<std::size_t>(list.count()));
    for (int row = 0; row < list.count(); ++row) values.extraFiles.push_back(list.entry(row));
    return values;
}

void FrmMain::selectExtraEntry(int index) {
    view_.lstExtra().select(index);
}

void FrmMain::cmdSave_Click() {
    CheckRedLabels();
    if (RedLabelsFound_)
        return;

    const std::filesystem::path info = utf8Path(InfoPath_);
    const std::string backup = inFolder(programFolder_, program_files::kInstallInfoBackup);
    // The copy of the previous file is made only once the record is known to
    // be writable: a refused Save leaves "install_info backup.ini", the only
    // undo of the last Save, as it was.
    std::optional<std::string> copyFailure;
    auto keepPrevious = [&]() -> platform::Status {
        std::error_code ec;
        if (!std::filesystem::exists(info, ec))
            return {};  // a first save has no earlier file to keep
        platform::Status copied = platform::files::copyFile(info, utf8Path(backup));
        if (!copied)
            copyFailure =
                "Couldn't copy " + InfoPath_ + " to " + backup + "\r\n" + copied.error().why();
        return copied;
    };
    // One batch, replacing install_info.ini atomically: a failure keeps the
    // previous file instead of leaving it deleted.
    const FieldValues values = currentValues();
    const platform::Status written = editor_ini::writeInstallRecord(
        info, {values.texts, values.extraFiles}, editor_ini::WriteMode::FreshFile,
        [this](std::size_t index) { selectExtraEntry(static_cast<int>(index)); }, keepPrevious);
    if (!written) {
        showError(copyFailure ? *copyFailure
                              : "Couldn't save " + InfoPath_ + "\r\n" + written.error().why());
        return;
    }
    const MessageAnswer answer =
        view_.messageBox({"Successfuly saved!\r\nWould you like to update the installer now?",
                          "Saved", MessageIcon::Question, MessageButtons::YesNo});
    if (answer == MessageAnswer::Yes)
        startUpdater();
}

void FrmMain::startUpdater() {
    // The updater reads install_info.ini from its working directory: start it
    // in the program folder, where Save just wrote that file.
    const std::string updater = inFolder(programFolder_, program_files::kUpdater);
    if (platform::Status started = view_.startUpdater({updater, programFolder_}); !started)
        showError("Couldn't start " + updater + "\r\n" + started.error().why());
}

// ---- Validation -----------------------------------------------------------

void FrmMain::setBoxText(TextBox box, const std::string& text) {
    // As a text box does: only a real change runs the change handler.
    if (view_.text(box) == text)
        return;
    view_.setText(box, text);
    textChanged(box);
}

void FrmMain::textChanged(TextBox box) {
    // The boxes without a handler have no route.
    runRoute(mainRoutes(), *this, kTextBoxNames[static_cast<std::size_t>(box)], -1,
             ControlEvent::Change);
}

void FrmMain::setLabel(WatchedLabel label, LabelState state) {
    labels_[at(label)] = state;
    view_.setLabelColour(label, state);
}

LabelState FrmMain::labelState(WatchedLabel label) const {
    return labels_[at(label)];
}

void FrmMain::colourRequired(TextBox box, WatchedLabel label) {
    setLabel(label, view_.text(box).empty() ? LabelState::Red : LabelState::Black);
}

void FrmMain::txtName_Change() {
    colourRequired(TextBox::txtName, WatchedLabel::lblName);
}

void FrmMain::txtMsgBoxes_Change() {
    colourRequired(TextBox::txtMsgBoxes, WatchedLabel::lblMsgBoxes);
}

void FrmMain::txtFilename_Change() {
    colourRequired(TextBox::txtFilename, WatchedLabel::lblFilename);
}

void FrmMain::txtRun_Change() {
    ListControl& list = view_.lstExtra();
    if (list.count() == 0)
        setLabel(WatchedLabel::lblRun, LabelState::Red);
    const std::string run = view_.text(TextBox::txtRun);
    if (run.empty()) {
        setLabel(WatchedLabel::lblRun, LabelState::Black);
        return;
    }
    // The walk leaves the matching entry selected, or the last one when none
    // matches. Nothing is painted while it runs, so only that final selection
    // is ever seen, and only it is set.
    int stop = list.count() - 1;
    for (int row = 0; row < list.count(); ++row) {
        if (list.entry(row) == run) {
            stop = row;
            break;
        }
    }
    if (stop < 0)
        return;
    list.select(stop);
    setLabel(WatchedLabel::lblRun, list.entry(stop) == run ? LabelState::Black : LabelState::Red);
}

void FrmMain::RefreshLabels() {
    txtRun_Change();
    txtName_Change();
    txtMsgBoxes_Change();
    txtFilename_Change();
}

void FrmMain::CheckRedLabels() {
    bool anyRed = false;
    for (LabelState state : labels_) anyRed = anyRed || state == LabelState::Red;
    if (anyRed) {
        view_.messageBox(
            {"Please check the red labels and correct them.Click the \"?\" button for more help.",
             "Error", MessageIcon::Exclamation, MessageButtons::Ok});
    }
    RedLabelsFound_ = anyRed;
}

// ---- Extra files, help, backup --------------------------------------------

void FrmMain::cmdAdd_Click() {
    // Cancel adds nothing; OK with an empty answer adds an empty entry.
    std::optional<std::string> answer = view_.inputBox(
        {"Please type the exact filename of the file you want to add.", "Filename", ""});
    if (answer)
        view_.lstExtra().add(*answer);
}

void FrmMain::cmdRemove_Click() {
    ListControl& list = view_.lstExtra();
    const int row = list.selected();
    if (row < 0) {
        showError("No file selected!");
        return;
    }
    list.remove(row);
    RefreshLabels();
}

void FrmMain::cmdHelp_Click(int Index) {
    if (Index < 0 || Index >= static_cast<int>(kHelpTexts.size()))
        return;
    const HelpText& help = kHelpTexts[static_cast<std::size_t>(Index)];
    view_.messageBox({std::string(help.text), std::string(help.title), MessageIcon::Information,
                      MessageButtons::Ok});
}

void FrmMain::cmdBackup_Click() {
    CheckRedLabels();
    if (RedLabelsFound_)
        return;
    // One backup window: an open one is brought to the front, not read again.
    if (!backup_) {
        backup_ = &view_.createBackupWindow(*this);
        backup_->Form_Load();
    }
    view_.showBackupWindow();
}

void FrmMain::backupWindowUnloaded(const FrmBackup& window) {
    if (backup_ == &window)
        backup_ = nullptr;
}

void FrmMain::showError(const std::string& text) {
    view_.messageBox({text, "Error", MessageIcon::Exclamation, MessageButtons::Ok});
}

}  // namespace editor_core
