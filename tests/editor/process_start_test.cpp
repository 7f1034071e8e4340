// Which terminal runs the updater, and the command line it gets.
#include "editor/qt/process_start.h"

#include "editor/qt/console_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <map>

#include "tests/editor/qstring_print.h"
#include "tests/support/temp_dir.h"

namespace {

using editor_qt::buildConsoleCommandLine;
using editor_qt::chooseTerminal;
using test_support::readBytes;
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
    EXPECT_TRUE(plain.inOwnWindow);

    const QStringList shell{"/bin/sh", "-c", editor_qt::kTerminalScript, folder, program};
    auto xterm = buildConsoleCommandLine(program, folder, QString("/usr/bin/xterm"));
    EXPECT_EQ(xterm.program, "/usr/bin/xterm");
    EXPECT_EQ(xterm.arguments, QStringList{"-e"} + shell);
    EXPECT_EQ(xterm.workingDirectory, folder);
    EXPECT_FALSE(xterm.inOwnWindow);
}

TEST(BuildConsoleCommandLine, GivesEachKnownTerminalItsOwnCommandOption) {
    const QString program = "/opt/my tools/updater";
    const QString folder = "/opt/my tools";
    const QStringList shell{"/bin/sh", "-c", editor_qt::kTerminalScript, folder, program};
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
        EXPECT_FALSE(line.inOwnWindow);
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

// ---- The run in the editor's own window, without a terminal -------------

// A stand-in updater: a line on each channel, the key prompt, then it
// records the one character it read (nothing at the end of input).
const std::string kStandInUpdater =
    "echo 'Writing strings...'\n"
    "echo 'Skipped missing.txt' >&2\n"
    "echo 'Press any key to continue'\n"
    "dd bs=1 count=1 of=key.txt 2>/dev/null\n"
    "echo 'Bye!'\n";

QPointer<editor_qt::ConsoleWindow> startInOwnWindow(const TempDir& folder, QString* error) {
    return editor_qt::ConsoleWindow::start({QString::fromStdString((folder / "updater").string()),
                                            {},
                                            QString::fromStdString(folder.path().string()),
                                            true},
                                           error);
}

TEST(ConsoleWindow, ShowsTheRunAndSendsTheKeyItWaitsFor) {
    ensureApplication();
    enum class Answer { KeyPress, Escape, Button, CloseEarly };
    struct Case {
        const char* fault;
        Answer answer;
        std::string recordedKey;
        bool escapeCloses;  // else the Close button, once the updater has ended
    };
    const Case cases[] = {
        {"a key press in the view must reach the updater; Escape closes once it ended",
         Answer::KeyPress, "x", true},
        {"Escape while the updater waits is its key, not a close", Answer::Escape, "\x1b", false},
        {"the button answers the prompt as Enter does; Close closes once it ended", Answer::Button,
         "\n", false},
        {"closing early must end the wait as the end of input does", Answer::CloseEarly, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        TempDir folder;
        writeScript(folder / "updater", kStandInUpdater);
        QString error;
        QPointer<editor_qt::ConsoleWindow> window = startInOwnWindow(folder, &error);
        ASSERT_FALSE(window.isNull()) << error.toStdString();
        EXPECT_EQ(window->windowTitle(), "updater");
        EXPECT_TRUE(window->isVisible());
        EXPECT_FALSE(window->isModal());
        auto* output = window->findChild<QPlainTextEdit*>("txtOutput");
        ASSERT_NE(output, nullptr);
        EXPECT_TRUE(output->isReadOnly());
        auto* cmdClose = window->findChild<QPushButton*>("cmdClose");
        ASSERT_NE(cmdClose, nullptr);
        EXPECT_FALSE(cmdClose->isVisible()) << "no Close while the updater runs";
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return output->toPlainText().contains("Press any key to continue"); }, 10000));
        EXPECT_TRUE(output->toPlainText().contains("Skipped missing.txt"))
            << "standard error is shown too";

        switch (c.answer) {
            case Answer::KeyPress:
                QTest::keyClick(output, Qt::Key_Tab);  // moves the focus, sends nothing
                QTest::keyClick(output, Qt::Key_X);
                break;
            case Answer::Escape:
                QTest::keyClick(output, Qt::Key_Escape);
                break;
            case Answer::Button:
                QTest::mouseClick(window->findChild<QPushButton*>("cmdSendKey"), Qt::LeftButton);
                break;
            case Answer::CloseEarly:
                window->close();
                break;
        }
        if (c.answer == Answer::CloseEarly) {
            // Once the updater has ended, the closed window goes too.
            EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return window->programEnded(); }, 10000));
            EXPECT_TRUE(window->isVisible()) << "the window stays until the user closes it";
            EXPECT_TRUE(output->toPlainText().endsWith("Bye!\n"));
            EXPECT_EQ(window->findChild<QLabel*>("lblStatus")->text(),
                      "updater has ended: the installer was updated.");
            EXPECT_FALSE(window->findChild<QPushButton*>("cmdSendKey")->isVisible());
            EXPECT_TRUE(cmdClose->isVisible());
            if (c.escapeCloses)
                QTest::keyClick(output, Qt::Key_Escape);
            else
                QTest::mouseClick(cmdClose, Qt::LeftButton);
            EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
        }
        EXPECT_EQ(readBytes(folder / "key.txt"), c.recordedKey);
    }
}

