#include "editor/qt/dialogs.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QInputDialog>
#include <QLayout>
#include <QLocale>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <utility>

#include "editor/qt/console_window.h"
#include "editor/qt/process_start.h"
#include "editor/qt/text_convert.h"

namespace editor_qt {
namespace {

using editor_core::MessageAnswer;
using editor_core::MessageButtons;
using editor_core::MessageIcon;

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// Messages join their parts with CR LF; Qt breaks a plain-text line at "\n"
// alone and would show the CR as a stray character on some platforms.
QString toDisplayText(QString text) {
    return text.replace("\r\n", "\n");
}

// Qt sizes the file dialog's Size, Type and Date columns once, from short
// samples in the dialog's font with no room for the cells' padding; a larger
// view font or a longer text then reads "492…tes", "pla…ent". Each column is
// widened to what it may show, and once the folder is read to what it does
// show, and the dialog with them, so that every column reads whole.
void fitDetailColumns(QFileDialog& dialog) {
    auto* view = dialog.findChild<QTreeView*>("treeView");
    if (!view)
        return;  // a dialog of the platform's own sizes itself
    QHeaderView* header = view->header();
    const QLocale locale;
    const QDateTime lateDate(QDate(2026, 12, 28), QTime(23, 59));
    const std::array<QStringList, 4> samples{
        QStringList{},
        {header->model()->headerData(1, Qt::Horizontal).toString(), locale.formattedDataSize(999),
         locale.formattedDataSize((Q_INT64_C(1) << 40) - 1)},
        {"plain text document", "DOS/Windows executable", "Windows icon"},
        {locale.toString(lateDate, QLocale::ShortFormat)},
    };
    const QFontMetrics metrics(view->font());
    // Room for the cell's margins, as the view pads its text.
    const int padding =
        2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) +
        metrics.averageCharWidth();
    for (int column = 1; column < header->count() && column < 4; ++column) {
        int width = header->sectionSize(column);
        for (const QString& sample : samples[static_cast<std::size_t>(column)])
            width = std::max(width, metrics.horizontalAdvance(sample) + padding);
        width = std::max(width, header->sectionSizeHint(column));
        header->resizeSection(column, width);
    }
    // Widens the dialog by what the columns need beyond the view's width.
    auto widenToColumns = [&dialog, view, header] {
        dialog.ensurePolished();
        if (QLayout* layout = dialog.layout())
            layout->activate();
        const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
        const int missing = header->length() + scrollBar - view->viewport()->width();
        if (missing > 0)
            dialog.resize(dialog.width() + missing, dialog.height());
    };
    widenToColumns();
    if (auto* model = dialog.findChild<QFileSystemModel*>()) {
        QObject::connect(model, &QFileSystemModel::directoryLoaded, &dialog,
                         [view, header, widenToColumns] {
                             for (int column = 1; column < header->count(); ++column) {
                                 const int before = header->sectionSize(column);
                                 view->resizeColumnToContents(column);
                                 if (header->sectionSize(column) < before)
                                     header->resizeSection(column, before);
                             }
                             widenToColumns();
                         });
    }
}

}  // namespace

MessageAnswer showMessage(QWidget* owner, const editor_core::MessageRequest& request) {
    const bool yesNo = request.buttons == MessageButtons::YesNo;
    QMessageBox box(toQtIcon(request.icon), toQt(request.title), toDisplayText(toQt(request.text)),
                    yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    if (!yesNo)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

std::optional<std::string> askInput(QWidget* owner, const editor_core::InputRequest& request) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(owner, toQt(request.title), toQt(request.prompt), QLineEdit::Normal,
                              toQt(request.defaultAnswer), &ok);
    if (!ok)
        return std::nullopt;
    return toStd(answer);
}

std::optional<std::string> chooseFile(QWidget* owner, const editor_core::OpenFileRequest& request) {
    QStringList filters;
    for (const editor_core::FileFilter& filter : request.filters)
        filters << toQt(filter.description) + " (" + toQt(filter.pattern) + ")";
    QFileDialog dialog(owner, toQt(request.title), toQt(request.initialFolder), filters.join(";;"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!request.fileName.empty())
        dialog.selectFile(toQt(request.fileName));
    fitDetailColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return toStd(dialog.selectedFiles().front());
}

platform::Status startConsoleProgram(const editor_core::ProcessRequest& request) {
    const QString program = toQt(request.program);
    // Checked here: inside a terminal, a missing program would only flash an
    // error in a window that closes at once.
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()) {
        return platform::Error{
            request.program + " is missing or not executable",
            info.isFile() ? platform::ErrorKind::AccessDenied : platform::ErrorKind::NotFound};
    }
    // The Qt editor runs on Linux; on Windows tamsel.exe starts the updater
    // in a console of its own.
    const std::optional<QString> terminal =
        chooseTerminal(qEnvironmentVariable("TERMINAL"),
                       [](const QString& name) { return QStandardPaths::findExecutable(name); });
    const CommandLine commandLine =
        buildConsoleCommandLine(program, toQt(request.workingDirectory), terminal);
    // Without a terminal the run would be invisible, and the files the
    // updater skipped unknown: the editor shows it itself.
    QString why;
    const bool started = commandLine.inOwnWindow ? ConsoleWindow::start(commandLine, &why) != nullptr
                                                 : startDetached(commandLine, &why);
    if (started)
        return {};
    // QProcess keeps the system's error number to itself: its text is all there is.
    std::string reason = toStd(why);
    return platform::Error{"cannot start " + request.program + ": " + reason,
                           platform::ErrorKind::Other, platform::ErrorOrigin::None, 0,
                           std::move(reason)};
}

}  // namespace editor_qt
