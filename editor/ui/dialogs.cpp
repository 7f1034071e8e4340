#include "editor/ui/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QStandardPaths>

#include "editor/ui/console_window.h"
#include "editor/ui/process_start.h"

namespace editor_ui {
namespace {

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

class QtDialogs final : public Dialogs {
  public:
    MessageAnswer message(QWidget* parent, const MessageRequest& request) override {
        const bool yesNo = request.buttons == MessageButtons::YesNo;
        QMessageBox box(toQtIcon(request.icon), request.title, toDisplayText(request.text),
                        yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
        box.setTextFormat(Qt::PlainText);
        const int answer = box.exec();
        if (!yesNo)
            return MessageAnswer::Ok;
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }

    std::optional<QString> input(QWidget* parent, const InputRequest& request) override {
        bool ok = false;
        QString answer = QInputDialog::getText(parent, request.title, request.prompt,
                                               QLineEdit::Normal, request.defaultAnswer, &ok);
        if (!ok)
            return std::nullopt;
        return answer;
    }

    std::optional<QString> openFile(QWidget* parent, const OpenFileRequest& request) override {
        QStringList filters;
        for (const FileFilter& filter : request.filters) {
            filters << filter.description + " (" + filter.pattern + ")";
        }
        const QString start = request.fileName.isEmpty()
                                  ? request.initialFolder
                                  : QDir(request.initialFolder).filePath(request.fileName);
        QString chosen =
            QFileDialog::getOpenFileName(parent, request.title, start, filters.join(";;"));
        if (chosen.isEmpty())
            return std::nullopt;
        return chosen;
    }

    bool startProcess(const ProcessRequest& request, QString* error) override {
        return startConsoleProgram(request, error);
    }
};

QtDialogs& qtDialogs() {
    static QtDialogs instance;
    return instance;
}

Dialogs* current = nullptr;

}  // namespace

bool startConsoleProgram(const ProcessRequest& request, QString* error) {
    // Checked here: inside a terminal, a missing program would only flash an
    // error in a window that closes at once.
    const QFileInfo program(request.program);
    if (!program.isFile() || !program.isExecutable()) {
        if (error)
            *error = request.program + " is missing or not executable";
        return false;
    }
#ifdef _WIN32
    // The editor's own window shows the run; no terminal is looked for.
    const std::optional<QString> terminal;
#else
    const std::optional<QString> terminal =
        chooseTerminal(qEnvironmentVariable("TERMINAL"),
                       [](const QString& name) { return QStandardPaths::findExecutable(name); });
#endif
    const CommandLine commandLine =
        buildConsoleCommandLine(request.program, request.workingDirectory, terminal);
    // Without a terminal the run would be invisible, and the files the
    // updater skipped unknown: the editor shows it itself.
    if (commandLine.inOwnWindow)
        return ConsoleWindow::start(commandLine, error) != nullptr;
    return startDetached(commandLine, error);
}

Dialogs& dialogs() {
    return current ? *current : qtDialogs();
}

void setDialogs(Dialogs* replacement) {
    current = replacement;
}

}  // namespace editor_ui
