# Run at install time on Windows builds: copies into the install folder every DLL
# that the programs and plugins there load and Windows itself does not provide.
# The DLLs are found by walking import tables (objdump -p), the programs' first and
# then those of every DLL copied, so nothing depends on a hand-kept list.
#
# Set before this runs:
#   KELMORA_OBJDUMP      the MinGW objdump
#   KELMORA_DLL_DIRS     folders holding the DLLs that may be copied, searched in order
#   KELMORA_SYSTEM_LIBS  the MinGW import library folder: a DLL with an import library
#                        there (libkernel32.a for KERNEL32.dll) is part of Windows
#   KELMORA_ROOTS        the programs and plugins, relative to the install folder
#   KELMORA_STRIP        the MinGW strip, applied to the copies (optional)
set(dist "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

# Every DLL on offer, by its name in lower case (Windows names are not case-sensitive).
set(offered "")
foreach(dir IN LISTS KELMORA_DLL_DIRS)
  file(GLOB dlls LIST_DIRECTORIES false "${dir}/*.dll")
  foreach(dll IN LISTS dlls)
    get_filename_component(name "${dll}" NAME)
    string(TOLOWER "${name}" key)
    if(NOT DEFINED "offer_${key}")
      set("offer_${key}" "${dll}")
    endif()
  endforeach()
endforeach()

function(is_system_dll name out)
  string(TOLOWER "${name}" lower)
  string(REGEX REPLACE "\\.[a-z0-9]+$" "" stem "${lower}")
  if(lower MATCHES "^(api|ext)-ms-" OR EXISTS "${KELMORA_SYSTEM_LIBS}/lib${stem}.a")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

set(queue "")
foreach(root IN LISTS KELMORA_ROOTS)
  if(root)
    list(APPEND queue "${dist}/${root}")
  endif()
endforeach()
set(copied "")
while(queue)
  list(POP_FRONT queue file)
  execute_process(COMMAND "${KELMORA_OBJDUMP}" -p "${file}" OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "Cannot read the imports of ${file}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
  foreach(line IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: " "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" key)
    is_system_dll("${name}" system)
    list(FIND copied "${key}" seen)
    if(system OR NOT seen EQUAL -1)
      continue()
    endif()
    if(DEFINED "offer_${key}")
      list(APPEND copied "${key}")
      set(from "${offer_${key}}")
      get_filename_component(leaf "${from}" NAME)
      file(INSTALL "${from}" DESTINATION "${dist}")
      if(KELMORA_STRIP) # the compiler's runtime comes with its debugging symbols
        execute_process(COMMAND "${KELMORA_STRIP}" --strip-unneeded "${dist}/${leaf}")
      endif()
      list(APPEND queue "${dist}/${leaf}")
      continue()
    endif()
    message(FATAL_ERROR "${file} needs ${name}, which is neither part of Windows nor in: ${KELMORA_DLL_DIRS}")
  endforeach()
endwhile()
list(LENGTH copied count)
message(STATUS "Copied ${count} DLLs the programs need")
