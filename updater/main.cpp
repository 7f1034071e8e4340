// updater: writes install_info.ini of the current folder into installer.exe
// there. Arguments are ignored.
#include <iostream>

#include "platform/console/console.h"
#include "updater/run.h"

int main() {
    // Each step's line shows as it happens, also through a pipe.
    std::cout << std::unitbuf;
    platform::console::showUtf8Output();
    return updater::run(".", std::cout, std::cerr, std::cin);
}
