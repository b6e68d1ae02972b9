# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler, posix thread model (the one
# that has std::thread and std::mutex). Use:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${KESTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KESTREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# KESTREL_WINDOWS_PREFIX: the folder with Qt, Poco, libmpg123 and libebur128 built for Windows
# (scripts/build-windows-deps; cmake/SongLibraries.cmake finds the last two there through the
# search root below). Given, the whole program is built against it: Qt's DLLs use the
# MinGW runtime DLLs, so the programs do too, and Qt's own tools (moc, rcc, uic) are Debian's.
# Not given, only the portable part is built, and its test programs link the MinGW runtime in
# statically so that they run under Wine on the build machine with no DLLs beside them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTREL_WINDOWS_PREFIX)
if(KESTREL_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KESTREL_WINDOWS_PREFIX})
  set(QT_HOST_PATH /usr CACHE PATH "Qt's host tools")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Qt's host tools' CMake files")
else()
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

# CTest runs the test programs under Wine (Debian's wine64 package; its launcher is not on PATH).
find_program(KESTREL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KESTREL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTREL_WINE})
endif()
