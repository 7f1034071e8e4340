// The main window's behaviour on the core, against a fake window and real
// files in a temporary program folder: validation, the extra-file list, help,
// load and save, and the start of the updater.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <utility>

#include "common/program_files.h"
#include "editor/core/paths.h"
#include "tests/core/fake_views.h"
#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/system_note.h"
#include "tests/support/temp_dir.h"

namespace core_test {
namespace {
namespace fs = std::filesystem;
using namespace std::string_literals;
using test_support::listFolder;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;
using Names = std::vector<std::string>;
using Boxes = std::array<std::string, kTextBoxCount>;

const Boxes kEmptyWindow{"", "", "", "No Warning", "", "", ""};

class MainWindow : public ::testing::Test {
  protected:
    // A new window on the folder as it is now (Form_Load reads install_info.ini).
    FrmMain& open() {
        view.boxes = {};
        view.list.clear();
        view.colours = {};
        core.emplace(view, folderText());
        core->Form_Load();
        return *core;
    }

    std::string folderText() const { return editor_core::utf8Text(dir.path()); }
    fs::path infoFile() const { return dir / "install_info.ini"; }
    fs::path backupFile() const { return dir / "install_info backup.ini"; }
    std::string text(const fs::path& path) const { return editor_core::utf8Text(path); }

    void type(TextBox box, const std::string& typed) { core_test::type(view, *core, box, typed); }
    // Adds entries through "Add extra file" and its input box.
    void add(const Names& names) {
        for (const std::string& name : names) {
            dialogs.inputAnswers.push_back(name);
            core->cmdAdd_Click();
        }
    }
    LabelState colour(WatchedLabel label) const {
        return view.colours[static_cast<std::size_t>(label)];
    }
    bool red(WatchedLabel label) const { return colour(label) == LabelState::Red; }
    Names entries() const { return view.list.entries; }
    int selected() const { return view.list.selection; }

    const MessageRequest* onlyMessage() {
        EXPECT_EQ(dialogs.messages.size(), 1u);
        return dialogs.messages.size() == 1 ? &dialogs.messages[0] : nullptr;
    }
    static void expectError(const MessageRequest& m, const std::string& text) {
        EXPECT_EQ(m.text, text);
        EXPECT_EQ(m.title, "Error");
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
        EXPECT_EQ(m.buttons, MessageButtons::Ok);
    }

