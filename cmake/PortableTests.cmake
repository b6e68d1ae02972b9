# The unit tests of the portable library in a build without Poco and Qt (the Windows build).
# GoogleTest is compiled from Debian's source package; with a cross compiler, CTest runs the
# tests through CMAKE_CROSSCOMPILING_EMULATOR (Wine, set by the toolchain file).
include(CTest)
if(BUILD_TESTING)
  include(GoogleTest)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/unit)
endif()
