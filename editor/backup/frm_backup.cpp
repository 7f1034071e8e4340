#include "editor/backup/frm_backup.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "common/program_files.h"
#include "editor/backup/backup_store.h"
#include "editor/ui/dialogs.h"
#include "editor/ui/list_box.h"
#include "editor/ui/text_convert.h"
#include "editor/ui/twips.h"
#include "platform/text/codepage.h"

namespace editor_backup {
namespace {

using editor_ui::toPath;
using editor_ui::toQt;
using editor_ui::toStd;

// Layout in twips, relative to the client area.
constexpr int kClientWidth = 3750;
constexpr int kClientHeight = 3690;

struct Placement {
    int left, top, width, height;
};
constexpr Placement kInfo{0, 0, 4455, 615};  // reaches past the right edge, as designed
constexpr Placement kBackupsLabel{1200, 600, 1335, 255};
constexpr Placement kBackupsList{600, 960, 2655, 1620};
constexpr Placement kMake{600, 2640, 1335, 495};
constexpr Placement kRemove{1920, 2640, 1335, 495};
constexpr Placement kEdit{1200, 3120, 1455, 495};

const QString kErrorTitle = QStringLiteral("Error");
const QString kNothingSelected = QStringLiteral("No backup file selected!");

// A button whose caption wraps onto further lines, as the layout's two-line
// buttons need; text() stays the caption as designed.
class WrappingButton : public QPushButton {
  public:
    WrappingButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();  // frame and focus only; the caption is drawn below
        style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        style()->drawItemText(&painter, area, Qt::AlignCenter | Qt::TextWordWrap, palette(),
                              isEnabled(), text(), QPalette::ButtonText);
    }
};

class FrmBackup : public QWidget {
  public:
    FrmBackup(BackupHost& host, const QString& programFolder)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
          host_(host),
          folder_(toPath(programFolder)) {
        setObjectName(QStringLiteral("frmBackup"));
        setWindowTitle(QStringLiteral("Backup"));
        // No icon of its own: a window without one shows the application's icon,
        // which is the main window's.
        setAttribute(Qt::WA_DeleteOnClose);  // closing unloads: the next opening loads afresh
        const double dpi = logicalDpiX();
        setFixedSize(editor_ui::twipsSize(kClientWidth, kClientHeight, dpi));

        // Created in tab order; the labels take no focus, so the list gets it first.
        lblInfo_ = place(new QLabel(this), "lblInfo", kInfo, dpi);
        lblInfo_->setWordWrap(true);
        lblInfo_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(new QLabel(QStringLiteral("Current Backups : "), this), "lblBackups", kBackupsLabel,
              dpi);
        lstBackups_ = place(new editor_ui::ListBox(this), "lstBackups", kBackupsList, dpi);
        auto* cmdMake = place(new WrappingButton(QStringLiteral("Backup this install file!"), this),
                              "cmdMake", kMake, dpi);
        auto* cmdRemove = place(new WrappingButton(QStringLiteral("Remve selected backup"), this),
                                "cmdRemove", kRemove, dpi);
        auto* cmdEdit = place(new WrappingButton(QStringLiteral("Edit selected backup"), this),
                              "cmdEdit", kEdit, dpi);
        connect(cmdMake, &QPushButton::clicked, this, [this] { cmdMake_Click(); });
        connect(cmdRemove, &QPushButton::clicked, this, [this] { cmdRemove_Click(); });
        connect(cmdEdit, &QPushButton::clicked, this, [this] { cmdEdit_Click(); });
        lstBackups_->setFocus();

        Form_Load();
    }

  private:
    template <typename Widget>
    Widget* place(Widget* widget, const char* name, Placement at, double dpi) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(editor_ui::twipsRect(at.left, at.top, at.width, at.height, dpi));
        return widget;
    }

    void Form_Load() {
        lblInfo_->setText(QStringLiteral("Use this to backup your existing install file."));
        for (const std::string& name : ReadBackupList(folder_)) {
            lstBackups_->addItem(toQt(name));
        }
    }

