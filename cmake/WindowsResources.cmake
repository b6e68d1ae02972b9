# Windows conventions for a program: an icon and version information in its resources.
# Nothing happens on other platforms.
set(KESTREL_WINDOWS_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/windows)
if(WIN32)
  enable_language(RC)
endif()

# kestrel_windows_program(TARGET DESCRIPTION): DESCRIPTION is what Explorer shows as the file's
# description.
function(kestrel_windows_program target description)
  if(NOT WIN32)
    return()
  endif()
  set(KESTREL_TARGET ${target})
  set(KESTREL_DESCRIPTION ${description})
  set(KESTREL_VERSION_TEXT V${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
  set(KESTREL_ICON ${KESTREL_WINDOWS_RESOURCES}/kestrel.ico)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${KESTREL_WINDOWS_RESOURCES}/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
