# nlohmann-json for the Windows cross build. The library is header-only, so the build
# machine's copy (Debian's nlohmann-json3-dev) serves; its nlohmann/ folder is copied into
# the build tree first, so that the build machine's include folder never becomes an
# include path of the cross build. QUORVEL_NLOHMANN_JSON_INCLUDE_DIR may name another
# folder holding nlohmann/json.hpp.
if(TARGET nlohmann_json::nlohmann_json)
  return()
endif()

find_path(QUORVEL_NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp
  PATHS /usr/include /usr/local/include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "Folder holding nlohmann-json's nlohmann/json.hpp")
if(NOT QUORVEL_NLOHMANN_JSON_INCLUDE_DIR)
  set(nlohmann_json_FOUND FALSE)
  set(nlohmann_json_NOT_FOUND_MESSAGE "nlohmann-json's headers not found (install nlohmann-json3-dev)")
  return()
endif()

set(_quorvel_json_copy ${CMAKE_BINARY_DIR}/cross-include)
file(COPY ${QUORVEL_NLOHMANN_JSON_INCLUDE_DIR}/nlohmann DESTINATION ${_quorvel_json_copy})

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${_quorvel_json_copy})
set(nlohmann_json_FOUND TRUE)
unset(_quorvel_json_copy)
