# GoogleTest for the Windows build, compiled from Debian's sources in
# /usr/src/googletest (the packaged libraries are for Linux). Provides the same
# GTest::gtest, GTest::gtest_main, GTest::gmock targets as find_package(GTest).
set(BMP_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${BMP_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${BMP_GOOGLETEST_SOURCE} (package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${BMP_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own code is not held to the project's warnings as errors.
foreach(target gtest gtest_main gmock gmock_main)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
  endif()
endforeach()
foreach(target gtest gtest_main gmock gmock_main)
  if(TARGET ${target} AND NOT TARGET GTest::${target})
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()
