# The two libraries the song check uses: libmpg123 (decoding) and libebur128 (loudness). On Linux
# Debian's (libmpg123-dev, libebur128-dev, from scripts/deps); in the Windows build the ones
# scripts/build-windows-deps cross-builds into KESTREL_WINDOWS_PREFIX, found there through the
# toolchain's search root.
function(kestrel_song_library target header library package)
  find_path(${target}_INCLUDE_DIR ${header})
  find_library(${target}_LIBRARY NAMES ${library})
  if(NOT ${target}_INCLUDE_DIR OR NOT ${target}_LIBRARY)
    if(WIN32)
      message(FATAL_ERROR "${library} for Windows is missing in ${KESTREL_WINDOWS_PREFIX}: run scripts/build-windows-deps")
    endif()
    message(FATAL_ERROR "${library} is missing: run scripts/deps (Debian package ${package})")
  endif()
  add_library(Kestrel::${library} UNKNOWN IMPORTED GLOBAL)
  set_target_properties(Kestrel::${library} PROPERTIES
    IMPORTED_LOCATION ${${target}_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${${target}_INCLUDE_DIR})
endfunction()

if(NOT TARGET Kestrel::mpg123)
  kestrel_song_library(KESTREL_MPG123 mpg123.h mpg123 libmpg123-dev)
  kestrel_song_library(KESTREL_EBUR128 ebur128.h ebur128 libebur128-dev)
endif()
