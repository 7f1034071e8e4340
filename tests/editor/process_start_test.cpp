// Which terminal runs the updater, and the command line it gets.
#include "editor/ui/process_start.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/editor/qstring_print.h"

namespace {

using editor_ui::buildConsoleCommandLine;
using editor_ui::chooseTerminal;

TEST(ChooseTerminal, PrefersTerminalVariableThenDebianAlternativeThenKnownOnes) {
    struct Case {
        const char* fault;
        QString variable;
        std::map<QString, QString> onPath;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"$TERMINAL must win",
         "kitty",
         {{"kitty", "/usr/bin/kitty"}, {"x-terminal-emulator", "/usr/bin/x-terminal-emulator"}},
         "/usr/bin/kitty"},
        {"a $TERMINAL that is not installed falls through",
         "nosuch",
         {{"x-terminal-emulator", "/usr/bin/x-terminal-emulator"}},
         "/usr/bin/x-terminal-emulator"},
        {"known terminals are tried in order",
         "",
         {{"konsole", "/usr/bin/konsole"}, {"gnome-terminal", "/usr/bin/gnome-terminal"}},
         "/usr/bin/konsole"},
        {"no terminal at all gives none", "", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        auto find = [&](const QString& name) {
            auto it = c.onPath.find(name);
            return it == c.onPath.end() ? QString() : it->second;
        };
        EXPECT_EQ(chooseTerminal(c.variable, find), c.expected);
    }
}

TEST(BuildConsoleCommandLine, RunsTheProgramInItsFolderInsideTheTerminal) {
    const QString program = "/opt/my tools/updater";
    const QString folder = "/opt/my tools";

    auto plain = buildConsoleCommandLine(program, folder, std::nullopt);
    EXPECT_EQ(plain.program, program);
    EXPECT_TRUE(plain.arguments.isEmpty()) << "the updater takes no arguments";
    EXPECT_EQ(plain.workingDirectory, folder);
    EXPECT_TRUE(plain.detachedFromConsole);

    const QStringList shell{"/bin/sh", "-c", R"(cd -- "$0" && exec "$1")", folder, program};
    auto xterm = buildConsoleCommandLine(program, folder, QString("/usr/bin/xterm"));
    EXPECT_EQ(xterm.program, "/usr/bin/xterm");
    EXPECT_EQ(xterm.arguments, QStringList{"-e"} + shell);
    EXPECT_EQ(xterm.workingDirectory, folder);
    EXPECT_FALSE(xterm.detachedFromConsole);
}

TEST(BuildConsoleCommandLine, GivesEachKnownTerminalItsOwnCommandOption) {
    const QString program = "/opt/my tools/updater";
    const QString folder = "/opt/my tools";
    const QStringList shell{"/bin/sh", "-c", R"(cd -- "$0" && exec "$1")", folder, program};
    struct Case {
        const char* fault;
        QString terminal;
        QString commandFlag;
    };
    const Case cases[] = {
        {"x-terminal-emulator takes separate words after -e", "/usr/bin/x-terminal-emulator", "-e"},
        {"xterm takes separate words after -e", "/usr/bin/xterm", "-e"},
        {"konsole takes separate words after -e", "/usr/bin/konsole", "-e"},
        {"gnome-terminal ignores -e's words", "/usr/bin/gnome-terminal", "--"},
        {"xfce4-terminal reads -e as one command string", "/usr/bin/xfce4-terminal", "-x"},
        {"lxterminal takes separate words after -e", "/usr/bin/lxterminal", "-e"},
        {"mate-terminal reads -e as one command string", "/usr/bin/mate-terminal", "-x"},
        {"qterminal takes separate words after -e", "/usr/bin/qterminal", "-e"},
        {"$TERMINAL by bare name is judged by its name", "xfce4-terminal", "-x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        auto line = buildConsoleCommandLine(program, folder, c.terminal);
        EXPECT_EQ(line.program, c.terminal);
        EXPECT_EQ(line.arguments, QStringList{c.commandFlag} + shell);
        EXPECT_FALSE(line.detachedFromConsole);
    }
}

}  // namespace
