// The main window's layout, validation, extra-file list and help, driven like
// a user: typing, clicking and Tab on the real widgets.
#include <QGroupBox>
#include <QImageReader>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>

#include "tests/editor/frm_main_fixture.h"

namespace editor_test {
namespace {

class FrmMainLayout : public FrmMainFixture {};

TEST_F(FrmMainLayout, WindowIsFixedSizeWithoutMaximiseAndCarriesItsCaption) {
    auto& w = open();
    EXPECT_EQ(w.windowTitle(), "Orvando installer info maker");
    // 3855 x 6945 twips at the offscreen screen's 96 dpi.
    EXPECT_EQ(w.size(), QSize(257, 463));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(FrmMainLayout, HelpButtonsAreOneArrayFoundByIndexLevelWithTheirFields) {
    open();
    const char* fields[] = {"txtName",     "txtProgID", "txtMsgBoxes", "txtWarning",
                            "txtFilename", "txtIcon",   "txtRun",      "lstExtra"};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        QPushButton* help = button(QString("cmdHelp_%1").arg(i));
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->property("index").toInt(), i);
        EXPECT_EQ(help->text(), "?");
        QWidget* field = find<QWidget>(fields[i]);
        const int fieldTop = field->mapTo(window.get(), QPoint(0, 0)).y();
        // Member 7 stands beside the middle of the list, the others level with their box.
        if (i < 7)
            EXPECT_EQ(help->y(), fieldTop) << "a '?' button not level with its field";
        else
            EXPECT_GT(help->y(), fieldTop);
    }
}

TEST_F(FrmMainLayout, HiddenCommand1AndLabel1NeverShow) {
    auto& w = open();
    QPushButton* command1 = button("Command1");
    QLabel* label1 = label("Label1");
    ASSERT_TRUE(command1 && label1);
    EXPECT_FALSE(command1->isVisible());
    EXPECT_FALSE(label1->isVisible());
    EXPECT_TRUE(label1->text().isEmpty());
    // Loading through them (here a file that does not exist) shows neither.
    w.core().loadFromPath((folder / "missing.ini").string());
    w.hide();
    w.show();
    EXPECT_FALSE(command1->isVisible());
    EXPECT_FALSE(label1->isVisible());
}

TEST_F(FrmMainLayout, FocusStartsInWarningBoxAndTabRunsUpThroughTextsThenDown) {
    auto& w = open();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const QStringList chain{"txtWarning", "txtMsgBoxes", "txtProgID", "txtName",   "txtFilename",
                            "txtIcon",    "txtRun",      "lstExtra",  "cmdAdd",    "cmdRemove",
                            "cmdHelp_0",  "cmdHelp_1",   "cmdHelp_2", "cmdHelp_3", "cmdHelp_4",
                            "cmdHelp_5",  "cmdHelp_6",   "cmdHelp_7", "cmdSave",   "cmdLoad",
                            "cmdBackup",  "txtWarning"};
    for (int i = 0; i < chain.size(); ++i) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        ASSERT_EQ(focused->objectName(), chain[i]) << "after " << i << " Tab presses";
        QTest::keyClick(focused, Qt::Key_Tab);
    }
}

// Every caption, trailing blanks included, and that the chosen font shows it
// whole inside its box (the boxes were sized for a much smaller face than
// most desktops default to).
TEST_F(FrmMainLayout, CaptionsAreExactAndFitTheirBoxes) {
    open();
    struct Row {
        const char* name;
        const char* caption;
    };
    const Row labels[] = {
        {"lblName", "Name of Plugin :"},         {"lblProgID", "VB ProgID :"},
        {"lblMsgBoxes", "Title for MsgBoxes :"}, {"lblWarning", "Optional Warning : "},
        {"lblFilename", "Plugin Filename : "},   {"lblIcon", "Installer Icon : "},
        {"lblRun", "Run after install : "},
    };
    for (const Row& row : labels) {
        SCOPED_TRACE(row.name);
        QLabel* l = label(row.name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->text(), row.caption);
        const QFontMetrics metrics(l->font());
        EXPECT_LE(metrics.horizontalAdvance(l->text()), l->contentsRect().width());
        EXPECT_LE(metrics.height(), l->contentsRect().height());
    }

    QStringList buttons{"cmdAdd", "cmdRemove", "cmdSave", "cmdLoad", "cmdBackup"};
    const char* buttonCaptions[] = {"Add extra file", "Remove extra file", "Save", "Load",
                                    "Backup"};
    for (int i = 0; i < 8; ++i) buttons << QString("cmdHelp_%1").arg(i);
    for (int i = 0; i < buttons.size(); ++i) {
        SCOPED_TRACE(buttons[i].toStdString());
        QPushButton* b = button(buttons[i]);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), i < 5 ? QString(buttonCaptions[i]) : QString("?"));
        QStyleOptionButton option;
        option.initFrom(b);
        option.text = b->text();
        const QRect textArea =
            b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
        const QFontMetrics metrics(b->font());
        EXPECT_LE(metrics.horizontalAdvance(b->text()), textArea.width());
        EXPECT_LE(metrics.height(), b->height());
    }

    const Row frames[] = {{"fraTexts", "Texts"},
                          {"fraFiles", "Files"},
                          {"fraMisc", "Misc"},
                          {"fraExtra", "Extrafiles"}};
    for (const Row& row : frames) {
        SCOPED_TRACE(row.name);
        auto* frame = find<QGroupBox>(row.name);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->title(), row.caption);
        EXPECT_LE(QFontMetrics(frame->font()).horizontalAdvance(frame->title()), frame->width());
    }
}

