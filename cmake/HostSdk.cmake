# The module built against a host's own kit instead of the stand-in:
# BMP_HOST_SDK=DIR holds the host's headers in DIR/include and its libraries
# (on Windows, import libraries) in DIR/lib. They take the stand-in's place
# as the target `host`; what needs the stand-in itself (tests, tools) is not
# built. `cmake --install` of a normal build makes such a kit of the stand-in.
set(BMP_HOST_LIBRARIES host CACHE STRING "The libraries of the host's kit that the module links")
if(NOT EXISTS ${BMP_HOST_SDK}/include)
  message(FATAL_ERROR "BMP_HOST_SDK: no include directory in ${BMP_HOST_SDK}")
endif()
add_library(host INTERFACE)
target_include_directories(host INTERFACE ${BMP_HOST_SDK}/include)
foreach(name ${BMP_HOST_LIBRARIES})
  # Not cached, so that pointing the build at another kit takes effect.
  unset(library)
  find_library(library ${name} PATHS ${BMP_HOST_SDK}/lib
               NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH NO_CACHE REQUIRED)
  target_link_libraries(host INTERFACE ${library})
endforeach()
