#include "editor/main/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <string>

#include "editor/backup/frm_backup.h"
#include "editor/ini/install_record.h"
#include "editor/ui/dialogs.h"
#include "editor/ui/list_box.h"
#include "editor/ui/text_convert.h"
#include "editor/ui/twips.h"

// The icon lives in this static library's resources, which the linker would
// drop unless something refers to them.
static void initIconResource() {
    Q_INIT_RESOURCE(tamsel);
}

namespace editor_main {
namespace {

using editor_ui::MessageButtons;
using editor_ui::MessageIcon;

constexpr int kClientWidth = 3855;
constexpr int kClientHeight = 6945;
constexpr int kHelpLeft = 3600;
constexpr int kHelpSize = 255;
// Top of each "?" button, level with the field it explains.
constexpr std::array<int, 8> kHelpTops{360, 840, 1320, 1800, 2760, 3240, 4080, 5280};

struct HelpText {
    const char* title;
    const char* first;
    const char* second;  // nullptr for a one-part message
};

const std::array<HelpText, 8> kHelpTexts{{
    {"Help",
     "Name of plugin is requiered.It will be for the first message box at the installer asking "
     "you if you want to instal the plugin.",
     nullptr},
    {"Help", "VB Progid is for Visual Basic plugins.",
     "Taken from Orvandos installer maker readme : \"VB object identifier (ProgID) The object "
     "identifier is the name of your project, a dot and the name of your class. For example, the "
     "identifier for the VB sample distributed in this API package is \"Kestrune.Sample\".\""},
    {"Help",
     "Title for MsgBoxes is requiered.It will display the title in the message boxes while the "
     "installation.",
     nullptr},
    {"Help", "Optional warning before installing the plugin that your plugin users should know.",
     "Leave empty or type \"No Warning\" (without quotes) for no warning"},
    {"Help?", "Filename is requiered.It is for the filename of your plugin.", nullptr},
    {"Help", "Icon is optional.It will be the icon for the installer.", nullptr},
    {"Help", "Run after install is optional.You may want to put the readme of your plugin here...",
     "Note : Run after install file should also be at extra files!"},
    {"Help", "Extra files is files that your plugin may need.", nullptr},
}};

double logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

void place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(editor_ui::twipsRect(left, top, width, height, logicalDpi()));
}

template <typename T>
T* makeControl(QWidget* container, const char* name, const QString& caption, int left, int top,
               int width, int height) {
    auto* control = new T(caption, container);
    control->setObjectName(QString::fromLatin1(name));
    place(control, left, top, width, height);
    return control;
}

QLabel* makeLabel(QWidget* container, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
    auto* label = makeControl<QLabel>(container, name, caption, left, top, width, height);
    label->setTextFormat(Qt::PlainText);  // a path in Label1 is never markup
    return label;
}

QLineEdit* makeTextBox(QWidget* container, const char* name, int left, int top) {
    auto* box = new QLineEdit(container);
    box->setObjectName(QString::fromLatin1(name));
    place(box, left, top, 1695, 285);
    return box;
}

void setColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

bool isRed(const QLabel* label) {
    return label->palette().color(QPalette::WindowText) == kRed;
}

}  // namespace

