# The project's one version, `project(VERSION)`, as the kit hands it to a
# host: a header with macros a host tests at compile time
# (include/bmpfilter/Version.h, installed with the kit's headers). The CMake
# package, the pkg-config file and `bmphost --version` take the same
# PROJECT_VERSION (cmake/Install.cmake, tools/CMakeLists.txt), and
# libhost.so's SONAME its major number (host/CMakeLists.txt).
if(PROJECT_VERSION_PATCH STREQUAL "")
  set(BMP_VERSION_PATCH 0)
else()
  set(BMP_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()
set(BMP_VERSION_INCLUDE_DIR ${PROJECT_BINARY_DIR}/version-include)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in
               ${BMP_VERSION_INCLUDE_DIR}/bmpfilter/Version.h @ONLY)
