// updater: writes install_info.ini of the current folder into installer.exe
// there. Arguments are ignored.
#include <iostream>

#include "platform/console/console.h"
#include "updater/run.h"

int main() {
    // Each step's line shows as it happens, also through a pipe.
    std::cout << std::unitbuf;
    platform::console::showUtf8Output();
    // A console window of our own closes as we end: an early failure waits
    // for the key there, so that its reason can be read.
    return updater::run(".", std::cout, std::cerr, std::cin,
                        platform::console::consoleIsOwn() ? updater::EarlyEnd::AfterKey
                                                          : updater::EarlyEnd::AtOnce);
}
