# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the POSIX
# threads variant, which std::thread and std::mutex need). The programs and the tests are linked
# statically, so that they run without the MinGW DLLs beside them, and the tests run under Wine:
# ctest starts every test through CMAKE_CROSSCOMPILING_EMULATOR.
#
#   cmake --preset windows      # uses this file
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)
set(CMAKE_AR ${mingw_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${mingw_triple}-ranlib CACHE FILEPATH "")

# Headers and libraries come from the MinGW-w64 tree only; programs (git, gzip, zip) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -O2 as in the Linux build: at -O3, GCC 12 warns of overlapping copies inside libstdc++'s own
# std::string (GCC bug 105329), which -Werror would turn into errors.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags of Release builds")

# No libgcc, libstdc++ or winpthread DLLs: everything but the system's own DLLs is linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# wine64 runs the 64-bit programs directly (the wine script in front of it would warn on every
# start that the 32-bit half is not installed), without Wine's own diagnostics on standard error,
# which the tests compare. Address randomisation is off for it (setarch -R): now and then the
# kernel puts something where Wine maps the page it shares with every Windows process, and Wine
# then ends the process with exit status 1 before the program has run ("failed to map the shared
# user data: c0000018"), about once in 500 starts.
find_program(KORVEX_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(KORVEX_SETARCH NAMES setarch NO_CMAKE_FIND_ROOT_PATH)
if(KORVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${KORVEX_SETARCH} -R ${KORVEX_WINE})
endif()
