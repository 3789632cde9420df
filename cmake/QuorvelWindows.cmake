# What the Windows build adds: the resources of every program (manifest, version,
# icon) and, when cross-compiling with tests, GoogleTest built for Windows from its
# source tree and Wine as the emulator that runs the tests.

enable_language(RC)

set(QUORVEL_WINDOWS_RESOURCE_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)
set(QUORVEL_ICON_FILE ${PROJECT_SOURCE_DIR}/data/icons/quorvel.ico)

# Gives an executable the application manifest (UTF-8 code page, long paths, the
# supported Windows versions), a version resource with the project's version and the
# Quorvel icon. The desktop window (quorvel) also asks for common controls 6 (visual
# styles, the task dialog) and per-monitor DPI awareness; its tests (win32_window_tests)
# ask for common controls 6 too, so that they meet the window's own dialogs.
function(quorvel_windows_resources target description)
  set(QUORVEL_RC_TARGET ${target})
  set(QUORVEL_RC_MANIFEST_DEPENDENCY "")
  set(QUORVEL_RC_MANIFEST_SETTINGS "")
  if(target STREQUAL "quorvel" OR target STREQUAL "win32_window_tests")
    string(CONCAT QUORVEL_RC_MANIFEST_DEPENDENCY
      "  <dependency>\n"
      "    <dependentAssembly>\n"
      "      <assemblyIdentity type=\"win32\" name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"\n"
      "                        processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/>\n"
      "    </dependentAssembly>\n"
      "  </dependency>\n")
  endif()
  if(target STREQUAL "quorvel")
    string(CONCAT QUORVEL_RC_MANIFEST_SETTINGS
      "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>\n"
      "      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>\n")
  endif()
  set(QUORVEL_RC_DESCRIPTION ${description})
  set(QUORVEL_RC_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(QUORVEL_RC_MANIFEST ${CMAKE_BINARY_DIR}/resources/${target}.manifest)
  set(QUORVEL_RC_ICON ${QUORVEL_ICON_FILE})
  configure_file(${QUORVEL_WINDOWS_RESOURCE_DIR}/quorvel.manifest.in ${QUORVEL_RC_MANIFEST} @ONLY)
  configure_file(${QUORVEL_WINDOWS_RESOURCE_DIR}/quorvel.rc.in
                 ${CMAKE_BINARY_DIR}/resources/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/resources/${target}.rc)
  set_source_files_properties(${CMAKE_BINARY_DIR}/resources/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${QUORVEL_RC_MANIFEST};${QUORVEL_ICON_FILE}")
endfunction()

# Every executable of the build gets its resources, once all folders are read.
function(quorvel_windows_resources_for_all)
  set(folders ${PROJECT_SOURCE_DIR})
  while(folders)
    list(POP_FRONT folders folder)
    get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
    list(APPEND folders ${subfolders})
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(NOT type STREQUAL "EXECUTABLE")
        continue()
      endif()
      if(target STREQUAL "quorvel-cli")
        quorvel_windows_resources(${target} "Quorvel command line: Standard MIDI File batch converter")
      elseif(target STREQUAL "quorvel")
        quorvel_windows_resources(${target} "Quorvel: Standard MIDI File batch converter")
      else()
        quorvel_windows_resources(${target} "Quorvel ${target}")
      endif()
    endforeach()
  endwhile()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL quorvel_windows_resources_for_all)

if(NOT CMAKE_CROSSCOMPILING OR NOT QUORVEL_BUILD_TESTS)
  return()
endif()

# Tests run under Wine, each in the Wine prefix under the build folder.
set(QUORVEL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "Wine prefix for the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/cmake/wine-run;${QUORVEL_WINE_PREFIX}")

# GoogleTest built for Windows from Debian's source tree (package googletest), once
# per build folder, with this build's toolchain.
find_path(QUORVEL_GOOGLETEST_SOURCE_DIR googletest/CMakeLists.txt
  PATHS /usr/src/googletest NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  DOC "GoogleTest's source tree (CMakeLists.txt with googletest/ and googlemock/)")
if(NOT QUORVEL_GOOGLETEST_SOURCE_DIR)
  message(FATAL_ERROR "GoogleTest's source tree not found: install the googletest package")
endif()
set(_gtest_root ${CMAKE_BINARY_DIR}/googletest)
if(NOT EXISTS ${_gtest_root}/install/lib/cmake/GTest/GTestConfig.cmake)
  message(STATUS "Building GoogleTest for Windows from ${QUORVEL_GOOGLETEST_SOURCE_DIR}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${QUORVEL_GOOGLETEST_SOURCE_DIR} -B ${_gtest_root}/build -G ${CMAKE_GENERATOR}
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX=${_gtest_root}/install -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
    OUTPUT_QUIET RESULT_VARIABLE status)
  if(status EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${_gtest_root}/build -j 2 --target install
                    OUTPUT_QUIET RESULT_VARIABLE status)
  endif()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Building GoogleTest for Windows failed")
  endif()
endif()
set(GTest_DIR ${_gtest_root}/install/lib/cmake/GTest CACHE PATH "GoogleTest for Windows" FORCE)
unset(_gtest_root)

# A path of the build machine as the Windows programs under Wine see it: Wine's drive
# Z: is the build machine's root.
function(quorvel_path_for_tests out path)
  if(path MATCHES "^/" OR path MATCHES "^\\$<TARGET_FILE")
    set(path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()
