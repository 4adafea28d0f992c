# cmake -DOBJDUMP=... -DDLLS="a.dll;b.dll"
#       [-DSAME_EXPORTS_AS=other/VARD32.dll -DOTHER_OBJDUMP=...] -P check_dll.cmake
# Fails when one of DLLS imports anything but a Windows system DLL (the C and
# C++ runtimes must be linked in), or when the first of DLLS does not export
# exactly the names of SAME_EXPORTS_AS (the other bitness's library).
set(system_dlls
  "KERNEL32|USER32|GDI32|ADVAPI32|MSVCRT|WINMM|OLE32|OLEAUT32|VERSION|COMCTL32|COMDLG32|SHELL32|SHLWAPI")

function(read_dll objdump dll imports_var exports_var)
  execute_process(COMMAND ${objdump} -p ${dll} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot read ${dll} with ${objdump}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  list(TRANSFORM imports REPLACE "DLL Name: " "")
  # Export names: the lines "[  n] Name" of the name pointer table, which
  # ends at the next blank line.
  set(exports "")
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
  if(at GREATER -1)
    string(SUBSTRING "${dump}" ${at} -1 table)
    string(FIND "${table}" "\n\n" end)
    string(SUBSTRING "${table}" 0 ${end} table)
    string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" exports "${table}")
    list(TRANSFORM exports REPLACE "^\\[ *[0-9]+\\] " "")
  endif()
  list(SORT exports)
  set(${imports_var} "${imports}" PARENT_SCOPE)
  set(${exports_var} "${exports}" PARENT_SCOPE)
endfunction()

set(first TRUE)
foreach(dll IN LISTS DLLS)
  read_dll(${OBJDUMP} ${dll} imports exports)
  foreach(import IN LISTS imports)
    string(TOUPPER "${import}" name)
    if(NOT name MATCHES "^(${system_dlls})\\.DLL$")
      message(FATAL_ERROR "${dll} imports ${import}, which is not a Windows system DLL")
    endif()
  endforeach()
  message(STATUS "${dll}: imports ${imports}")
  if(first AND SAME_EXPORTS_AS)
    read_dll(${OTHER_OBJDUMP} ${SAME_EXPORTS_AS} other_imports other_exports)
    if(NOT exports STREQUAL other_exports OR exports STREQUAL "")
      message(FATAL_ERROR "${dll} and ${SAME_EXPORTS_AS} export different names:\n"
                          "${exports}\n---\n${other_exports}")
    endif()
    list(LENGTH exports n)
    message(STATUS "${dll}: the same ${n} export names as ${SAME_EXPORTS_AS}")
  endif()
  set(first FALSE)
endforeach()