    TempDir dir;
    FakeDialogs dialogs;
    FakeMainView view{dialogs};
    std::optional<FrmMain> core;
};

// ---- Red labels -----------------------------------------------------------

TEST_F(MainWindow, RequiredLabelsTurnRedWhenEmptiedAndBlackWhenFilled) {
    open();
    const std::pair<TextBox, WatchedLabel> watched[] = {
        {TextBox::txtName, WatchedLabel::lblName},
        {TextBox::txtMsgBoxes, WatchedLabel::lblMsgBoxes},
        {TextBox::txtFilename, WatchedLabel::lblFilename}};
    for (const auto& [box, label] : watched) {
        SCOPED_TRACE(kWatchedLabelNames[static_cast<std::size_t>(label)]);
        EXPECT_EQ(colour(label), LabelState::NotYetColoured)
            << "a label no handler has coloured must not count as red";
        type(box, "ab");
        EXPECT_EQ(colour(label), LabelState::Black);
        type(box, "a");
        EXPECT_EQ(colour(label), LabelState::Black) << "one character left is still filled";
        type(box, "");
        EXPECT_TRUE(red(label)) << "deleting the last character must turn the label red at once";
        type(box, " ");
        EXPECT_EQ(colour(label), LabelState::Black)
            << "a lone blank counts as filled: nothing is trimmed";
    }
}

TEST_F(MainWindow, RunLabelAgainstTheListAndTheSelectionTheWalkLeaves) {
    struct Row {
        const char* fault;
        Names list;
        std::string typed;
        bool red;
        int selected;
    };
    const Row rows[] = {
        {"exact match must be black and select the entry", {"readme.txt", "other.txt"},
         "other.txt", false, 1},
        {"comparison must not ignore letter case", {"readme.txt", "other.txt"}, "README.TXT", true,
         1},
        {"a prefix of an entry is no match", {"readme.txt", "other.txt"}, "readme.tx", true, 1},
        {"the first of two equal entries is the match", {"a.txt", "b.txt", "a.txt"}, "a.txt",
         false, 0},
        {"an empty list makes any run file red", {}, "x", true, -1},
        {"blanks are not trimmed", {"a.txt"}, "a.txt ", true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        open();
        add(row.list);
        type(TextBox::txtRun, row.typed);
        EXPECT_EQ(red(WatchedLabel::lblRun), row.red);
        EXPECT_EQ(selected(), row.selected);
    }
}

TEST_F(MainWindow, EmptyRunBoxIsBlackAndLeavesTheUsersSelection) {
    open();
    add({"a.txt", "b.txt"});
    type(TextBox::txtRun, "z");
    EXPECT_TRUE(red(WatchedLabel::lblRun));
    view.list.select(0);
    type(TextBox::txtRun, "");
    EXPECT_EQ(colour(WatchedLabel::lblRun), LabelState::Black);
    EXPECT_EQ(selected(), 0) << "an empty run box must not walk the list";
}

TEST_F(MainWindow, TypingTheRunFileStaysRedUntilItMatchesExactly) {
    open();
    add({"readme.txt"});
    const std::string name = "readme.txt";
    for (std::size_t i = 1; i <= name.size(); ++i) {
        type(TextBox::txtRun, name.substr(0, i));
        EXPECT_EQ(red(WatchedLabel::lblRun), i < name.size()) << "after " << i << " letters";
    }
}

TEST_F(MainWindow, AddingTheRunFileKeepsRedUntilTheRunBoxOrListChanges) {
    open();
    type(TextBox::txtRun, "r.txt");
    EXPECT_TRUE(red(WatchedLabel::lblRun));
    add({"other.txt", "r.txt"});
    EXPECT_TRUE(red(WatchedLabel::lblRun)) << "Add recolours no label";
    // Removing any entry runs RefreshLabels, which finds the run file now.
    view.list.select(0);
    core->cmdRemove_Click();
    EXPECT_EQ(colour(WatchedLabel::lblRun), LabelState::Black);
    EXPECT_EQ(selected(), 0) << "the walk selects the matching entry";
    // Removing the entry the walk selected, the run file itself, turns it red.
    core->cmdRemove_Click();
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(red(WatchedLabel::lblRun));
}

TEST_F(MainWindow, RefusalIsShownOnceHoweverManyLabelsAreRed) {
    open();
    for (TextBox box : {TextBox::txtName, TextBox::txtMsgBoxes}) {
        type(box, "x");
        type(box, "");
    }
    type(TextBox::txtRun, "missing.txt");
    core->cmdBackup_Click();
    const MessageRequest* refused = onlyMessage();
    ASSERT_NE(refused, nullptr);
    expectError(*refused,
                "Please check the red labels and correct them.Click the \"?\" button for more help.");
    EXPECT_EQ(view.backupWindowOpenings, 0);
}

TEST_F(MainWindow, LabelsInTheirStartColourDoNotRefuse) {
    open();
    core->cmdBackup_Click();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(view.backupWindowOpenings, 1);
}

TEST_F(MainWindow, BackupOpensOneWindowAndANewOneOnlyOnceItHasUnloaded) {
    open();
    core->cmdBackup_Click();
    ASSERT_TRUE(view.backupView);
    EXPECT_EQ(view.backupView->info, "Use this to backup your existing install file.")
        << "Form_Load ran";
    core->cmdBackup_Click();
    EXPECT_EQ(view.backupWindowOpenings, 1)
        << "an open window is brought to the front, not read again";
    EXPECT_EQ(view.backupWindowShowings, 2);
    view.backup->Form_Unload();
    core->cmdBackup_Click();
    EXPECT_EQ(view.backupWindowOpenings, 2);
}

// ---- Extra files ----------------------------------------------------------

TEST_F(MainWindow, AddAppendsAsTypedAndCancelAddsNothing) {
    open();
    dialogs.inputAnswers = {"a.dll", "", std::nullopt, "a.dll"};
    for (int i = 0; i < 4; ++i) core->cmdAdd_Click();
    // Row 2 guards against a cancel being taken for an empty answer.
    EXPECT_EQ(entries(), (Names{"a.dll", "", "a.dll"}));
    ASSERT_EQ(dialogs.inputs.size(), 4u);
    EXPECT_EQ(dialogs.inputs[0].prompt,
              "Please type the exact filename of the file you want to add.");
    EXPECT_EQ(dialogs.inputs[0].title, "Filename");
    EXPECT_TRUE(dialogs.inputs[0].defaultAnswer.empty());
}

TEST_F(MainWindow, RemoveWithoutSelectionRefusesAndRemovesNothing) {
    open();
    for (const Names& list : {Names{}, Names{"a", "b"}}) {
        SCOPED_TRACE(list.size());
        add(list);
        dialogs.messages.clear();
        core->cmdRemove_Click();
        const MessageRequest* refused = onlyMessage();
        ASSERT_NE(refused, nullptr);
        expectError(*refused, "No file selected!");
        EXPECT_EQ(entries(), list);
    }
}

TEST_F(MainWindow, RemoveTakesTheSelectedEntryAndLeavesNoSelection) {
    open();
    add({"a", "b", "c"});
    view.list.select(1);
    core->cmdRemove_Click();
    EXPECT_EQ(entries(), (Names{"a", "c"}));
    EXPECT_EQ(selected(), -1);
    EXPECT_TRUE(dialogs.messages.empty());
    // With nothing selected now, a second Remove refuses.
    core->cmdRemove_Click();
    EXPECT_EQ(entries(), (Names{"a", "c"}));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

// ---- Help -----------------------------------------------------------------

TEST_F(MainWindow, EachHelpButtonShowsItsTextAndTitle) {
    struct Row {
        const char* title;
        const char* text;
    };
    const Row rows[] = {
        {"Help",
         "Name of plugin is requiered.It will be for the first message box at the installer "
         "asking you if you want to instal the plugin."},
        {"Help",
         "VB Progid is for Visual Basic plugins.\r\nTaken from Orvandos installer maker readme : "
         "\"VB object identifier (ProgID) The object identifier is the name of your project, a "
         "dot and the name of your class. For example, the identifier for the VB sample "
         "distributed in this API package is \"Kestrune.Sample\".\""},
        {"Help",
         "Title for MsgBoxes is requiered.It will display the title in the message boxes while "
         "the installation."},
        {"Help",
         "Optional warning before installing the plugin that your plugin users should know.\r\n"
         "Leave empty or type \"No Warning\" (without quotes) for no warning"},
        {"Help?", "Filename is requiered.It is for the filename of your plugin."},
        {"Help", "Icon is optional.It will be the icon for the installer."},
        {"Help",
         "Run after install is optional.You may want to put the readme of your plugin "
         "here...\r\nNote : Run after install file should also be at extra files!"},
        {"Help", "Extra files is files that your plugin may need."},
    };
    open();
    add({"a", "b"});
    view.list.select(0);
    type(TextBox::txtName, "n");
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        dialogs.messages.clear();
        core->cmdHelp_Click(i);
        const MessageRequest* help = onlyMessage();
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->text, rows[i].text);
        EXPECT_EQ(help->title, rows[i].title);
        EXPECT_EQ(help->icon, MessageIcon::Information);
        EXPECT_EQ(help->buttons, MessageButtons::Ok);
        // Help changes nothing in the window.
        EXPECT_EQ(selected(), 0);
        EXPECT_EQ(entries(), (Names{"a", "b"}));
        EXPECT_EQ(colour(WatchedLabel::lblName), LabelState::Black);
    }
}

// ---- Loading --------------------------------------------------------------

TEST_F(MainWindow, LoadsKeysAndTheLinesAfterTheExactHeader) {
    const std::string longValue(150, 'v');
    struct Row {
        const char* fault;
        std::string file;
        Boxes boxes;
        Names entries;
        bool refreshed;  // RefreshLabels ran: the empty name's label is red
    };
    const Row rows[] = {
        {"no header: empty list and no RefreshLabels",
         "[Texts]\r\nName=\r\nTitle=T\r\n[Files]\r\nFilename=f.dll\r\n",
         {"", "", "T", "No Warning", "f.dll", "", ""},
         {},
         false},
        {"header as the last line: empty list, but RefreshLabels ran",
         "[Texts]\r\nTitle=T\r\n[Extrafiles]\r\n",
         {"", "", "T", "No Warning", "", "", ""},
         {},
         true},
        {"header in other letter case is no header (keys still load)",
         "[texts]\r\nname=N\r\n[ExtraFiles]\r\na.txt\r\n",
         {"N", "", "", "No Warning", "", "", ""},
         {},
         false},
        {"a later section is read as entries, header included",
         "[Misc]\r\nRunAfterInstall=a\r\n[Extrafiles]\r\na\r\n[Other]\r\nk=v\r\n",
         {"", "", "", "No Warning", "", "", "a"},
         {"a", "[Other]", "k=v"},
         true},
        {"only the first header counts; blanks around it make no header",
         " [Extrafiles]\r\nx\r\n[Extrafiles]\r\na\r\n[Extrafiles]\r\n",
         kEmptyWindow,
         {"a", "[Extrafiles]"},
         true},
        {"whole lines: commas and quotes come back as saved; a blank line is an entry",
         "[Extrafiles]\r\na,b.txt\r\n\"q\".txt\r\n\r\nlast",
         kEmptyWindow,
         {"a,b.txt", "\"q\".txt", "", "last"},
         true},
        {"LF line ends load like CR LF",
         "[Texts]\nTitle=T\n[Extrafiles]\na\nb\n",
         {"", "", "T", "No Warning", "", "", ""},
         {"a", "b"},
         true},
        {"empty Warning shows No Warning", "[Texts]\r\nWarning=\r\n", kEmptyWindow, {}, false},
        {"Warning No Warning stays", "[Texts]\r\nWarning=No Warning\r\n", kEmptyWindow, {}, false},
        {"Warning in other letter case stays as it is",
         "[Texts]\r\nWarning=no warning\r\n",
         {"", "", "", "no warning", "", "", ""},
         {},
         false},
        {"a value longer than its box loads whole",
         "[Files]\r\nFilename=C:\\Program Files\\Scrambler\\plugins\\sample.dll\r\n",
         {"", "", "", "No Warning", "C:\\Program Files\\Scrambler\\plugins\\sample.dll", "", ""},
         {},
         false},
        {"a value is cut to 99 characters",
         "[Files]\r\nIcon=" + longValue + "\r\n",
         {"", "", "", "No Warning", "", longValue.substr(0, 99), ""},
         {},
         false},
        {"a 1252 file shows U+FFFD in place of its e-acute",
         "[Texts]\r\nName=Caf\xE9\r\n[Extrafiles]\r\nd\xE9j\xE0.txt\r\n",
         {"Caf\u00E9", "", "", "No Warning", "", "", ""},
         {"d\u00E9j\u00E0.txt"},
         false},  // the name is there: no label turns red
        {"a UTF-8 mark hides the first section",
         "\xEF\xBB\xBF[Texts]\r\nName=Caf\xC3\xA9\r\n[Extrafiles]\r\nd\xC3\xA9j\xC3\xA0.txt\r\n",
         {"Caf\u00E9", "", "", "No Warning", "", "", ""},
         {"d\u00E9j\u00E0.txt"},
         false},  // the name is there: no label turns red
        {"a UTF-16 file (Notepad's Unicode) loads as nothing",
         "\xFF\xFE[\0T\0e\0x\0t\0s\0]\0\r\0\n\0N\0a\0m\0e\0=\0\x16\x04\xE9\0\r\0\n\0"
         "[\0E\0x\0t\0r\0a\0f\0i\0l\0e\0s\0]\0\r\0\n\0\xE0\0\r\0\n\0"s,
         {"\u0416\u00E9", "", "", "No Warning", "", "", ""},
         {"\u00E0"},
         false},  // the name is there: no label turns red
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        writeBytes(infoFile(), row.file);
        dialogs.messages.clear();
        open();
        EXPECT_EQ(view.boxes, row.boxes);
        EXPECT_EQ(entries(), row.entries);
        EXPECT_EQ(red(WatchedLabel::lblName), row.refreshed);
        EXPECT_TRUE(dialogs.messages.empty());
    }
}

TEST_F(MainWindow, MissingFileAtStartGivesTheEmptyWindowSilently) {
    open();
    EXPECT_EQ(view.boxes, kEmptyWindow);
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(colour(WatchedLabel::lblName), LabelState::NotYetColoured);
    EXPECT_EQ(core->InfoPath(), text(infoFile()));
}

TEST_F(MainWindow, RunFileFoundAfterLoadIsSelectedAndBlack) {
    writeBytes(infoFile(), "[Misc]\r\nRunAfterInstall=b\r\n[Extrafiles]\r\na\r\nb\r\nc\r\n");
    open();
    EXPECT_EQ(colour(WatchedLabel::lblRun), LabelState::Black);
    EXPECT_EQ(selected(), 1);
}

TEST_F(MainWindow, LoadDialogReplacesTheRecordAndSaveStillWritesOurOwnFile) {
    writeBytes(infoFile(), "[Texts]\r\nName=Old\r\nVBName=P.C\r\n[Extrafiles]\r\nold.txt\r\n");
    TempDir elsewhere;
    const std::string foreign = "[Texts]\r\nName=New\r\nTitle=T\r\n[Files]\r\nFilename=n.dll\r\n";
    writeBytes(elsewhere / "other.ini", foreign);
    open();
    dialogs.openFileAnswers.push_back(text(elsewhere / "other.ini"));
    core->cmdLoad_Click();

    ASSERT_EQ(dialogs.openFiles.size(), 1u);
    const OpenFileRequest& request = dialogs.openFiles[0];
    EXPECT_EQ(request.title, "Choose any Scrambler List");
    EXPECT_EQ(request.initialFolder, folderText());
    EXPECT_TRUE(request.fileName.empty());
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(request.filters[0].description, "Install info file");
    EXPECT_EQ(request.filters[0].pattern, "install_info.ini");
    EXPECT_EQ(request.filters[1].description, "INI files");
    EXPECT_EQ(request.filters[1].pattern, "*.ini");

    // ClearFields ran first: nothing of the old record is merged in.
    EXPECT_EQ(view.boxes, (Boxes{"New", "", "T", "No Warning", "n.dll", "", ""}));
    EXPECT_TRUE(entries().empty());

    core->cmdSave_Click();
    EXPECT_EQ(readBytes(elsewhere / "other.ini"), foreign) << "the loaded file must not change";
    EXPECT_NE(readBytes(infoFile()).find("Name=New"), std::string::npos);
}

TEST_F(MainWindow, CancelledOrUnreadableLoadLeavesTheWindowAsItWas) {
    writeBytes(infoFile(), "[Texts]\r\nName=Kept\r\n[Extrafiles]\r\nkept.txt\r\n");
    open();
    const Boxes before = view.boxes;
    const std::string missing = text(dir / "gone.ini");
    const std::string folder = text(dir / "a folder.ini");

    core->cmdLoad_Click();  // cancelled: the fake dialog has no answer
    EXPECT_TRUE(dialogs.messages.empty()) << "a cancel is not an error";

    dialogs.openFileAnswers.push_back(missing);
    core->cmdLoad_Click();
    EXPECT_FALSE(core->loadFromPath(missing)) << "the backup window's way in";
    fs::create_directory(dir / "a folder.ini");
    EXPECT_FALSE(core->loadFromPath(folder));

    // The file on the first line, the read's own reason on the second.
    ASSERT_EQ(dialogs.messages.size(), 3u);
    const std::string shown[] = {missing, missing, folder};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const MessageRequest& m = dialogs.messages[static_cast<std::size_t>(i)];
        const std::string firstLine = "Couldn't open " + shown[i] + "\r\n";
        EXPECT_EQ(m.text.substr(0, firstLine.size()), firstLine);
        EXPECT_GT(m.text.size(), firstLine.size()) << "no reason given";
        EXPECT_EQ(m.title, "Error");
        EXPECT_EQ(m.icon, MessageIcon::Exclamation);
    }
    EXPECT_EQ(dialogs.messages[0].text,
              "Couldn't open " + missing + "\r\n" + test_support::noSuchFile());
    EXPECT_EQ(view.boxes, before);
    EXPECT_EQ(entries(), Names{"kept.txt"});
}

TEST_F(MainWindow, BackupWindowLoadsThroughLabel1AndCommand1) {
    writeBytes(dir / "My backup", "[Texts]\r\nName=From backup\r\n[Extrafiles]\r\nb.txt\r\n");
    open();
    EXPECT_TRUE(core->loadFromPath(text(dir / "My backup")));
    EXPECT_EQ(view.text(TextBox::txtName), "From backup");
    EXPECT_EQ(entries(), Names{"b.txt"});
    EXPECT_EQ(core->InfoPath(), text(infoFile())) << "the save target never changes";
}

// ---- Saving ---------------------------------------------------------------

TEST_F(MainWindow, FirstSaveWritesExactBytesAndSelectsEachEntry) {
    open();
    type(TextBox::txtName, "My plugin");
    type(TextBox::txtProgID, "Proj.Class");
    type(TextBox::txtMsgBoxes, "Installer");
    type(TextBox::txtWarning, "No Warning");
    type(TextBox::txtFilename, "plug.dll");
    type(TextBox::txtIcon, "icon.ico");
    add({"readme.txt", "data\\more.bin", "C:\\abs\\x y.txt"});
    type(TextBox::txtRun, "readme.txt");
    core->cmdSave_Click();
    EXPECT_TRUE(test_support::matchesGolden(
        readBytes(infoFile()), fs::path(TAMSEL_SOURCE_DIR) / "tests/editor/data/save_record.ini"));
    EXPECT_EQ(listFolder(dir.path()), Names{"install_info.ini"})
        << "a first save has nothing to back up and leaves no temporary file";
    EXPECT_EQ(selected(), 2) << "the last entry written stays selected";
    const MessageRequest* saved = onlyMessage();
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->text, "Successfuly saved!\r\nWould you like to update the installer now?");
    EXPECT_EQ(saved->title, "Saved");
    EXPECT_EQ(saved->icon, MessageIcon::Question);
    EXPECT_EQ(saved->buttons, MessageButtons::YesNo);
    EXPECT_TRUE(dialogs.processes.empty()) << "No starts nothing";
}

