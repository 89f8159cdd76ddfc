# The exported names live in one list; the linker version script (and the
# Windows module-definition file) are generated from it.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/exported-symbols.txt ZORVAT_EXPORTED_SYMBOLS)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/cmake/exported-symbols.txt)

set(_map "{\n  global:\n")
foreach(_symbol IN LISTS ZORVAT_EXPORTED_SYMBOLS)
  string(APPEND _map "    ${_symbol};\n")
endforeach()
string(APPEND _map "  local:\n    *;\n};\n")
set(ZORVAT_VERSION_SCRIPT ${PROJECT_BINARY_DIR}/zorvat.map)
file(WRITE ${ZORVAT_VERSION_SCRIPT} "${_map}")

set(_def "LIBRARY Zorvat\nEXPORTS\n")
foreach(_symbol IN LISTS ZORVAT_EXPORTED_SYMBOLS)
  string(APPEND _def "  ${_symbol}\n")
endforeach()
set(ZORVAT_MODULE_DEFINITION ${PROJECT_BINARY_DIR}/Zorvat.def)
file(WRITE ${ZORVAT_MODULE_DEFINITION} "${_def}")
