// A console program's run in a window of the editor's own, for when no
// terminal emulator is there to show it: its output as it arrives, and its
// final key prompt answered by a key press or a button.
#pragma once

#include <QProcess>
#include <QStringDecoder>
#include <QWidget>

#include "editor/ui/process_start.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace editor_ui {

class ConsoleWindow final : public QWidget {
  public:
    // Starts the command line and shows its window, modeless and titled as
    // the program. nullptr, with `error` set, when it cannot be started.
    // The window deletes itself once it is closed and the program has ended.
    static ConsoleWindow* start(const CommandLine& commandLine, QString* error);

    bool programEnded() const { return ended_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing while the program waits for its key gives it the end of input,
    // as closing a terminal would; the program finishes unseen.
    void closeEvent(QCloseEvent* event) override;

  private:
    explicit ConsoleWindow(const QString& title);

    void cmdSendKey_Click();
    void appendOutput();
    void programFinished(int exitCode, QProcess::ExitStatus status);
    // Sends the one character the program waits for, then the end of input.
    void sendKey(const QByteArray& key);
    void deleteWhenDone();

    QProcess process_;
    QStringDecoder decoder_{QStringDecoder::System};
    QPlainTextEdit* txtOutput_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QPushButton* cmdSendKey_ = nullptr;
    bool inputOpen_ = true;
    bool ended_ = false;
    bool closed_ = false;
};

}  // namespace editor_ui
