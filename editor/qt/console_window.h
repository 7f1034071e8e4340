// A console program's run in a window of the editor's own, for when no
// terminal emulator is there to show it: its output as it arrives, its final
// key prompt answered by a key press or a button, and at its end whether the
// installer was updated, with the reason when it was not.
#pragma once

#include <QProcess>
#include <QStringDecoder>
#include <QWidget>

#include "editor/qt/process_start.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace editor_qt {

class ConsoleWindow final : public QWidget {
  public:
    // Starts the command line and shows its window, modeless and titled as
    // the program. nullptr, with `error` set, when it cannot be started.
    // The window deletes itself once it is closed and the program has ended.
    // A new run closes the windows of earlier runs of the same program that
    // have ended; a window whose program still runs (it may wait for its key)
    // stays open.
    static ConsoleWindow* start(const CommandLine& commandLine, QString* error);

    bool programEnded() const { return ended_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing while the program waits for its key gives it the end of input,
    // as closing a terminal would; the program finishes unseen.
    void closeEvent(QCloseEvent* event) override;
    // Escape closes the window once the program has ended; before that it
    // is a key like any other, sent to the program.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The program prints UTF-8. Qt's decoder keeps a character split across
    // two reads until its last bytes arrive; the bytes still held when the
    // output ends are a character cut short.
    class Utf8Stream : public QStringDecoder {
      public:
        Utf8Stream() : QStringDecoder(QStringDecoder::Utf8) {}
        bool holdsPartialCharacter() const { return state.remainingChars != 0; }
    };

    ConsoleWindow(const QString& program, const QString& title);

    void closeEndedRunsOfSameProgram();

    void cmdSendKey_Click();
    void appendOutput();
    void appendText(QString text);
    void programFinished(int exitCode, QProcess::ExitStatus status);
    // Sends the one character the program waits for, then the end of input.
    void sendKey(const QByteArray& key);
    void deleteWhenDone();

    QProcess process_;
    QString program_;
    Utf8Stream decoder_;
    QPlainTextEdit* txtOutput_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QPushButton* cmdSendKey_ = nullptr;
    QPushButton* cmdClose_ = nullptr;
    bool inputOpen_ = true;
    bool ended_ = false;
    bool closed_ = false;
};

}  // namespace editor_qt
