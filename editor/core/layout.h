// The two windows' layouts in twips (1/1440 inch; 15 twips to a pixel at
// 96 dpi), relative to the client area of each control's container. Both
// front ends build their windows from these tables and convert at the
// window's dpi with twipsToPixels, so the windows look alike everywhere.
#pragma once

#include <array>
#include <cmath>
#include <span>
#include <string_view>

namespace editor_core {

inline constexpr double kTwipsPerInch = 1440.0;

// Rounded to the nearest pixel.
inline int twipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

enum class ControlKind {
    Frame,    // a group box with a caption; holds the controls that name it
    Label,    // static text, takes no focus
    TextBox,  // single line, no length limit
    ListBox,  // single selection, unsorted
    Button,
};

struct Control {
    std::string_view name;       // "txtName"; array members share one name
    ControlKind kind;
    std::string_view container;  // the frame that holds it; empty: the window
    std::string_view caption;    // exact, trailing blanks included
    int left, top, width, height;
    // The position in the tab order; controls that take focus (text boxes,
    // list boxes, buttons) are chained in increasing order.
    int tabIndex;
    int arrayIndex = -1;   // the member index within a control array, else -1
    bool visible = true;   // the main window's Command1 and Label1 never show
    bool wraps = false;    // the caption wraps onto further lines
};

struct WindowLayout {
    std::string_view name;     // "frmMain"
    std::string_view caption;  // the title bar
    int clientWidth, clientHeight;
    // A fixed single border: no resizing, no maximise button; minimise and
    // close present. Both windows carry the program's icon.
    std::span<const Control> controls;
};

// frmMain. The "?" buttons are the array cmdHelp, members 0 to 7.
inline constexpr std::array kMainControls{
    Control{"fraTexts", ControlKind::Frame, "", "Texts", 120, 0, 3375, 2175, 0},
    Control{"lblName", ControlKind::Label, "fraTexts", "Name of Plugin :", 120, 360, 1215, 255, 4},
    Control{"txtName", ControlKind::TextBox, "fraTexts", "", 1560, 360, 1695, 285, 8},
    Control{"lblProgID", ControlKind::Label, "fraTexts", "VB ProgID :", 120, 840, 1215, 255, 3},
    Control{"txtProgID", ControlKind::TextBox, "fraTexts", "", 1560, 840, 1695, 285, 7},
    Control{"lblMsgBoxes", ControlKind::Label, "fraTexts", "Title for MsgBoxes :", 120, 1320, 1455,
            255, 2},
    Control{"txtMsgBoxes", ControlKind::TextBox, "fraTexts", "", 1560, 1320, 1695, 285, 6},
    Control{"lblWarning", ControlKind::Label, "fraTexts", "Optional Warning : ", 120, 1800, 1335,
            255, 1},
    Control{"txtWarning", ControlKind::TextBox, "fraTexts", "", 1560, 1800, 1695, 285, 5},
    Control{"fraFiles", ControlKind::Frame, "", "Files", 120, 2400, 3375, 1215, 9},
    Control{"lblFilename", ControlKind::Label, "fraFiles", "Plugin Filename : ", 120, 360, 1335,
            255, 10},
    Control{"txtFilename", ControlKind::TextBox, "fraFiles", "", 1560, 360, 1695, 285, 11},
    Control{"lblIcon", ControlKind::Label, "fraFiles", "Installer Icon : ", 120, 840, 1095, 255, 12},
    Control{"txtIcon", ControlKind::TextBox, "fraFiles", "", 1560, 840, 1695, 285, 13},
    Control{"fraMisc", ControlKind::Frame, "", "Misc", 120, 3840, 3375, 615, 14},
    Control{"lblRun", ControlKind::Label, "fraMisc", "Run after install : ", 120, 240, 1335, 255, 15},
    Control{"txtRun", ControlKind::TextBox, "fraMisc", "", 1560, 240, 1695, 285, 16},
    Control{"fraExtra", ControlKind::Frame, "", "Extrafiles", 120, 4680, 3375, 1575, 17},
    Control{"lstExtra", ControlKind::ListBox, "fraExtra", "", 120, 240, 3135, 840, 18},
    Control{"cmdAdd", ControlKind::Button, "fraExtra", "Add extra file", 240, 1200, 1095, 255, 19},
    Control{"cmdRemove", ControlKind::Button, "fraExtra", "Remove extra file", 1680, 1200, 1455, 255,
            20},
    // Each "?" level with the field it explains; member 7 beside the middle of the list.
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 360, 255, 255, 21, 0},
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 840, 255, 255, 22, 1},
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 1320, 255, 255, 23, 2},
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 1800, 255, 255, 24, 3},
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 2760, 255, 255, 25, 4},
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 3240, 255, 255, 26, 5},
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 4080, 255, 255, 27, 6},
    Control{"cmdHelp", ControlKind::Button, "", "?", 3600, 5280, 255, 255, 28, 7},
    Control{"cmdSave", ControlKind::Button, "", "Save", 120, 6480, 1095, 255, 29},
    Control{"cmdLoad", ControlKind::Button, "", "Load", 1440, 6480, 1095, 255, 30},
    Control{"cmdBackup", ControlKind::Button, "", "Backup", 2760, 6480, 1095, 255, 31},
    // The backup window's way in (FrmMain::Command1_Click loads the file
    // Label1 names); never shown.
    Control{"Command1", ControlKind::Button, "", "Command1", 3600, 5880, 255, 375, 32, -1, false},
    Control{"Label1", ControlKind::Label, "", "", 3600, 4560, 255, 495, 33, -1, false},
};

inline constexpr WindowLayout kMainWindow{"frmMain", "Orvando installer info maker", 3855, 6945,
                                          kMainControls};

// frmBackup. lblInfo reaches past the right edge of the client area, as designed.
inline constexpr std::array kBackupControls{
    Control{"lblInfo", ControlKind::Label, "", "", 0, 0, 4455, 615, 0, -1, true, true},
    Control{"lblBackups", ControlKind::Label, "", "Current Backups : ", 1200, 600, 1335, 255, 1},
    Control{"lstBackups", ControlKind::ListBox, "", "", 600, 960, 2655, 1620, 2},
    Control{"cmdMake", ControlKind::Button, "", "Backup this install file!", 600, 2640, 1335, 495, 3,
            -1, true, true},
    Control{"cmdRemove", ControlKind::Button, "", "Remve selected backup", 1920, 2640, 1335, 495, 4,
            -1, true, true},
    Control{"cmdEdit", ControlKind::Button, "", "Edit selected backup", 1200, 3120, 1455, 495, 5, -1,
            true, true},
};

inline constexpr WindowLayout kBackupWindow{"frmBackup", "Backup", 3750, 3690, kBackupControls};

}  // namespace editor_core
