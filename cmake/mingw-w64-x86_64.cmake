# Cross build for 64-bit Windows with MinGW-w64 (posix threads) from Debian:
#   cmake --preset windows
# Every program links its runtime statically, so each .exe runs on its own. Nothing of
# the build machine's /usr/include or /usr/lib is searched: libraries and headers come
# from the MinGW-w64 tree, header-only packages through the configs under cross/.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread linked in: no DLL beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# CLI11 is header-only: its config under cross/ copies the headers into the build
# tree and offers CLI11::CLI11 from there.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/cross/CLI11 CACHE PATH "CLI11 for the cross build")
# nlohmann-json, header-only too, the same way.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/cross/nlohmann_json CACHE PATH "nlohmann-json for the cross build")
