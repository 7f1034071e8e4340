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

    auto gnome = buildConsoleCommandLine(program, folder, QString("/usr/bin/gnome-terminal"));
    EXPECT_EQ(gnome.arguments, QStringList{"--"} + shell) << "gnome-terminal ignores -e's words";
}

}  // namespace
