cmake_minimum_required(VERSION 3.25)
# Fails unless LIBRARY exports exactly the names listed in EXPECTED, and
# unless it leaves calls to exit() out: a client library must never end the
# host program. A Windows DLL (OBJDUMP given) is read from its export table,
# must import from the system's DLLs alone (the C++ runtime, libgcc and
# winpthread are linked in, never needed beside it), and has exit() looked
# for in the library's own objects (OBJECTS).
if(OBJDUMP)
  set(listing_command ${OBJDUMP} -p ${LIBRARY})
  set(name_pattern "^\t\\[ *[0-9]+\\] ([^ ]+)$")
  set(undefined_command ${NM} --undefined-only ${OBJECTS})
else()
  find_program(NM NAMES nm REQUIRED)
  set(listing_command ${NM} -D --defined-only ${LIBRARY})
  # "address type name[@version]": every defined name counts, version nodes
  # and data included, so that nothing beyond the list slips out.
  set(name_pattern "^[0-9a-fA-F]* *[A-Za-z] ([^@ ]+)")
  set(undefined_command ${NM} -D --undefined-only ${LIBRARY})
endif()
execute_process(COMMAND ${listing_command} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "failed: ${listing_command}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(actual "")
set(imports "")
foreach(line IN LISTS lines)
  if(line MATCHES "${name_pattern}")
    list(APPEND actual ${CMAKE_MATCH_1})
  elseif(line MATCHES "DLL Name: ([^ ]+)")
    list(APPEND imports ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT actual)
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "exported names differ\n  expected: ${expected}\n  actual:   ${actual}")
endif()

set(system_dlls kernel32.dll ws2_32.dll advapi32.dll bcrypt.dll msvcrt.dll ucrtbase.dll)
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" name)
  if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
    message(FATAL_ERROR "the DLL needs ${import}, which is not a system DLL (imports: ${imports})")
  endif()
endforeach()

execute_process(COMMAND ${undefined_command} OUTPUT_VARIABLE undefined)
if(undefined MATCHES "(^|\n) *U (__imp_)?(exit|_exit|_Exit|quick_exit)(@|\n|$)")
  message(FATAL_ERROR "the library references ${CMAKE_MATCH_3}()")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported names, as listed; imports: ${imports}")
