# Shared by the MinGW toolchain files: set TAMSEL_MINGW_TRIPLE and
# TAMSEL_WINE_LOADER, then include this file.
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

# Test programs run under Wine. CTest starts each through this loader.
if(EXISTS ${TAMSEL_WINE_LOADER})
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAMSEL_WINE_LOADER})
endif()
