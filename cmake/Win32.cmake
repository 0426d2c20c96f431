# The 32-bit Windows configuration: DLLs named as the host expects them
# (BmpFilter.dll, host.dll), every program and DLL in one directory so that
# Wine finds them, and the compiler's runtime DLLs copied beside them.
if(NOT MINGW)
  message(FATAL_ERROR "The Windows build is made with mingw-w64 (cmake --preset win32)")
endif()

set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Exceptions cross DLL boundaries (the host raises, the module and the tests
# catch), so every DLL and program shares one C++ runtime and one unwinder.
foreach(runtime libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
    message(FATAL_ERROR "${runtime} not found beside ${CMAKE_CXX_COMPILER}")
  endif()
  file(COPY ${runtime_path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endforeach()

# The module's export list and its dialog templates.
set(BMP_WIN32_MODULE_DEF ${CMAKE_SOURCE_DIR}/frame/BmpFilter.def)
set(BMP_WIN32_MODULE_RC ${CMAKE_SOURCE_DIR}/resources/BmpFilter.rc)

# Compiles the dialog templates with windres into an object linked into
# `target`. Done by hand rather than as an RC source so that the C and C++
# warning options never reach windres.
function(bmp_add_resources target rc_file)
  get_filename_component(rc_name ${rc_file} NAME_WE)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${rc_name}.res.o)
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} --input-format=rc --output-format=coff
            -i ${rc_file} -o ${object}
    DEPENDS ${rc_file}
    COMMENT "Compiling resources ${rc_name}.rc"
    VERBATIM)
  target_sources(${target} PRIVATE ${object})
endfunction()