frmMain::frmMain(const QString& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      programFolder_(QDir::cleanPath(programFolder)) {
    setObjectName("frmMain");
    setWindowTitle("Orvando installer info maker");
    setFixedSize(editor_ui::twipsSize(kClientWidth, kClientHeight, logicalDpi()));
    // The frames' children are placed from the frame's top edge, as for a
    // frame whose border line runs through the middle of its caption; Fusion
    // would draw the caption above the line and the line through the first row.
    setStyleSheet(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
    buildControls();
    connectHandlers();
    setTabOrderAndFocus();
    Form_Load();
}

void frmMain::buildControls() {
    fraTexts = makeControl<QGroupBox>(this, "fraTexts", "Texts", 120, 0, 3375, 2175);
    lblName = makeLabel(fraTexts, "lblName", "Name of Plugin :", 120, 360, 1215, 255);
    txtName = makeTextBox(fraTexts, "txtName", 1560, 360);
    lblProgID = makeLabel(fraTexts, "lblProgID", "VB ProgID :", 120, 840, 1215, 255);
    txtProgID = makeTextBox(fraTexts, "txtProgID", 1560, 840);
    lblMsgBoxes = makeLabel(fraTexts, "lblMsgBoxes", "Title for MsgBoxes :", 120, 1320, 1455, 255);
    txtMsgBoxes = makeTextBox(fraTexts, "txtMsgBoxes", 1560, 1320);
    lblWarning = makeLabel(fraTexts, "lblWarning", "Optional Warning : ", 120, 1800, 1335, 255);
    txtWarning = makeTextBox(fraTexts, "txtWarning", 1560, 1800);

    fraFiles = makeControl<QGroupBox>(this, "fraFiles", "Files", 120, 2400, 3375, 1215);
    lblFilename = makeLabel(fraFiles, "lblFilename", "Plugin Filename : ", 120, 360, 1335, 255);
    txtFilename = makeTextBox(fraFiles, "txtFilename", 1560, 360);
    lblIcon = makeLabel(fraFiles, "lblIcon", "Installer Icon : ", 120, 840, 1095, 255);
    txtIcon = makeTextBox(fraFiles, "txtIcon", 1560, 840);

    fraMisc = makeControl<QGroupBox>(this, "fraMisc", "Misc", 120, 3840, 3375, 615);
    lblRun = makeLabel(fraMisc, "lblRun", "Run after install : ", 120, 240, 1335, 255);
    txtRun = makeTextBox(fraMisc, "txtRun", 1560, 240);

    fraExtra = makeControl<QGroupBox>(this, "fraExtra", "Extrafiles", 120, 4680, 3375, 1575);
    lstExtra = new editor_ui::ListBox(fraExtra);
    lstExtra->setObjectName("lstExtra");
    place(lstExtra, 120, 240, 3135, 840);
    cmdAdd = makeControl<QPushButton>(fraExtra, "cmdAdd", "Add extra file", 240, 1200, 1095, 255);
    cmdRemove =
        makeControl<QPushButton>(fraExtra, "cmdRemove", "Remove extra file", 1680, 1200, 1455, 255);

    for (std::size_t i = 0; i < cmdHelp.size(); ++i) {
        auto* button = new QPushButton("?", this);
        button->setObjectName(QString("cmdHelp_%1").arg(i));
        button->setProperty("index", static_cast<int>(i));
        place(button, kHelpLeft, kHelpTops[i], kHelpSize, kHelpSize);
        cmdHelp[i] = button;
    }

    cmdSave = makeControl<QPushButton>(this, "cmdSave", "Save", 120, 6480, 1095, 255);
    cmdLoad = makeControl<QPushButton>(this, "cmdLoad", "Load", 1440, 6480, 1095, 255);
    cmdBackup = makeControl<QPushButton>(this, "cmdBackup", "Backup", 2760, 6480, 1095, 255);

    // The backup window's way in: it writes a path into Label1 and runs
    // Command1_Click. Neither is ever shown.
    Command1 = makeControl<QPushButton>(this, "Command1", "Command1", 3600, 5880, 255, 375);
    Command1->setVisible(false);
    Label1 = makeLabel(this, "Label1", QString(), 3600, 4560, 255, 495);
    Label1->setVisible(false);
}

void frmMain::connectHandlers() {
    connect(txtName, &QLineEdit::textChanged, this, &frmMain::txtName_Change);
    connect(txtMsgBoxes, &QLineEdit::textChanged, this, &frmMain::txtMsgBoxes_Change);
    connect(txtFilename, &QLineEdit::textChanged, this, &frmMain::txtFilename_Change);
    connect(txtRun, &QLineEdit::textChanged, this, &frmMain::txtRun_Change);
    connect(cmdAdd, &QPushButton::clicked, this, &frmMain::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmMain::cmdRemove_Click);
    for (std::size_t i = 0; i < cmdHelp.size(); ++i) {
        connect(cmdHelp[i], &QPushButton::clicked, this,
                [this, i] { cmdHelp_Click(static_cast<int>(i)); });
    }
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(cmdLoad, &QPushButton::clicked, this, &frmMain::cmdLoad_Click);
    connect(cmdBackup, &QPushButton::clicked, this, &frmMain::cmdBackup_Click);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void frmMain::setTabOrderAndFocus() {
    // Labels and frames take no focus, so the chain starts in the warning box
    // and runs upwards through the Texts frame.
    std::vector<QWidget*> chain{txtWarning, txtMsgBoxes, txtProgID, txtName, txtFilename,
                                txtIcon,    txtRun,      lstExtra,  cmdAdd,  cmdRemove};
    chain.insert(chain.end(), cmdHelp.begin(), cmdHelp.end());
    chain.insert(chain.end(), {cmdSave, cmdLoad, cmdBackup});
    for (std::size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
    txtWarning->setFocus();
}

std::array<QLineEdit*, install_info::kFieldOrder.size()> frmMain::fieldBoxes() const {
    using namespace install_info;
    std::array<QLineEdit*, kFieldOrder.size()> boxes{};
    boxes[kFieldName] = txtName;
    boxes[kFieldVBName] = txtProgID;
    boxes[kFieldTitle] = txtMsgBoxes;
    boxes[kFieldWarning] = txtWarning;
    boxes[kFieldFilename] = txtFilename;
    boxes[kFieldIcon] = txtIcon;
    boxes[kFieldRunAfterInstall] = txtRun;
    return boxes;
}

// ---- Validation -----------------------------------------------------------

void frmMain::txtName_Change() {
    setColour(lblName, txtName->text().isEmpty() ? kRed : kBlack);
}

void frmMain::txtMsgBoxes_Change() {
    setColour(lblMsgBoxes, txtMsgBoxes->text().isEmpty() ? kRed : kBlack);
}

void frmMain::txtFilename_Change() {
    setColour(lblFilename, txtFilename->text().isEmpty() ? kRed : kBlack);
}

void frmMain::txtRun_Change() {
    if (lstExtra->count() == 0)
        setColour(lblRun, kRed);
    const QString run = txtRun->text();
    if (run.isEmpty()) {
        setColour(lblRun, kBlack);
        return;
    }
    // The walk leaves the matching entry selected, or the last one when none
    // matches. Nothing is painted while it runs, so only that final selection
    // is ever seen, and only it is set.
    int stop = lstExtra->count() - 1;
    for (int row = 0; row < lstExtra->count(); ++row) {
        if (lstExtra->item(row)->text() == run) {
            stop = row;
            break;
        }
    }
    if (stop < 0)
        return;
    lstExtra->setCurrentRow(stop);
    setColour(lblRun, lstExtra->item(stop)->text() == run ? kBlack : kRed);
}

void frmMain::RefreshLabels() {
    txtRun_Change();
    txtName_Change();
    txtMsgBoxes_Change();
    txtFilename_Change();
}

void frmMain::CheckRedLabels() {
    const bool anyRed = isRed(lblName) || isRed(lblMsgBoxes) || isRed(lblFilename) || isRed(lblRun);
    if (anyRed) {
        editor_ui::dialogs().message(
            this, {"Please check the red labels and correct them.Click the \"?\" button for "
                   "more help.",
                   "Error", MessageIcon::Exclamation, MessageButtons::Ok});
    }
    RedLabelsFound = anyRed;
}

// ---- Extra files and help -------------------------------------------------

int frmMain::selectedExtraRow() const {
    const QList<QListWidgetItem*> selected = lstExtra->selectedItems();
    return selected.isEmpty() ? -1 : lstExtra->row(selected.front());
}

void frmMain::selectExtraEntry(int index) {
    lstExtra->setCurrentRow(index);
}

void frmMain::cmdAdd_Click() {
    // Cancel adds nothing; OK with an empty answer adds an empty entry.
    std::optional<QString> answer = editor_ui::dialogs().input(
        this, {"Please type the exact filename of the file you want to add.", "Filename", {}});
    if (answer)
        lstExtra->addEntry(*answer);
}

void frmMain::cmdRemove_Click() {
    const int row = selectedExtraRow();
    if (row < 0) {
        showError("No file selected!");
        return;
    }
    delete lstExtra->takeItem(row);
    lstExtra->setCurrentRow(-1);
    lstExtra->clearSelection();
    RefreshLabels();
}

void frmMain::cmdHelp_Click(int Index) {
    if (Index < 0 || Index >= static_cast<int>(kHelpTexts.size()))
        return;
    const HelpText& help = kHelpTexts[static_cast<std::size_t>(Index)];
    QString text = help.first;
    if (help.second)
        text += QString("\r\n") + help.second;
    editor_ui::dialogs().message(this,
                                 {text, help.title, MessageIcon::Information, MessageButtons::Ok});
}

void frmMain::showError(const QString& text) {
    editor_ui::dialogs().message(this,
                                 {text, "Error", MessageIcon::Exclamation, MessageButtons::Ok});
}

// ---- Backup ---------------------------------------------------------------

void frmMain::cmdBackup_Click() {
    CheckRedLabels();
    if (!RedLabelsFound)
        editor_backup::showBackupWindow(*this, programFolder_);
}

QString frmMain::backupDefaultName() const {
    return txtName->text();
}

editor_ini::InstallRecord frmMain::currentRecord() const {
    editor_ini::InstallRecord record;
    const auto boxes = fieldBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) record.values[i] = editor_ui::toStd(boxes[i]->text());
    record.extraFiles.reserve(static_cast<std::size_t>(lstExtra->count()));
    for (int row = 0; row < lstExtra->count(); ++row) {
        record.extraFiles.push_back(editor_ui::toStd(lstExtra->item(row)->text()));
    }
    return record;
}

bool frmMain::loadFromPath(const QString& path) {
    Label1->setText(path);
    return Command1_Click();
}

void frmMain::showMainWindow() {
    show();
    raise();
    activateWindow();
}

// ---- Application look -----------------------------------------------------

void applyApplicationLook() {
    // One style everywhere, so that the captions measured in the tests are the
    // captions the author sees.
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    // The layout's boxes were sized for a small sans-serif face of 8 points;
    // a narrow face keeps the longest captions inside them.
    QFont font;
    font.setFamilies(
        {"Nimbus Sans Narrow", "Liberation Sans Narrow", "Arial Narrow", "DejaVu Sans Condensed"});
    font.setPointSizeF(8.0);
    QApplication::setFont(font);
    initIconResource();
    QApplication::setWindowIcon(QIcon(":/icons/tamsel.ico"));
}

}  // namespace editor_main
