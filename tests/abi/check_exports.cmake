# Fails unless LIBRARY defines exactly the names listed in EXPECTED, and
# unless it leaves calls to exit() out: a client library must never end the
# host program.
find_program(NM NAMES nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE defined RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${defined}")
set(actual "")
foreach(line IN LISTS lines)
  # "address type name[@version]": every defined name counts, version nodes
  # and data included, so that nothing beyond the list slips out.
  if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^@ ]+)")
    list(APPEND actual ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT actual)
file(STRINGS ${EXPECTED} expected)
list(SORT expected)
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "exported names differ\n  expected: ${expected}\n  actual:   ${actual}")
endif()

execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY} OUTPUT_VARIABLE undefined)
if(undefined MATCHES "(^|\n) *U (exit|_exit|_Exit|quick_exit)(@|\n|$)")
  message(FATAL_ERROR "the library references ${CMAKE_MATCH_2}()")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported names, as listed")