TEST_F(MainWindow, EmptyListWritesNoExtrafilesSectionAndSavingTwiceKeepsTheFirstAsBackup) {
    const std::string original =
        "[Texts]\r\nName=N\r\nTitle=T\r\nExtra=gone\r\n[Files]\r\nFilename=f\r\n";
    writeBytes(infoFile(), original);
    open();
    core->cmdSave_Click();
    const std::string first = readBytes(infoFile());
    EXPECT_EQ(readBytes(backupFile()), original);
    EXPECT_EQ(first,
              "[Texts]\r\nName=N\r\nVBName=\r\nTitle=T\r\nWarning=\r\n[Files]\r\nFilename=f\r\n"
              "Icon=\r\n[Misc]\r\nRunAfterInstall=\r\n");
    core->cmdSave_Click();
    EXPECT_EQ(readBytes(backupFile()), first);
    EXPECT_EQ(readBytes(infoFile()), first) << "saving twice gives the same file";
}

TEST_F(MainWindow, SaveRefusedByARedLabelTouchesNoFile) {
    const std::string original = "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n";
    writeBytes(infoFile(), original);
    open();
    type(TextBox::txtName, "");
    core->cmdSave_Click();
    const MessageRequest* refused = onlyMessage();
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->title, "Error");
    EXPECT_EQ(readBytes(infoFile()), original);
    EXPECT_EQ(listFolder(dir.path()), Names{"install_info.ini"});
}