TEST_F(FrmMainLayout, IconHoldsNineImagesAndIsTheApplicationsIcon) {
    QImageReader reader(":/icons/tamsel.ico");
    ASSERT_EQ(reader.imageCount(), 9);
    std::map<int, int> imagesPerSize;
    std::set<int> depths;
    for (int i = 0; i < reader.imageCount(); ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << "image " << i;
        ASSERT_EQ(image.width(), image.height());
        ++imagesPerSize[image.width()];
    }
    EXPECT_EQ(imagesPerSize, (std::map<int, int>{{16, 3}, {32, 3}, {48, 3}}));
    auto& w = open();
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(w.windowIcon().availableSizes().size(),
              QApplication::windowIcon().availableSizes().size());
}

// ---- What the window shows and reports ------------------------------------
// The rules themselves are the core's (tests/core/frm_main_core_test.cpp).

class FrmMainView : public FrmMainFixture {};

TEST_F(FrmMainView, TypingIsReportedAndTheLabelsArePaintedAsTheCoreSays) {
    open();
    QLabel* l = label("lblName");
    EXPECT_FALSE(isRed(l)) << "a label no handler has coloured must not count as red";
    QTest::keyClicks(box("txtName"), "a");
    EXPECT_TRUE(isBlack(l));
    QTest::keyClick(box("txtName"), Qt::Key_Backspace);
    EXPECT_TRUE(isRed(l)) << "deleting the last character must turn the label red at once";
    // The unwatched fields never recolour their labels.
    for (const char* name : {"lblProgID", "lblWarning", "lblIcon"}) {
        EXPECT_FALSE(isRed(label(name)));
    }
}

TEST_F(FrmMainView, EachHelpButtonReportsItsIndex) {
    open();
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        dialogs.messages.clear();
        click(QString("cmdHelp_%1").arg(i));
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text,
                  editor_core::helpTexts()[static_cast<std::size_t>(i)].text);
    }
}

// ---- Extra files ----------------------------------------------------------

class FrmMainExtraFiles : public FrmMainFixture {
  protected:
    void txtRunThenTab() {
        box("txtRun")->setFocus();
        QTest::keyClick(box("txtRun"), Qt::Key_Tab);
    }
};

TEST_F(FrmMainExtraFiles, RemoveTakesTheSelectedEntryAndLeavesNoSelection) {
    open();
    addEntries({"a", "b", "c"});
    selectRowByMouse(1);
    click("cmdRemove");
    EXPECT_EQ(entries(), (QStringList{"a", "c"}));
    EXPECT_EQ(selectedRow(), -1);
    EXPECT_TRUE(dialogs.messages.empty());
    // With nothing selected now, a second Remove refuses.
    click("cmdRemove");
    EXPECT_EQ(entries(), (QStringList{"a", "c"}));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

// The list by keyboard: its focus shows even when it is empty, Down from no
// selection starts at the first entry, and Add scrolls the new entry into view.
TEST_F(FrmMainExtraFiles, TheListByKeyboard) {
    auto& w = open();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const QImage unfocused = list()->grab().toImage();
    box("txtRun")->setFocus();
    QTest::keyClick(box("txtRun"), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), list());
    EXPECT_NE(list()->grab().toImage(), unfocused) << "an empty list took focus unseen";

    addEntries({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"});
    const auto lastShows = [&] {
        return list()->viewport()->rect().contains(list()->visualItemRect(list()->item(11)));
    };
    EXPECT_TRUE(QTest::qWaitFor(lastShows)) << "the new last entry is out of view";

    // Taking focus makes the first entry current without selecting it; Down
    // must not move on from it.
    txtRunThenTab();
    EXPECT_EQ(selectedRow(), -1);
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(selectedRow(), 0);
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(selectedRow(), 1);
    click("cmdRemove");
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Down);
    EXPECT_EQ(selectedRow(), 0) << "Down after Remove starts at the first entry again";
}

}  // namespace
}  // namespace editor_test
