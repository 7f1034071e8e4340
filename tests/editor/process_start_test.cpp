// Which terminal runs the updater, and the command line it gets.
#include "editor/ui/process_start.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <filesystem>
#include <map>

#include "tests/editor/qstring_print.h"
#include "tests/support/temp_dir.h"

namespace {

using editor_ui::buildConsoleCommandLine;
using editor_ui::chooseTerminal;
using test_support::TempDir;
using test_support::writeBytes;

void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "process_start_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // never destroyed, as in the window tests
}

void writeScript(const std::filesystem::path& path, const std::string& text) {
    writeBytes(path, "#!/bin/sh\n" + text);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

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

    const QStringList shell{"/bin/sh", "-c", editor_ui::kTerminalScript, folder, program};
    auto xterm = buildConsoleCommandLine(program, folder, QString("/usr/bin/xterm"));
    EXPECT_EQ(xterm.program, "/usr/bin/xterm");
    EXPECT_EQ(xterm.arguments, QStringList{"-e"} + shell);
    EXPECT_EQ(xterm.workingDirectory, folder);
    EXPECT_FALSE(xterm.detachedFromConsole);
}

TEST(BuildConsoleCommandLine, GivesEachKnownTerminalItsOwnCommandOption) {
    const QString program = "/opt/my tools/updater";
    const QString folder = "/opt/my tools";
    const QStringList shell{"/bin/sh", "-c", editor_ui::kTerminalScript, folder, program};
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

// The command line really run, in a stand-in terminal that runs the words
// after -e: an updater that fails keeps the window until Enter, one that
// succeeds closes it at once, as its own final key prompt already waited.
TEST(BuildConsoleCommandLine, AFailedRunKeepsTheTerminalOpenUntilEnter) {
    ensureApplication();
    struct Case {
        const char* fault;
        int exitCode;
        bool waitsForEnter;
    };
    const Case cases[] = {
        {"\"Couldn't open installer\" flashed and the window closed", 1, true},
        {"a run that worked must not ask a second time", 0, false},
    };
    TempDir tools;
    TempDir folder;
    writeScript(tools / "terminal", "[ \"$1\" = -e ] && shift\nexec \"$@\"\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        writeScript(folder / "updater", "pwd\necho \"Couldn't open installer\"\nexit " +
                                            std::to_string(c.exitCode) + "\n");
        const auto line =
            buildConsoleCommandLine(QString::fromStdString((folder / "updater").string()),
                                    QString::fromStdString(folder.path().string()),
                                    QString::fromStdString((tools / "terminal").string()));
        QProcess terminal;
        terminal.setProcessChannelMode(QProcess::MergedChannels);
        terminal.start(line.program, line.arguments);
        ASSERT_TRUE(terminal.waitForStarted());
        const QByteArray expected = QByteArray::fromStdString(folder.path().string()) +
                                    "\nCouldn't open installer\n" +
                                    (c.waitsForEnter ? "Press Enter to close this window\n" : "");
        QByteArray output;
        while (output.size() < expected.size() && terminal.waitForReadyRead(10000))
            output += terminal.readAll();
        EXPECT_EQ(output, expected) << "the updater runs in the program folder";
        if (c.waitsForEnter) {
            EXPECT_EQ(terminal.state(), QProcess::Running) << "the window closed without Enter";
            terminal.write("\n");
        }
        ASSERT_TRUE(terminal.waitForFinished(10000)) << "still waiting after Enter";
        EXPECT_EQ(terminal.exitCode(), c.exitCode) << "the updater's exit code is passed on";
    }
}

}  // namespace
