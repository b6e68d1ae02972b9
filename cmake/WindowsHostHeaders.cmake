# The command line's header-only libraries, CLI11 and nlohmann-json, in the Windows build. They
# hold no compiled code, so the headers of Debian's Linux packages (installed by scripts/deps)
# serve Windows as well. Their folders are linked into the build tree one by one: /usr/include
# as a whole would put the Linux C library's headers in front of MinGW's.
set(KESTREL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
function(kestrel_host_headers target folder)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/deps")
  endif()
  file(MAKE_DIRECTORY ${KESTREL_HOST_HEADERS})
  file(CREATE_LINK /usr/include/${folder} ${KESTREL_HOST_HEADERS}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${KESTREL_HOST_HEADERS})
endfunction()
kestrel_host_headers(CLI11::CLI11 CLI)
kestrel_host_headers(nlohmann_json::nlohmann_json nlohmann)
