// updater: writes install_info.ini of the current folder into installer.exe
// there. Arguments are ignored.
#include <iostream>

#include "updater/run.h"

int main() {
    return updater::run(".", std::cout, std::cin);
}
