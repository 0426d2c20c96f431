# The 32-bit Windows configuration: DLLs named as the host expects them
# (BmpFilter.dll, host.dll), every program and DLL in one directory so that
# Wine finds them, and the compiler's runtime DLLs copied beside them for the
# stand-in host and the test programs (the plug-in itself needs none of them).
if(NOT MINGW)
  message(FATAL_ERROR "The Windows build is made with mingw-w64 (cmake --preset win32)")
endif()

set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# Exceptions cross DLL boundaries (the host raises, the module and the tests
# catch). The stand-in host and the tests share the runtime DLLs (the stack
# protector's among them); the plug-in carries its own copy (below), and its
# start-up code registers its unwind tables with libgcc_s_dw2-1.dll when that
# is already loaded, so a host that uses the shared unwinder can still unwind
# through the plug-in.
foreach(runtime libstdc++-6.dll libgcc_s_dw2-1.dll libwinpthread-1.dll libssp-0.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
    message(FATAL_ERROR "${runtime} not found beside ${CMAKE_CXX_COMPILER}")
  endif()
  file(COPY ${runtime_path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  list(APPEND BMP_WIN32_RUNTIME_DLLS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${runtime})
endforeach()

# The module's export list and its dialog templates.
set(BMP_WIN32_MODULE_DEF ${PROJECT_SOURCE_DIR}/frame/BmpFilter.def)
set(BMP_WIN32_MODULE_RC ${PROJECT_SOURCE_DIR}/resources/BmpFilter.rc)

# The plug-in links libgcc, libstdc++ and winpthread statically: a host
# expects one file, and runtime DLLs dropped beside it would collide with
# other plug-ins' copies of other versions. `-static` only reaches the
# libraries the compiler driver adds; the host's library comes in through its
# import library, named by path, and stays an import of host.dll.
# Win32SharedUnwinder.cpp keeps exceptions crossing between host and plug-in
# in one unwinder; the names wrapped here are the ones it forwards.
set(BMP_WIN32_MODULE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32SharedUnwinder.cpp)
set(BMP_WIN32_MODULE_LINK_OPTIONS -static)
foreach(name _Unwind_RaiseException _Unwind_Resume_or_Rethrow _Unwind_Resume
             _Unwind_DeleteException _Unwind_GetLanguageSpecificData _Unwind_GetRegionStart
             _Unwind_GetDataRelBase _Unwind_GetTextRelBase _Unwind_GetIPInfo _Unwind_SetGR
             _Unwind_SetIP)
  list(APPEND BMP_WIN32_MODULE_LINK_OPTIONS -Wl,--wrap=${name})
endforeach()

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

# Strips the debug sections from a built DLL and keeps them in a file beside
# it (NAME.dll.debug), which the DLL names through a debug link for debuggers.
function(bmp_split_debug_info target)
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=${file}.debug ${file}
    VERBATIM)
endfunction()