// A line break pasted into a box or an entry cannot be written; the save
// writes nothing, rather than replace the file without that key and then say
// it could not save.
TEST_F(MainWindow, ALineBreakInABoxOrEntrySavesNothingAndSaysError) {
    const std::string original = "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n";
    struct Row {
        const char* fault;
        std::optional<TextBox> box;  // none: the text goes into a new extra-file entry
        std::string text;
        std::string named;
    };
    const Row rows[] = {
        {"a\nb pasted into txtProgID", TextBox::txtProgID, "a\nb", "\"VBName\""},
        {"a line break in txtMsgBoxes", TextBox::txtMsgBoxes, "two\r\nlines", "\"Title\""},
        {"a line break in an extra-file entry", std::nullopt, "x\ny.txt", "extra file 1"},
        {"a character the code page cannot hold saved as '?'", TextBox::txtName,
         "Caf\u00E9 \u0416",
         "the field \"Name\" holds U+0416 '\u0416', which code page 1252 cannot hold"},
        {"an extra file the code page cannot hold saved as '?'", std::nullopt, "\u65E5.txt",
         "extra file 1 \"\u65E5.txt\" holds U+65E5 '\u65E5', which code page 1252 cannot hold"},
        {"the file named twice: \"Couldn't save X\", then \"could not save X: ...\"",
         TextBox::txtIcon, "a\nb", "\"Icon\""},
        {"a refused Name with \u0141 overwrote the copy of the previous file", TextBox::txtName,
         "\u0141\u00F3d\u017A", "U+0141"},
    };
    const std::string previousCopy = "[Texts]\r\nName=One before\r\n";
    const std::string info = text(infoFile());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        writeBytes(infoFile(), original);
        writeBytes(backupFile(), previousCopy);
        dialogs.messages.clear();
        open();
        if (row.box)
            type(*row.box, row.text);
        else
            add({row.text});
        core->cmdSave_Click();
        const MessageRequest* error = onlyMessage();
        ASSERT_NE(error, nullptr) << "an error, and no Saved";
        EXPECT_EQ(error->title, "Error");
        EXPECT_EQ(error->text.rfind("Couldn't save " + info + "\r\n", 0), 0u) << error->text;
        EXPECT_NE(error->text.find(row.named), std::string::npos) << error->text;
        EXPECT_EQ(error->text.find(info, error->text.find(info) + 1), std::string::npos)
            << "the file is named once";
        EXPECT_EQ(readBytes(infoFile()), original);
        EXPECT_EQ(readBytes(backupFile()), previousCopy) << "a refused Save writes nothing at all";
    }
}

