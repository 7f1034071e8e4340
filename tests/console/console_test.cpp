// Whether a program's console is its own, which decides whether the
// updater's early failures wait for a key.
#include "platform/console/console.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// CTest reads each test's output through a pipe, as a script or a CI run
// does: such a run never waits for a key that nobody will press.
TEST(Console, ARedirectedRunHasNoConsoleOfItsOwn) {
    EXPECT_FALSE(platform::console::consoleIsOwn());
}

#ifdef _WIN32
constexpr char kRole[] = "TAMSEL_CONSOLE_CHILD";
constexpr DWORD kOwn = 10;
constexpr DWORD kNotOwn = 11;

// This test program started again in `role` (see the test below it); its
// exit code.
DWORD runChild(const char* role, DWORD creationFlags) {
    WCHAR self[MAX_PATH];
    WCHAR arguments[] = L"console_test --gtest_filter=Console.ChildSaysWhetherItsConsoleIsItsOwn";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD code = 0;
    ::SetEnvironmentVariableA(kRole, role);
    if (::GetModuleFileNameW(nullptr, self, MAX_PATH) != 0 &&
        ::CreateProcessW(self, arguments, nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr,
                         &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, 60000);
        ::GetExitCodeProcess(process.hProcess, &code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::SetEnvironmentVariableA(kRole, nullptr);
    return code;
}

// "say" answers through its exit code; "share" runs a "say" child in its
// own console, as a command prompt runs a program, and passes the answer on.
TEST(Console, ChildSaysWhetherItsConsoleIsItsOwn) {
    const char* role = std::getenv(kRole);
    if (role == nullptr)
        GTEST_SKIP() << "started only by AConsoleOpenedForTheProgramAloneIsItsOwn";
    if (std::string_view(role) == "share")
        std::_Exit(static_cast<int>(runChild("say", 0)));
    std::_Exit(platform::console::consoleIsOwn() ? kOwn : kNotOwn);
}

// Each child in a new console, as a double click or the editor starts it.
TEST(Console, AConsoleOpenedForTheProgramAloneIsItsOwn) {
    EXPECT_EQ(runChild("say", CREATE_NEW_CONSOLE), kOwn)
        << "a console of the program's own did not count as its own";
    EXPECT_EQ(runChild("share", CREATE_NEW_CONSOLE), kNotOwn)
        << "a console shared with the program that started it counted as its own";
}
#endif

}  // namespace
