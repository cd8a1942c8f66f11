# Shared part of the MinGW-w64 toolchain files. The "win32" thread model keeps
# winpthread out of the binaries: everything links against system DLLs only.
set(CMAKE_C_COMPILER   ${TOLV_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOLV_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER  ${TOLV_TRIPLE}-windres)
set(TOLV_WIDL          ${TOLV_TRIPLE}-widl)
set(CMAKE_FIND_ROOT_PATH /usr/${TOLV_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests and tools run through Wine in a private prefix (see tools/wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
