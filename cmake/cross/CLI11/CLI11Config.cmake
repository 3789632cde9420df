# CLI11 for the Windows cross build. CLI11 is header-only, so the build machine's copy
# (Debian's libcli11-dev) serves; its headers are copied into the build tree first, so
# that the build machine's include folder never becomes an include path of the cross
# build. QUORVEL_CLI11_INCLUDE_DIR may name another folder holding CLI/CLI.hpp.
if(TARGET CLI11::CLI11)
  return()
endif()

find_path(QUORVEL_CLI11_INCLUDE_DIR CLI/CLI.hpp
  PATHS /usr/include /usr/local/include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "Folder holding CLI11's CLI/CLI.hpp")
if(NOT QUORVEL_CLI11_INCLUDE_DIR)
  set(CLI11_FOUND FALSE)
  set(CLI11_NOT_FOUND_MESSAGE "CLI11's headers not found (install libcli11-dev)")
  return()
endif()

set(_quorvel_cli11_copy ${CMAKE_BINARY_DIR}/cross-include)
file(COPY ${QUORVEL_CLI11_INCLUDE_DIR}/CLI DESTINATION ${_quorvel_cli11_copy})

add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_quorvel_cli11_copy})
set(CLI11_FOUND TRUE)
unset(_quorvel_cli11_copy)
