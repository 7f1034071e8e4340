# Shared by the MinGW toolchain files: set CMAKE_SYSTEM_PROCESSOR and
# TAMSEL_MINGW_TRIPLE, then include this file.
#
# Debian's MinGW compilers come in two thread models. The `-posix` ones give
# std::mutex and std::thread (GoogleTest needs them; the `win32` model of
# GCC 12 has neither), and with a static runtime the programs import only
# KERNEL32.dll and msvcrt.dll: nothing to ship beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TAMSEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMSEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMSEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAMSEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine, which scripts/wine_route.sh names and says
# how this machine runs: TAMSEL_WINE_ROUTE is native, emulated or none, with
# the loader or the reason in TAMSEL_WINE_ROUTE_DETAIL. CTest starts each
# test program through the loader where it runs natively. Under emulation
# (32-bit Wine through qemu-user) Wine's own 32-bit side fails at random in
# the test programs, so they are built and listed, not run; what end users
# meet, the installer, is tested there from the Linux build.
execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine_route.sh
                        ${CMAKE_SYSTEM_PROCESSOR}
                OUTPUT_VARIABLE TAMSEL_WINE_ROUTE OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "^([a-z]+) (.*)$" "\\2" TAMSEL_WINE_ROUTE_DETAIL "${TAMSEL_WINE_ROUTE}")
string(REGEX REPLACE " .*$" "" TAMSEL_WINE_ROUTE "${TAMSEL_WINE_ROUTE}")
if(TAMSEL_WINE_ROUTE STREQUAL "native")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAMSEL_WINE_ROUTE_DETAIL})
endif()
