// Starting the updater, a console program, so that the author sees its lines
// and can answer its final key prompt. On Linux that means inside a terminal
// emulator; the choice of terminal and the command line are kept free of Qt's
// process machinery so that they can be tested without starting anything.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace editor_ui {

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
    // standard input and output are then the null device.
    bool detachedFromConsole = false;
};

// The command line that runs `program` (no arguments) in `workingDirectory`,
// inside `terminal` when there is one. The program is started through
// /bin/sh, which changes to the working directory first: some terminals
// (gnome-terminal) start their commands in a folder of their own.
CommandLine buildConsoleCommandLine(const QString& program, const QString& workingDirectory,
                                    const std::optional<QString>& terminal);

// Starts the command line detached: no waiting, no handle kept.
// False with `error` set when it cannot be started.
bool startDetached(const CommandLine& commandLine, QString* error);

}  // namespace editor_ui
