# Installing the programs the way a Linux desktop expects them, and the Debian package made of
# that with CPack (scripts/package-deb): the three programs in bin, the desktop entry and its
# icon, manual pages made from each program's --help with help2man, and the documents Debian
# asks for. The package's dependencies are worked out by dpkg-shlibdeps from the programs.
include(GNUInstallDirs)

set(KESTREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KESTREL_PROGRAMS kestrel-cli kestrel-player)
if(TARGET kestrel)
  list(PREPEND KESTREL_PROGRAMS kestrel)
endif()
install(TARGETS ${KESTREL_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The compilers' version stamps (the start-up files bring them too) are of no use installed.
if(CMAKE_OBJCOPY)
  foreach(program IN LISTS KESTREL_PROGRAMS)
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" COMMAND_ERROR_IS_FATAL ANY)")
  endforeach()
endif()

install(FILES ${KESTREL_PACKAGING_DIR}/kestrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KESTREL_PACKAGING_DIR}/icons/kestrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${KESTREL_PACKAGING_DIR}/icons/kestrel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME kestrel.png)
endforeach()

# Debian's documents: the copyright and the changelog, compressed as dpkg expects.
set(KESTREL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kestrel)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${KESTREL_PACKAGING_DIR}/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${KESTREL_PACKAGING_DIR}/changelog VERBATIM)
set(KESTREL_PACKAGING_OUTPUTS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${KESTREL_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${KESTREL_DOC_DIR})

# Manual pages from --help and --version (neither starts a window nor touches the network).
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(summary_kestrel "play list manager and zone control for Veltra players (window)")
  set(summary_kestrel-cli "play list manager and zone control for Veltra players (command line)")
  set(summary_kestrel-player "stand-in for Veltra zone players on the device bus, for tests and demos")
  foreach(program IN LISTS KESTREL_PROGRAMS)
    set(page ${CMAKE_BINARY_DIR}/packaging/${program}.1)
    set(includes --include ${KESTREL_PACKAGING_DIR}/${program}.h2m)
    set(depends ${KESTREL_PACKAGING_DIR}/${program}.h2m)
    if(NOT program STREQUAL "kestrel-player")
      list(APPEND includes --include ${KESTREL_PACKAGING_DIR}/settings-files.h2m)
      list(APPEND depends ${KESTREL_PACKAGING_DIR}/settings-files.h2m)
    endif()
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
      COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
              ${HELP2MAN} --no-info --section 1 --name ${summary_${program}} ${includes}
              --output ${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${depends} VERBATIM)
    list(APPEND KESTREL_PACKAGING_OUTPUTS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
else()
  message(STATUS "help2man not found: no manual pages (scripts/deps installs it)")
endif()
add_custom_target(packaging_files ALL DEPENDS ${KESTREL_PACKAGING_OUTPUTS})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kestrel developers")
set(CPACK_PACKAGE_CONTACT "Kestrel developers <kestrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "play list manager and zone control for Veltra music players")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Kestrel manages the play lists stored on networked multi-zone music players of\n"
  "the Veltra family (each play list a folder on the player's FTP server, each\n"
  "song an MP3 file in it) and controls playback in the zones over the UDP device\n"
  "bus on port 6000: previous, next, play, stop, volume, mute, play mode, reload,\n"
  "and a live status line per zone.\n"
  "\n"
  "The package holds the window (kestrel), the command line for scripts\n"
  "(kestrel-cli) and a stand-in for the players for tests and demos\n"
  "(kestrel-player).")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window is laid out for Arial, whose metrics these fonts have (other fonts clip labels).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2 | fonts-liberation")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
