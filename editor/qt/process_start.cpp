#include "editor/qt/process_start.h"

#include <QFileInfo>
#include <QProcess>

namespace editor_qt {

std::optional<QString> chooseTerminal(const QString& terminalVariable,
                                      const ExecutableFinder& findExecutable) {
    QStringList candidates;
    if (!terminalVariable.isEmpty())
        candidates << terminalVariable;
    candidates << "x-terminal-emulator" << kKnownTerminals;
    for (const QString& candidate : candidates) {
        QString found = findExecutable(candidate);
        if (!found.isEmpty())
            return found;
    }
    return std::nullopt;
}

CommandLine buildConsoleCommandLine(const QString& program, const QString& workingDirectory,
                                    const std::optional<QString>& terminal) {
    if (!terminal)
        return {program, {}, workingDirectory, true};
    // gnome-terminal takes its command after "--"; xfce4-terminal and
    // mate-terminal read "-e" as one command string and take separate
    // arguments after "-x"; the others (and the Debian x-terminal-emulator
    // alternative) take them after "-e".
    const QString name = QFileInfo(*terminal).fileName();
    const QString commandFlag = name == "gnome-terminal"                              ? "--"
                                : name == "xfce4-terminal" || name == "mate-terminal" ? "-x"
                                                                                      : "-e";
    // $0 is the folder and $1 the program, so neither is parsed by the shell.
    return {*terminal,
            {commandFlag, "/bin/sh", "-c", kTerminalScript, workingDirectory, program},
            workingDirectory,
            false};
}

bool startDetached(const CommandLine& commandLine, QString* error) {
    QProcess process;
    process.setProgram(commandLine.program);
    process.setArguments(commandLine.arguments);
    process.setWorkingDirectory(commandLine.workingDirectory);
    if (process.startDetached())
        return true;
    if (error)
        *error = process.errorString();
    return false;
}

}  // namespace editor_qt
