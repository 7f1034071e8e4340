# 32-bit Windows, the platform the programs are made for; runs on every Windows.
#   cmake -S . -B build/win-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAMSEL_MINGW_TRIPLE i686-w64-mingw32)
# Debian's 32-bit loader (package wine32); /usr/bin/wine picks a loader by
# what is installed, not by the program.
set(TAMSEL_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