    void cmdMake_Click() {
        const std::optional<QString> answer = editor_ui::dialogs().input(
            this, {QStringLiteral("Please enter a backup name."), QStringLiteral("Backup name"),
                   host_.backupDefaultName()});
        if (!answer)
            return;  // Cancel makes nothing, not a backup with an empty name
        const std::string name = answer->toStdString();
        // A name that is no plain file name in the program folder would write
        // elsewhere or overwrite a file that is no backup; one that does not
        // read back from the list unchanged would list a backup with no file.
        if (const auto refused =
                newBackupNameProblem(folder_, name, platform::text::ansiCodePage())) {
            showError(QStringLiteral("Invalid backup name!\r\n") + toQt(*refused));
            return;
        }
        // One more name would make a count that reads back as unusable, and the
        // whole list would be lost on the next opening.
        if (static_cast<std::size_t>(lstBackups_->count()) >= kMaxBackups) {
            showError(QStringLiteral("Invalid backup name!\r\nThe backup list is full."));
            return;
        }
        // A backup that could not be written (full disk, read-only folder) is
        // said so and not listed: a listed name promises a file to go back to.
        const platform::Status written = WriteBackupFile(
            folder_, name, host_.currentRecord(),
            [this](std::size_t index) { host_.selectExtraEntry(static_cast<int>(index)); });
        if (!written) {
            showWriteError(BackupPath(folder_, name), written);
            return;
        }
        lstBackups_->addEntry(*answer);
        if (const platform::Status listed = WriteBackupList(folder_, names()); !listed) {
            delete lstBackups_->takeItem(lstBackups_->count() - 1);
            showWriteError(folder_ / program_files::kBackupList, listed);
        }
    }

    void showWriteError(const std::filesystem::path& file, const platform::Status& status) {
        showFileError(QStringLiteral("Couldn't write "), file, status);
    }

    // The action and the file on one line, the reason on the next.
    void showFileError(const QString& action, const std::filesystem::path& file,
                       const platform::Status& status) {
        showError(action + toQt(file.string()) + QStringLiteral("\r\n") + toQt(status.message()));
    }

    void cmdRemove_Click() {
        QListWidgetItem* item = selectedItem();
        if (item == nullptr)
            return;
        // Only a backup file is deleted. A name that names no file, or a file
        // that is no backup (a hand-edited name, the installer, a readme), goes
        // from the list all the same and the file stays. A backup that could
        // not be deleted keeps its entry, so that it can still be found.
        const std::string name = toStd(item->text());
        const platform::Result<Removal> removed = DeleteBackup(folder_, name);
        if (!removed) {
            showFileError(QStringLiteral("Couldn't delete "), BackupPath(folder_, name),
                          removed.status());
            return;
        }
        const int row = lstBackups_->row(item);
        std::vector<std::string> remaining = names();
        remaining.erase(remaining.begin() + row);
        // A list that could not be written keeps the entry too: the window
        // shows what the list file says.
        if (const platform::Status listed = WriteBackupList(folder_, remaining); !listed) {
            showWriteError(folder_ / program_files::kBackupList, listed);
            return;
        }
        delete lstBackups_->takeItem(row);
        lstBackups_->setCurrentItem(nullptr);
        lstBackups_->clearSelection();
    }

    void cmdEdit_Click() {
        QListWidgetItem* item = selectedItem();
        if (item == nullptr)
            return;
        const std::string name = toStd(item->text());
        const std::filesystem::path path = BackupPath(folder_, name);
        // A listed name that names some other file (a hand-edited list, or
        // " readme.txt" read back as "readme.txt") is not loaded as a backup.
        std::error_code error;
        if (backupNameProblem(name) || (std::filesystem::symlink_status(path, error).type() !=
                                            std::filesystem::file_type::not_found &&
                                        !isBackupFile(path))) {
            showError(QStringLiteral("Couldn't open ") + toQt(path.string()));
            return;
        }
        // A load that failed has shown its own message; this window stays so the
        // author can pick another backup.
        if (!host_.loadFromPath(toQt(path.string())))
            return;
        host_.showMainWindow();
        close();
    }

    // The selected entry, or nullptr after telling the author to select one.
    QListWidgetItem* selectedItem() {
        const QList<QListWidgetItem*> selected = lstBackups_->selectedItems();
        if (selected.isEmpty()) {
            showError(kNothingSelected);
            return nullptr;
        }
        return selected.front();
    }

    void showError(const QString& text) {
        editor_ui::dialogs().message(this, {text, kErrorTitle, editor_ui::MessageIcon::Exclamation,
                                            editor_ui::MessageButtons::Ok});
    }

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        result.reserve(static_cast<std::size_t>(lstBackups_->count()));
        for (int row = 0; row < lstBackups_->count(); ++row) {
            result.push_back(toStd(lstBackups_->item(row)->text()));
        }
        return result;
    }

    BackupHost& host_;
    std::filesystem::path folder_;
    QLabel* lblInfo_ = nullptr;
    editor_ui::ListBox* lstBackups_ = nullptr;
};

}  // namespace

void showBackupWindow(BackupHost& host, const QString& programFolder) {
    // The one window; a closed one has deleted itself or is about to.
    static QPointer<FrmBackup> window;
    if (window && window->isVisible()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->raise();
        window->activateWindow();
        return;
    }
    window = new FrmBackup(host, programFolder);
    window->show();
}

}  // namespace editor_backup
