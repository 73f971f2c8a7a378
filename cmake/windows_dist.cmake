# The programs' icon and version resource.
function(kelmora_windows_resource target description)
  set(KELMORA_ICON ${PROJECT_SOURCE_DIR}/data/windows/kelmora.ico)
  set(KELMORA_DESCRIPTION "${description}")
  set(KELMORA_PROGRAM ${target})
  configure_file(${PROJECT_SOURCE_DIR}/data/windows/kelmora.rc.in ${PROJECT_BINARY_DIR}/generated/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/generated/${target}.rc)
endfunction()
if(TARGET kelmora)
  kelmora_windows_resource(kelmora "Kelmora texture dictionary viewer")
endif()
if(TARGET kelmora-cli)
  kelmora_windows_resource(kelmora-cli "Kelmora texture dictionary tool")
endif()

# What the Windows install adds to the two programs: the Qt plugins the viewer
# loads, every DLL they need (see install_runtime.cmake), the licence and a README.
set(plugins "")
if(KELMORA_BUILD_VIEWER)
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
  install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
  list(APPEND plugins platforms/$<TARGET_FILE_NAME:Qt6::QWindowsIntegrationPlugin>
                      styles/$<TARGET_FILE_NAME:Qt6::QWindowsVistaStylePlugin>)
endif()

set(programs "")
foreach(program kelmora kelmora-cli)
  if(TARGET ${program})
    list(APPEND programs ${program}.exe)
  endif()
endforeach()

# Where the DLLs may come from: the Windows libraries' own folders, then the
# compiler's runtime and the MinGW system folder (zlib, winpthread).
set(dll_dirs "")
foreach(prefix IN LISTS KELMORA_MINGW_PREFIX)
  list(APPEND dll_dirs ${prefix}/bin)
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll OUTPUT_VARIABLE runtime
                OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(runtime_dir "${runtime}" DIRECTORY)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll OUTPUT_VARIABLE pthread
                OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(system_dir "${pthread}" DIRECTORY)
get_filename_component(system_dir "${system_dir}" REALPATH)
list(APPEND dll_dirs ${runtime_dir} ${system_dir})

install(CODE "
  set(KELMORA_OBJDUMP \"${CMAKE_OBJDUMP}\")
  set(KELMORA_DLL_DIRS \"${dll_dirs}\")
  set(KELMORA_SYSTEM_LIBS \"${system_dir}\")
  set(KELMORA_ROOTS \"${programs};${plugins}\")
  set(KELMORA_STRIP \"${CMAKE_STRIP}\")
")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install_runtime.cmake)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/data/windows/README.txt DESTINATION .)
