# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (i686) toolchain.
# Test programs run under Wine through cmake/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(BMP_MINGW_TRIPLE i686-w64-mingw32)
# The posix threading variant: its C++ library has std::mutex and friends,
# which GoogleTest needs.
set(CMAKE_C_COMPILER ${BMP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BMP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BMP_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${BMP_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${BMP_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJCOPY ${BMP_MINGW_TRIPLE}-objcopy CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${BMP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
