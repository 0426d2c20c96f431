# The installed tree, which works wherever it is moved:
#   bin/bmphost                  the command-line host (Linux)
#   lib/libBmpFilter.so          the module (bin/BmpFilter.dll on Windows)
#   lib/libhost.so, include/     the stand-in host: the kit (host/CMakeLists.txt)
#   lib/cmake/BmpFilter/         the package: find_package(BmpFilter) gives
#                                BmpFilter::host, BmpFilter::standin and
#                                BmpFilter_MODULE, the module's path
#   share/doc/BmpFilter/         the docs a host's developer reads and the
#                                example host, in the repository's layout so
#                                that the docs' links hold there too
# Every RUNPATH is relative to $ORIGIN: bmphost finds libhost.so in ../lib,
# the module finds it beside itself (as in the build tree, where all three
# sit together). `cmake --build BUILD --target package`
# (or cpack in BUILD) makes a .tar.gz of the tree.
include(CMakePackageConfigHelpers)

set_target_properties(BmpFilter PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "$ORIGIN")
install(TARGETS BmpFilter COMPONENT runtime
        LIBRARY DESTINATION ${BMP_INSTALL_LIBDIR} RUNTIME DESTINATION ${BMP_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${BMP_INSTALL_LIBDIR})
if(TARGET bmphost)
  # One RUNPATH for both trees (libhost.so beside it in the build tree), so
  # that the installed copy needs no longer one padded into the built one.
  set_target_properties(bmphost PROPERTIES BUILD_WITH_INSTALL_RPATH ON
                        INSTALL_RPATH "$ORIGIN/${BMP_INSTALL_LIBDIR_FROM_BINDIR}:$ORIGIN")
  install(TARGETS bmphost COMPONENT runtime RUNTIME DESTINATION ${BMP_INSTALL_BINDIR})
endif()

set(package_dir ${BMP_INSTALL_LIBDIR}/cmake/BmpFilter)
if(WIN32)
  set(BMP_MODULE_FILE ${BMP_INSTALL_BINDIR}/BmpFilter.dll)
else()
  set(BMP_MODULE_FILE ${BMP_INSTALL_LIBDIR}/libBmpFilter.so)
endif()
install(EXPORT BmpFilterTargets NAMESPACE BmpFilter:: DESTINATION ${package_dir} COMPONENT kit)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BmpFilterConfig.cmake.in
  ${CMAKE_BINARY_DIR}/BmpFilterConfig.cmake INSTALL_DESTINATION ${package_dir}
  PATH_VARS BMP_MODULE_FILE)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/BmpFilterConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/BmpFilterConfig.cmake
              ${CMAKE_BINARY_DIR}/BmpFilterConfigVersion.cmake
        DESTINATION ${package_dir} COMPONENT kit)

set(doc_dir share/doc/BmpFilter)
install(FILES README.md DESTINATION ${doc_dir} COMPONENT kit)
file(GLOB docs RELATIVE ${PROJECT_SOURCE_DIR} CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
foreach(doc host/README.md tools/README.md ${docs})
  get_filename_component(doc_subdir ${doc} DIRECTORY)
  install(FILES ${doc} DESTINATION ${doc_dir}/${doc_subdir} COMPONENT kit)
endforeach()
install(FILES examples/minimal-host/main.cpp examples/minimal-host/CMakeLists.txt
        DESTINATION ${doc_dir}/examples/minimal-host COMPONENT kit)

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_VENDOR "BmpFilter")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "BMP filter module, its command-line host and the stand-in host kit")
include(CPack)
