# The installed tree, which works wherever it is moved:
#   bin/bmphost                  the command-line host (Linux)
#   lib/libBmpFilter.so          the module (bin/BmpFilter.dll on Windows)
#   lib/libhost.so*, include/    the stand-in host: the kit (host/CMakeLists.txt;
#                                on Windows bin/host.dll, lib/libhost.dll.a and
#                                the compiler's runtime DLLs host.dll needs)
#   lib/cmake/BmpFilter/         the package: find_package(BmpFilter) gives
#                                BmpFilter::host, BmpFilter::standin and, once
#                                the module is installed, BmpFilter_MODULE
#   lib/pkgconfig/bmpfilter.pc   the same kit for pkg-config
#   share/doc/BmpFilter/         the licence, the changelog, the docs a host's
#                                developer reads and the example host, in the
#                                repository's layout so that the docs' links
#                                hold there too
# Two components: `kit` (the stand-in host, its headers, the package, the
# pkg-config file and the docs) and `runtime` (bmphost and the module, with
# the package's file that names the module). Each names only files it
# installs itself. Every RUNPATH is relative to $ORIGIN: bmphost finds
# libhost.so in ../lib, the module finds it beside itself (as in the build
# tree, where all three sit together). `cmake --build BUILD --target package`
# (or cpack in BUILD) makes a .tar.gz of the tree.
include(CMakePackageConfigHelpers)

set_target_properties(BmpFilter PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
# A host loads the module by path and never links it: the import library
# that the Windows linker makes beside the DLL is not installed.
install(TARGETS BmpFilter
        LIBRARY DESTINATION ${BMP_INSTALL_LIBDIR} COMPONENT runtime
        RUNTIME DESTINATION ${BMP_INSTALL_BINDIR} COMPONENT runtime
        ARCHIVE DESTINATION ${BMP_INSTALL_LIBDIR} COMPONENT module-import-library EXCLUDE_FROM_ALL)
if(TARGET bmphost)
  # One RUNPATH for both trees (libhost.so beside it in the build tree), so
  # that the installed copy needs no longer one padded into the built one.
  set_target_properties(bmphost PROPERTIES BUILD_WITH_INSTALL_RPATH ON
                        INSTALL_RPATH "$ORIGIN/${BMP_INSTALL_LIBDIR_FROM_BINDIR}:$ORIGIN")
  install(TARGETS bmphost COMPONENT runtime RUNTIME DESTINATION ${BMP_INSTALL_BINDIR})
endif()

set(package_dir ${BMP_INSTALL_LIBDIR}/cmake/BmpFilter)
if(WIN32)
  set(module_file ${BMP_INSTALL_BINDIR}/BmpFilter.dll)
else()
  set(module_file ${BMP_INSTALL_LIBDIR}/libBmpFilter.so)
endif()
install(EXPORT BmpFilterTargets NAMESPACE BmpFilter:: DESTINATION ${package_dir} COMPONENT kit)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BmpFilterConfig.cmake.in
  ${PROJECT_BINARY_DIR}/BmpFilterConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/BmpFilterConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/BmpFilterConfig.cmake
              ${PROJECT_BINARY_DIR}/BmpFilterConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT kit)
# The module's path, found relative to the package, comes with the module.
file(RELATIVE_PATH BMP_MODULE_FROM_PACKAGE /${package_dir} /${module_file})
configure_file(${CMAKE_CURRENT_LIST_DIR}/BmpFilterModule.cmake.in
               ${PROJECT_BINARY_DIR}/BmpFilterModule.cmake @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/BmpFilterModule.cmake DESTINATION ${package_dir}
        COMPONENT runtime)

install(FILES ${BMP_VERSION_INCLUDE_DIR}/bmpfilter/Version.h DESTINATION include/bmpfilter
        COMPONENT kit)
if(WIN32)
  # host.dll needs the compiler's runtime DLLs; a host finds them beside it.
  install(FILES ${BMP_WIN32_RUNTIME_DLLS} DESTINATION ${BMP_INSTALL_BINDIR} COMPONENT kit)
endif()

# pkg-config takes every path from the file's own place (pcfiledir).
set(pkgconfig_dir ${BMP_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH BMP_PREFIX_FROM_PKGCONFIG /${pkgconfig_dir} /)
string(REGEX REPLACE "/$" "" BMP_PREFIX_FROM_PKGCONFIG "${BMP_PREFIX_FROM_PKGCONFIG}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/bmpfilter.pc.in ${PROJECT_BINARY_DIR}/bmpfilter.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/bmpfilter.pc DESTINATION ${pkgconfig_dir} COMPONENT kit)

set(doc_dir share/doc/BmpFilter)
install(FILES README.md CHANGELOG.md DESTINATION ${doc_dir} COMPONENT kit)
# The licence comes with whichever part is installed.
install(FILES LICENSE DESTINATION ${doc_dir} COMPONENT kit)
install(FILES LICENSE DESTINATION ${doc_dir} COMPONENT runtime)
file(GLOB docs RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
foreach(doc host/README.md tools/README.md ${docs})
  get_filename_component(doc_subdir ${doc} DIRECTORY)
  install(FILES ${doc} DESTINATION ${doc_dir}/${doc_subdir} COMPONENT kit)
endforeach()
install(FILES examples/minimal-host/main.cpp examples/minimal-host/CMakeLists.txt
        DESTINATION ${doc_dir}/examples/minimal-host COMPONENT kit)

# A project that takes this one in with add_subdirectory packs its own way.
if(PROJECT_IS_TOP_LEVEL)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_VENDOR "BmpFilter")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "BMP filter module, its command-line host and the stand-in host kit")
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  include(CPack)
endif()
