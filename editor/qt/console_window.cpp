#include "editor/qt/console_window.h"

#include <QApplication>
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

#include "common/updater_output.h"

namespace editor_qt {
namespace {

// The view's size, in characters, that of a classic console.
constexpr int kColumns = 80;
constexpr int kRows = 24;

// The final key prompt the updater prints after its last real line.
const QString kKeyPrompt = QString::fromUtf8(updater_output::kKeyPrompt);

// The last of `lines` that `matches`, trimmed; empty when none does.
template <typename Matches>
QString lastLine(const QStringList& lines, const Matches& matches) {
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (matches(line->trimmed()))
            return line->trimmed();
    }
    return {};
}

// Why a run failed, as the program said it: its last non-empty line before
// the key prompt (after the prompt comes only its answer, "Bye!"), or its
// last non-empty line when it ended without the prompt.
QString reasonLine(const QString& output) {
    QStringList lines = output.split('\n');
    if (const qsizetype prompt = lines.lastIndexOf(kKeyPrompt); prompt >= 0)
        lines.resize(prompt);
    return lastLine(lines, [](const QString& line) { return !line.isEmpty(); });
}

// The updater's count of the warnings it wrote, when it wrote one: an
// update that may not work must not read as a plain success.
QString warningCount(const QString& output) {
    const QString end = QString::fromUtf8(updater_output::kCountLineEnd);
    return lastLine(output.split('\n'), [&end](const QString& line) { return line.endsWith(end); });
}

QString endStatus(const QString& name, int exitCode, QProcess::ExitStatus status,
                  const QString& output) {
    if (status == QProcess::CrashExit)
        return name + " was stopped: the installer may not have been updated.";
    if (exitCode == updater_output::kExitOk) {
        const QString warnings = warningCount(output);
        const QString text = name + " has ended: the installer was updated.";
        return warnings.isEmpty() ? text : text + " " + warnings;
    }
    const QString reason = reasonLine(output);
    QString text = name + " ended with exit code " + QString::number(exitCode) +
                   ": the installer was not updated";
    return reason.isEmpty() ? text + "." : text + ": " + reason;
}

}  // namespace

ConsoleWindow* ConsoleWindow::start(const CommandLine& commandLine, QString* error) {
    auto* window =
        new ConsoleWindow(commandLine.program, QFileInfo(commandLine.program).completeBaseName());
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
    window->closeEndedRunsOfSameProgram();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void ConsoleWindow::closeEndedRunsOfSameProgram() {
    for (QWidget* each : QApplication::topLevelWidgets()) {
        auto* other = dynamic_cast<ConsoleWindow*>(each);
        if (other && other != this && other->program_ == program_ && other->ended_ &&
            !other->closed_)
            other->close();
    }
}

ConsoleWindow::ConsoleWindow(const QString& program, const QString& title) : program_(program) {
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
    // The reason is the program's own text: never read as markup.
    lblStatus_->setTextFormat(Qt::PlainText);
    lblStatus_->setWordWrap(true);
    cmdSendKey_ = new QPushButton("Send a key", this);
    cmdSendKey_->setObjectName("cmdSendKey");
    cmdSendKey_->setToolTip("Answers \"" + kKeyPrompt + "\" with Enter");
    connect(cmdSendKey_, &QPushButton::clicked, this, &ConsoleWindow::cmdSendKey_Click);
    cmdClose_ = new QPushButton("Close", this);
    cmdClose_->setObjectName("cmdClose");
    cmdClose_->hide();  // shown once the program has ended
    connect(cmdClose_, &QPushButton::clicked, this, &QWidget::close);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus_, 1);
    bottom->addWidget(cmdSendKey_);
    bottom->addWidget(cmdClose_);
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
    appendText(decoder_.decode(process_.readAllStandardOutput()));
}

void ConsoleWindow::appendText(QString text) {
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
        if (key->key() == Qt::Key_Escape && ended_) {
            close();
            return true;
        }
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
    if (decoder_.holdsPartialCharacter()) {
        appendText(QString(QChar::ReplacementCharacter));
        decoder_.resetState();
    }
    ended_ = true;
    cmdSendKey_->setEnabled(false);
    cmdSendKey_->hide();
    cmdClose_->show();
    lblStatus_->setText(endStatus(windowTitle(), exitCode, status, txtOutput_->toPlainText()));
    deleteWhenDone();
}

void ConsoleWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && ended_) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
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

}  // namespace editor_qt
