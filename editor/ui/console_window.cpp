#include "editor/ui/console_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace editor_ui {
namespace {

// The view's size, in characters, that of a classic console.
constexpr int kColumns = 80;
constexpr int kRows = 24;

}  // namespace

ConsoleWindow* ConsoleWindow::start(const CommandLine& commandLine, QString* error) {
    auto* window = new ConsoleWindow(QFileInfo(commandLine.program).completeBaseName());
    QProcess& process = window->process_;
    process.setProgram(commandLine.program);
    process.setArguments(commandLine.arguments);
    process.setWorkingDirectory(commandLine.workingDirectory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted()) {
        if (error)
            *error = process.errorString();
        delete window;
        return nullptr;
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

ConsoleWindow::ConsoleWindow(const QString& title) {
    setObjectName("ConsoleWindow");
    setWindowTitle(title);

    txtOutput_ = new QPlainTextEdit(this);
    txtOutput_->setObjectName("txtOutput");
    txtOutput_->setReadOnly(true);
    // Read-only still lets the view take focus, so that it gets the keys.
    txtOutput_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtOutput_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtOutput_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtOutput_->installEventFilter(this);

    lblStatus_ = new QLabel("Running...", this);
    lblStatus_->setObjectName("lblStatus");
    cmdSendKey_ = new QPushButton("Send a key", this);
    cmdSendKey_->setObjectName("cmdSendKey");
    cmdSendKey_->setToolTip("Answers \"Press any key to continue\" with Enter");
    connect(cmdSendKey_, &QPushButton::clicked, this, &ConsoleWindow::cmdSendKey_Click);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus_, 1);
    bottom->addWidget(cmdSendKey_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtOutput_, 1);
    layout->addLayout(bottom);

    const QFontMetrics metrics(txtOutput_->font());
    const int frame = 2 * txtOutput_->frameWidth() +
                      2 * static_cast<int>(txtOutput_->document()->documentMargin());
    txtOutput_->setMinimumSize(metrics.horizontalAdvance(QString(kColumns, 'M')) + frame,
                               metrics.lineSpacing() * kRows + frame);
    txtOutput_->setFocus();

    connect(&process_, &QProcess::readyReadStandardOutput, this, &ConsoleWindow::appendOutput);
    connect(&process_, &QProcess::finished, this, &ConsoleWindow::programFinished);
}

void ConsoleWindow::appendOutput() {
    QString text = decoder_.decode(process_.readAllStandardOutput());
    text.remove('\r');  // a console line ends in CR LF on Windows
    QTextCursor end(txtOutput_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    txtOutput_->verticalScrollBar()->setValue(txtOutput_->verticalScrollBar()->maximum());
}

void ConsoleWindow::cmdSendKey_Click() {
    sendKey("\n");
}

void ConsoleWindow::sendKey(const QByteArray& key) {
    if (!inputOpen_ || ended_)
        return;
    process_.write(key);
    process_.closeWriteChannel();
    inputOpen_ = false;
    cmdSendKey_->setEnabled(false);
}

bool ConsoleWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtOutput_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Ctrl or Alt with a key is left to the view (Ctrl+C copies), and Tab
        // still moves the focus to the button.
        const bool plain =
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
            key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab;
        if (plain && !key->text().isEmpty() && inputOpen_ && !ended_) {
            // A terminal sends Enter as a line feed.
            const QString text = key->text() == "\r" ? QString("\n") : key->text();
            sendKey(text.toLocal8Bit());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ConsoleWindow::programFinished(int exitCode, QProcess::ExitStatus status) {
    appendOutput();
    ended_ = true;
    cmdSendKey_->setEnabled(false);
    const QString name = windowTitle();
    if (status == QProcess::CrashExit)
        lblStatus_->setText(name + " was stopped.");
    else if (exitCode != 0)
        lblStatus_->setText(name + " ended with exit code " + QString::number(exitCode) + ".");
    else
        lblStatus_->setText(name + " has ended.");
    deleteWhenDone();
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
    if (inputOpen_ && !ended_) {
        process_.closeWriteChannel();
        inputOpen_ = false;
    }
    closed_ = true;
    event->accept();
    deleteWhenDone();
}

void ConsoleWindow::deleteWhenDone() {
    // Deleting the window would kill a program that is still at work.
    if (closed_ && ended_)
        deleteLater();
}

}  // namespace editor_ui
