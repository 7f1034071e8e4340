// Scripted edits that both front ends run: the Qt windows (load_save_test.cpp)
// and tamsel.exe's Win32 windows (tests/win32). Each row starts in a fresh
// program folder, opens the main window, makes its edits as a user would,
// and saves; the install_info.ini written must equal the row's golden file in
// tests/editor/data, byte for byte, whichever front end wrote it.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "tests/support/temp_dir.h"

namespace editor_scenarios {

enum class Edit {
    Type,         // replace the text of box `control` by `text`, as typed
    AddEntry,     // "Add extra file", answering the input box with `text`
    SelectEntry,  // select entry `row` of the extra-file list
    RemoveEntry,  // "Remove extra file"
};

struct Step {
    Edit edit;
    std::string_view control;
    std::string_view text;
    int row = -1;
};

struct SaveScenario {
    const char* name;
    std::string_view startFile;  // install_info.ini when the window opens; empty: none
    std::vector<Step> steps;
    const char* golden;
};

inline const std::vector<SaveScenario>& saveScenarios() {
    static const std::vector<SaveScenario> rows{
        {"a whole record typed into the empty window",
         "",
         {{Edit::Type, "txtName", "My plugin"},
          {Edit::Type, "txtProgID", "Proj.Class"},
          {Edit::Type, "txtMsgBoxes", "Installer"},
          {Edit::Type, "txtWarning", "No Warning"},
          {Edit::Type, "txtFilename", "plug.dll"},
          {Edit::Type, "txtIcon", "icon.ico"},
          {Edit::AddEntry, "", "readme.txt"},
          {Edit::AddEntry, "", "data\\more.bin"},
          {Edit::AddEntry, "", "C:\\abs\\x y.txt"},
          {Edit::Type, "txtRun", "readme.txt"}},
         "save_record.ini"},
        {"a loaded record edited: keys retyped, an entry removed and one added, the rest kept",
         "[Texts]\r\nName=Old\r\nVBName=P.C\r\nTitle=T\r\nWarning=Careful\r\nOther=dropped\r\n"
         "[Files]\r\nFilename=old.dll\r\n[Misc]\r\nRunAfterInstall=b.txt\r\n"
         "[Extrafiles]\r\na.txt\r\nb.txt\r\nc.txt\r\n",
         {{Edit::Type, "txtName", "New name"},
          {Edit::Type, "txtWarning", "No Warning"},
          {Edit::SelectEntry, "", "", 0},
          {Edit::RemoveEntry, "", ""},
          {Edit::AddEntry, "", "d.txt"}},
         "save_edited.ini"},
        {"text beyond ASCII, typed in Unicode, saved in the ANSI code page 1252",
         "",
         {{Edit::Type, "txtName", "D\u00E9mo plugin"},
          {Edit::Type, "txtMsgBoxes", "Installateur \u00AB d\u00E9mo \u00BB"},
          {Edit::Type, "txtFilename", "plugin.dll"},
          {Edit::AddEntry, "", "donn\u00E9es\\\u00E9t\u00E9.txt"}},
         "save_cp1252.ini"},
    };
    return rows;
}

// Empties the program folder and puts the row's install_info.ini there.
inline void prepareFolder(const std::filesystem::path& folder, const SaveScenario& row) {
    for (const auto& each : std::filesystem::directory_iterator(folder))
        std::filesystem::remove_all(each.path());
    if (!row.startFile.empty())
        test_support::writeBytes(folder / "install_info.ini", row.startFile);
}

}  // namespace editor_scenarios
