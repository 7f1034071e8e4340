// Starting the updater, a console program, so that the author sees its lines
// and can answer its final key prompt. On Linux that means inside a terminal
// emulator; the choice of terminal and the command line are kept free of Qt's
// process machinery so that they can be tested without starting anything.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace editor_qt {

// Finds an executable by name on the PATH; empty when there is none.
using ExecutableFinder = std::function<QString(const QString& name)>;

// Terminal emulators tried, in order, after $TERMINAL and x-terminal-emulator.
inline const QStringList kKnownTerminals{"xterm",          "konsole",    "gnome-terminal",
                                         "xfce4-terminal", "lxterminal", "mate-terminal",
                                         "qterminal"};

// The terminal to run a console program in: $TERMINAL when set and found,
// else x-terminal-emulator, else the first of kKnownTerminals on the PATH.
// nullopt when there is none (for instance without a desktop).
std::optional<QString> chooseTerminal(const QString& terminalVariable,
                                      const ExecutableFinder& findExecutable);

struct CommandLine {
    QString program;
    QStringList arguments;
    QString workingDirectory;
    // True when no terminal takes the program's output and its key prompt:
    // the editor shows the run in a window of its own (ConsoleWindow).
    bool inOwnWindow = false;
};

// What the terminal runs: /bin/sh changes to the folder ($0) first, since some
// terminals (gnome-terminal) start their commands in a folder of their own,
// then runs the program ($1). A program that fails has its window kept open
// until Enter, so that its last lines can be read: the updater itself ends
// without waiting when it fails, and scripts rely on that.
inline const QString kTerminalScript =
    R"(cd -- "$0" && "$1"; s=$?; [ "$s" -eq 0 ] || )"
    R"({ echo "Press Enter to close this window"; read _; }; exit "$s")";

// The command line that runs `program` (no arguments) in `workingDirectory`,
// inside `terminal` when there is one, through kTerminalScript.
CommandLine buildConsoleCommandLine(const QString& program, const QString& workingDirectory,
                                    const std::optional<QString>& terminal);

// Starts a terminal's command line detached: no waiting, no handle kept.
// False with `error` set when it cannot be started.
bool startDetached(const CommandLine& commandLine, QString* error);

}  // namespace editor_qt