TEST(ConsoleWindow, SaysWhetherTheInstallerWasUpdatedAndWhyNot) {
    ensureApplication();
    struct Case {
        const char* fault;
        std::string script;
        QString output;
        QString status;
    };
    const Case cases[] = {
        {"a failure said \"has ended\" like a success",
         "echo \"Couldn't open installer\"\necho '<b>denied</b>'\nexit 1\n",
         "Couldn't open installer\n<b>denied</b>\n",
         "updater ended with exit code 1: the installer was not updated: <b>denied</b>"},
        {"the reason is the line before the key prompt, not its answer",
         "echo \"Couldn't update installer\"\necho 'disk full'\n"
         "echo 'Press any key to continue'\necho 'Bye!'\nexit 1\n",
         "Couldn't update installer\ndisk full\nPress any key to continue\nBye!\n",
         "updater ended with exit code 1: the installer was not updated: disk full"},
        {"a stopped updater is no success", "echo 'Adding Icon...'\nkill -9 $$\n",
         "Adding Icon...\n", "updater was stopped: the installer may not have been updated."},
        {"UTF-8 split across two reads became two replacement characters",
         "printf 'Adding: \\320'\nsleep 0.3\nprintf '\\226.txt...\\n'\n", "Adding: \u0416.txt...\n",
         "updater has ended: the installer was updated."},
        {"an update with warnings read as a plain success",
         "echo 'Writing DLL...'\necho 'warning: \"plugin.dll\" is not a PE DLL' >&2\n"
         "echo '1 warning above: the installer may not work as intended.' >&2\n"
         "echo 'Installer updated!'\n",
         "Writing DLL...\nwarning: \"plugin.dll\" is not a PE DLL\n"
         "1 warning above: the installer may not work as intended.\nInstaller updated!\n",
         "updater has ended: the installer was updated. 1 warning above: the installer may not "
         "work as intended."},
        {"a character cut short at the end was dropped silently",
         "printf 'Adding: \\342\\202'\nexit 2\n", "Adding: \uFFFD",
         "updater ended with exit code 2: the installer was not updated: Adding: \uFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        TempDir folder;
        writeScript(folder / "updater", c.script);
        QString error;
        QPointer<editor_qt::ConsoleWindow> window = startInOwnWindow(folder, &error);
        ASSERT_FALSE(window.isNull()) << error.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->programEnded(); }, 10000));
        EXPECT_EQ(window->findChild<QPlainTextEdit*>("txtOutput")->toPlainText(), c.output);
        auto* status = window->findChild<QLabel*>("lblStatus");
        EXPECT_EQ(status->text(), c.status);
        EXPECT_EQ(status->textFormat(), Qt::PlainText) << "the updater's text is no markup";
        window->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
    }
}

// Each Save and Yes opens another window; so that they do not pile up, a new
// run closes the ended ones, but not one whose updater still waits for its key.
TEST(ConsoleWindow, ANewRunClosesTheWindowsOfEndedRunsOnly) {
    ensureApplication();
    TempDir folder;
    writeScript(folder / "updater", kStandInUpdater);
    QString error;
    QPointer<editor_qt::ConsoleWindow> waiting = startInOwnWindow(folder, &error);
    QPointer<editor_qt::ConsoleWindow> ended = startInOwnWindow(folder, &error);
    ASSERT_FALSE(waiting.isNull() || ended.isNull()) << error.toStdString();
    QTest::mouseClick(ended->findChild<QPushButton*>("cmdSendKey"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended->programEnded(); }, 10000));
    QPointer<editor_qt::ConsoleWindow> latest = startInOwnWindow(folder, &error);
    ASSERT_FALSE(latest.isNull()) << error.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended.isNull(); }, 10000));
    EXPECT_TRUE(waiting->isVisible());
    for (QPointer<editor_qt::ConsoleWindow> window : {waiting, latest}) {
        window->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 10000));
    }
}

TEST(ConsoleWindow, AProgramThatCannotStartOpensNoWindow) {
    ensureApplication();
    TempDir folder;
    writeBytes(folder / "updater", "not executable");
    QString error;
    EXPECT_EQ(
        editor_qt::ConsoleWindow::start({QString::fromStdString((folder / "updater").string()),
                                         {},
                                         QString::fromStdString(folder.path().string()),
                                         true},
                                        &error),
        nullptr);
    EXPECT_FALSE(error.isEmpty());
    for (QWidget* each : QApplication::topLevelWidgets())
        EXPECT_FALSE(each->isVisible()) << each->objectName().toStdString();
}

}  // namespace
