# The Windows release archive, zorvat-VERSION-win64.zip: cpack -G ZIP in the
# build folder (or cmake --workflow --preset windows-package) packs what
# cmake --install puts in place, with the import library Microsoft's linker
# takes and the release's documents:
#   bin/      Zorvat.dll, zorvat-cli.exe
#   include/  zorvat.h
#   lib/      Zorvat.lib (Microsoft's linker, lld-link, clang-cl),
#             libzorvat.dll.a (MinGW), Zorvat.def, cmake/Zorvat/, pkgconfig/
#   README.md, LICENSE, CHANGELOG.md

# Zorvat.lib is written from the module-definition file (itself made from
# the one export list) in the short import format every Windows linker reads.
find_program(ZORVAT_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED
             DOC "llvm-dlltool, which writes import libraries in Microsoft's format")
set(ZORVAT_MSVC_IMPORT_LIBRARY ${PROJECT_BINARY_DIR}/Zorvat.lib)
add_custom_command(OUTPUT ${ZORVAT_MSVC_IMPORT_LIBRARY}
  COMMAND ${ZORVAT_LLVM_DLLTOOL} -m i386:x86-64 -d ${ZORVAT_MODULE_DEFINITION} -D Zorvat.dll
          -l ${ZORVAT_MSVC_IMPORT_LIBRARY}
  DEPENDS ${ZORVAT_MODULE_DEFINITION} ${PROJECT_SOURCE_DIR}/cmake/exported-symbols.txt
  COMMENT "Import library for Microsoft's linker: Zorvat.lib"
  VERBATIM)
add_custom_target(zorvat_msvc_import_library ALL DEPENDS ${ZORVAT_MSVC_IMPORT_LIBRARY})

install(FILES ${ZORVAT_MSVC_IMPORT_LIBRARY} ${ZORVAT_MODULE_DEFINITION}
        DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The package's targets name libzorvat.dll.a; this file, read by
# ZorvatConfig.cmake, gives Microsoft's toolchains Zorvat.lib instead.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/ZorvatMsvcImportLibrary.cmake
        DESTINATION ${ZORVAT_CMAKE_DIR})
# The archive is unpacked anywhere, so its pkg-config file finds the prefix
# from where it lies, whatever prefix the install was made with.
install(CODE [[
  file(GLOB _zorvat_pc_files "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/*/pkgconfig/zorvat.pc")
  foreach(_zorvat_pc IN LISTS _zorvat_pc_files)
    file(READ "${_zorvat_pc}" _zorvat_text)
    string(REGEX REPLACE "(^|\n)prefix=[^\n]*" "\\1prefix=\${pcfiledir}/../.."
           _zorvat_text "${_zorvat_text}")
    file(WRITE "${_zorvat_pc}" "${_zorvat_text}")
  endforeach()
]])
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
              ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION .)

set(CPACK_PACKAGE_NAME zorvat)
set(CPACK_PACKAGE_VENDOR "The Zorvat project")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "client transport library for MultiValue databases, for 64-bit Windows")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME zorvat-${PROJECT_VERSION}-win64)
# bin/, include/ and lib/ at the top, as a prefix to unpack anywhere.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
