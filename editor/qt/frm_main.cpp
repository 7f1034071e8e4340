#include "editor/qt/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyleFactory>

#include "editor/qt/dialogs.h"
#include "editor/qt/frm_backup.h"
#include "editor/qt/list_box.h"
#include "editor/qt/text_convert.h"
#include "editor/qt/window_builder.h"

// The icon lives in this static library's resources, which the linker would
// drop unless something refers to them.
static void initIconResource() {
    Q_INIT_RESOURCE(tamsel);
}

namespace editor_qt {
namespace {

using editor_core::LabelState;
using editor_core::TextBox;
using editor_core::WatchedLabel;

}  // namespace

frmMain::frmMain(const QString& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      core_(*this, toStd(QDir::cleanPath(programFolder))) {
    // The frames' children are placed from the frame's top edge, as for a
    // frame whose border line runs through the middle of its caption; Fusion
    // would draw the caption above the line and the line through the first row.
    setStyleSheet(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }");
    buildWindow(*this, editor_core::kMainWindow);
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        boxes_[i] = findChild<QLineEdit*>(toQt(editor_core::kTextBoxNames[i]));
    for (std::size_t i = 0; i < watched_.size(); ++i)
        watched_[i] = findChild<QLabel*>(toQt(editor_core::kWatchedLabelNames[i]));
    lstExtra_ = std::make_unique<ListBoxControl>(findChild<ListBox*>("lstExtra"));
    connectRoutes(*this, editor_core::mainRoutes(), core_);
    core_.Form_Load();
}

// The backup window reads and writes through this window's core.
frmMain::~frmMain() {
    delete backup_.data();
}

// ---- MainView -------------------------------------------------------------

std::string frmMain::text(TextBox box) const {
    return toStd(boxes_[static_cast<std::size_t>(box)]->text());
}

void frmMain::setText(TextBox box, const std::string& text) {
    QLineEdit* target = boxes_[static_cast<std::size_t>(box)];
    const QSignalBlocker quiet(target);  // the core runs the change handler itself
    target->setText(toQt(text));
    // setText leaves the cursor at the end, which scrolls a long value so that
    // only its last characters show; the start says more.
    target->setCursorPosition(0);
}

editor_core::ListControl& frmMain::lstExtra() {
    return *lstExtra_;
}

void frmMain::setLabelColour(WatchedLabel label, LabelState state) {
    QLabel* target = watched_[static_cast<std::size_t>(label)];
    QPalette palette = target->palette();
    palette.setColor(QPalette::WindowText, state == LabelState::Red ? kRed : kBlack);
    target->setPalette(palette);
}

editor_core::MessageAnswer frmMain::messageBox(const editor_core::MessageRequest& request) {
    return showMessage(this, request);
}

std::optional<std::string> frmMain::inputBox(const editor_core::InputRequest& request) {
    return askInput(this, request);
}

std::optional<std::string> frmMain::openFileDialog(const editor_core::OpenFileRequest& request) {
    return chooseFile(this, request);
}

platform::Status frmMain::startUpdater(const editor_core::ProcessRequest& request) {
    return startConsoleProgram(request);
}

editor_core::FrmBackup& frmMain::createBackupWindow(editor_core::FrmMain& main) {
    return keepBackupWindow(new frmBackup(main));
}

editor_core::FrmBackup& frmMain::keepBackupWindow(frmBackup* window) {
    backup_ = window;
    return window->core();
}

void frmMain::showBackupWindow() {
    if (!backup_->isVisible()) {
        backup_->show();
        return;
    }
    backup_->setWindowState((backup_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    backup_->raise();
    backup_->activateWindow();
}

void frmMain::showWindow() {
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

}  // namespace editor_qt
