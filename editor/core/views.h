// What the editor's core asks of a window. Each window of a front end (Qt on
// Linux, Win32 on Windows) implements one of these interfaces; the core
// (frm_main_core.h, frm_backup_core.h) holds the state and runs the handlers,
// and the tests implement them with fakes.
//
// Rules every implementation follows:
// - Text is UTF-8 in std::string, paths included. A Win32 front end converts
//   with MultiByteToWideChar(CP_UTF8) / WideCharToMultiByte(CP_UTF8) at its
//   own edge and calls the wide (W) functions.
// - Nothing here calls back into the core while it runs. In particular setText does not report a change:
//   the core runs the change handler itself. Only a change the user makes is
//   reported, by calling the core's handler (txtName_Change, ...).
// - Modal calls (messageBox, inputBox, openFileDialog) return once the user has
//   answered; the window that asks is their owner.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace editor_core {

class FrmBackup;
class FrmMain;

// ---- Dialogs ---------------------------------------------------------------

enum class MessageIcon { Information, Exclamation, Question };  // MB_ICONINFORMATION, ...
enum class MessageButtons { Ok, YesNo };                           // MB_OK, MB_YESNO
enum class MessageAnswer { Ok, Yes, No };                          // IDOK, IDYES, IDNO

struct MessageRequest {
    std::string text;  // two-part messages are already joined by "\r\n"
    std::string title;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
};

// A prompt, one text box holding `defaultAnswer` (all selected), OK and Cancel.
struct InputRequest {
    std::string prompt;
    std::string title;
    std::string defaultAnswer;
};

struct FileFilter {
    std::string description;  // "Install info file"
    std::string pattern;      // "install_info.ini"; "*.ini"
};

// An Open dialog for one existing file (GetOpenFileNameW: lpstrTitle,
// lpstrInitialDir, lpstrFile, lpstrFilter built from `filters` in order).
struct OpenFileRequest {
    std::string title;
    std::string initialFolder;
    std::string fileName;
    std::vector<FileFilter> filters;
};

// A program started without arguments, in a console window of its own, shown
// normally, without waiting and without keeping a handle.
struct ProcessRequest {
    std::string program;           // full path
    std::string workingDirectory;  // the folder the program starts in
};

// What every window offers.
class WindowView {
  public:
    virtual ~WindowView() = default;
    virtual MessageAnswer messageBox(const MessageRequest& request) = 0;
    // The text typed and confirmed with OK (possibly empty); nullopt for Cancel.
    virtual std::optional<std::string> inputBox(const InputRequest& request) = 0;
};

// ---- Controls ----------------------------------------------------------------

// One single-selection, unsorted list box (LB_* messages on Win32). Indices
// count from 0; -1 stands for "no entry".
class ListControl {
  public:
    virtual ~ListControl() = default;
    virtual int count() const = 0;
    virtual std::string entry(int index) const = 0;
    // Appends an entry and scrolls it into view; the selection stays.
    virtual void add(const std::string& text) = 0;
    // Removes one entry; afterwards no entry is selected.
    virtual void remove(int index) = 0;
    virtual void clear() = 0;
    virtual int selected() const = 0;
    // Selects `index` (and scrolls it into view); -1 selects nothing.
    virtual void select(int index) = 0;
};

// The main window's seven text boxes, in the order of the install-info file's
// keys (install_info::kFieldOrder): the value of each is that key's index.
enum class TextBox : std::size_t {
    txtName,
    txtProgID,
    txtMsgBoxes,
    txtWarning,
    txtFilename,
    txtIcon,
    txtRun,
};
inline constexpr std::size_t kTextBoxCount = 7;
// Their control names in the layout table (layout.h), in TextBox order.
inline constexpr std::array<std::string_view, kTextBoxCount> kTextBoxNames{
    "txtName", "txtProgID", "txtMsgBoxes", "txtWarning", "txtFilename", "txtIcon", "txtRun"};

// The four labels whose colour says whether their field is valid.
enum class WatchedLabel { lblName, lblMsgBoxes, lblFilename, lblRun };
inline constexpr std::size_t kWatchedLabelCount = 4;
// Their control names in the layout table, in WatchedLabel order.
inline constexpr std::array<std::string_view, kWatchedLabelCount> kWatchedLabelNames{
    "lblName", "lblMsgBoxes", "lblFilename", "lblRun"};

// A watched label starts in the default label colour and is never set back to
// it; a label not yet coloured counts as valid.
enum class LabelState { NotYetColoured, Red, Black };

// The colours the front end paints, as Windows COLORREF values (0x00BBGGRR).
inline constexpr std::uint32_t kRedColour = 0x0000FF;  // 255
inline constexpr std::uint32_t kBlackColour = 0x000000;

// ---- The two windows -----------------------------------------------------------

// frmMain, the main window (layout: kMainWindow in layout.h).
class MainView : public WindowView {
  public:
    virtual std::string text(TextBox box) const = 0;
    // Sets a box's text without reporting a change (the core runs the handler)
    // and scrolls it so that the start of the text shows.
    virtual void setText(TextBox box, const std::string& text) = 0;
    virtual ListControl& lstExtra() = 0;
    // Paints a watched label red or black (never NotYetColoured).
    virtual void setLabelColour(WatchedLabel label, LabelState state) = 0;
    // The chosen file's full path; nullopt when the user cancels.
    virtual std::optional<std::string> openFileDialog(const OpenFileRequest& request) = 0;
    // Starts the updater. A failure carries the system's code where there is
    // one, and its cause (Error::why) is what the core shows the user under
    // its own first line.
    virtual platform::Status startUpdater(const ProcessRequest& request) = 0;
    // Creates the backup window, hidden: a BackupView and an FrmBackup core
    // built on `main`, which it returns. The core runs its Form_Load, then
    // shows it; it creates a new one only after FrmBackup::Form_Unload.
    virtual FrmBackup& createBackupWindow(FrmMain& main) = 0;
    // Shows the backup window, modeless and without an owner, and brings it
    // to the front.
    virtual void showBackupWindow() = 0;
    // Shows this window again if the user closed it, and brings it to the front.
    virtual void showWindow() = 0;
};

// frmBackup, the backup window (layout: kBackupWindow in layout.h).
class BackupView : public WindowView {
  public:
    virtual void setInfoCaption(const std::string& caption) = 0;  // lblInfo
    virtual ListControl& lstBackups() = 0;
    // Closes and unloads the window (running FrmBackup::Form_Unload, as any
    // closing does). The handler that asks returns right after; the front end
    // destroys the view and its FrmBackup once it has returned.
    virtual void closeWindow() = 0;
};

}  // namespace editor_core
