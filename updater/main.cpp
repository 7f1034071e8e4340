// updater: writes install_info.ini of the current folder into installer.exe
// there. Arguments are ignored.
#include <iostream>

#include "updater/run.h"

int main() {
    // Each step's line shows as it happens, also through a pipe.
    std::cout << std::unitbuf;
    return updater::run(".", std::cout, std::cerr, std::cin);
}