TEST_F(MainWindow, FailedSaveKeepsThePreviousFileAndSaysError) {
    TAMSEL_POSIX_ONLY("a read-only folder and a full disk, tried in a forked child");
    const std::string original = "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n";
    struct Row {
        const char* fault;
        test_support::ChildLimits limits;
        fs::perms folderMode;
        bool backupMade;
    };
    const Row rows[] = {
        // The backup copy already fails here, and the file must outlive that.
        {"read-only program folder", {.asNobody = true, .maxFileBytes = std::nullopt},
         fs::perms(0555), false},
        // The copy fits under the limit, the new file does not: the write fails.
        {"disk full while writing", {.maxFileBytes = original.size() + 10}, fs::perms(0755), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        fs::remove(backupFile());
        writeBytes(infoFile(), original);
        open();
        add({"a long entry that makes the new file larger than the limit"});
        fs::permissions(dir.path(), row.folderMode);
        enum Outcome { kShowedOneError = 0, kShowedSaved, kShowedOtherMessages };
        const int outcome = test_support::runInChild(
            [&] {
                type(TextBox::txtName, "N changed");
                core->cmdSave_Click();
                if (dialogs.messages.size() != 1)
                    return kShowedOtherMessages;
                const MessageRequest& m = dialogs.messages[0];
                if (m.title == "Saved")
                    return kShowedSaved;
                return m.title == "Error" && m.icon == MessageIcon::Exclamation
                           ? kShowedOneError
                           : kShowedOtherMessages;
            },
            row.limits);
        fs::permissions(dir.path(), fs::perms::owner_all);
        EXPECT_EQ(outcome, kShowedOneError);
        EXPECT_EQ(readBytes(infoFile()), original);
        EXPECT_EQ(fs::exists(backupFile()), row.backupMade);
        for (const std::string& name : listFolder(dir.path()))
            EXPECT_TRUE(name == "install_info.ini" || name == "install_info backup.ini") << name;
    }
}

// ---- Starting the updater -------------------------------------------------

TEST_F(MainWindow, YesStartsTheUpdaterInTheProgramFolderAndAFailureIsReported) {
    writeBytes(infoFile(), "[Texts]\r\nName=N\r\nTitle=T\r\n[Files]\r\nFilename=f\r\n");
    const std::string updater = editor_core::inFolder(folderText(), program_files::kUpdater);
    open();
    dialogs.messageAnswers = {MessageAnswer::Yes};
    core->cmdSave_Click();
    ASSERT_EQ(dialogs.processes.size(), 1u);
    EXPECT_EQ(dialogs.processes[0].program, updater);
    // The updater reads install_info.ini from its working directory.
    EXPECT_EQ(dialogs.processes[0].workingDirectory, folderText());
    EXPECT_EQ(dialogs.messages.size(), 1u) << "only Saved, no error";

    // The line under "Couldn't start" is the failure's cause alone, which a
    // front end gives as its reason or, wanting one, as its whole message.
    struct Row {
        const char* name;
        platform::Error failure;
        std::string shown;
    };
    const Row rows[] = {
        {"a Windows cause: its reason, not the sentence around it, and its own code",
         {"cannot start " + updater + ": File not found", platform::ErrorKind::NotFound,
          platform::ErrorOrigin::Windows, 2, "File not found"},
         "File not found (Windows error 2)"},
        {"a C library cause: its text names the number",
         {"cannot start " + updater + ": No such file or directory",
          platform::ErrorKind::NotFound, platform::ErrorOrigin::Errno, 2,
          "No such file or directory"},
         "No such file or directory"},
        {"no cause apart: the whole message",
         {updater + " is missing or not executable", platform::ErrorKind::NotFound},
         updater + " is missing or not executable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dialogs.startError = row.failure;
        dialogs.messages.clear();
        dialogs.messageAnswers = {MessageAnswer::Yes};
        core->cmdSave_Click();
        ASSERT_EQ(dialogs.messages.size(), 2u);
        expectError(dialogs.messages[1], "Couldn't start " + updater + "\r\n" + row.shown);
    }
}

}  // namespace
}  // namespace core_test
