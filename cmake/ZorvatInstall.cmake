# cmake --install puts the shared library, the header, a CMake package
# (find_package(Zorvat) gives Zorvat::zorvat) and a pkg-config file in place.
include(CMakePackageConfigHelpers)

install(TARGETS zorvat EXPORT ZorvatTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/zorvat.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(ZORVAT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zorvat)
install(EXPORT ZorvatTargets NAMESPACE Zorvat:: DESTINATION ${ZORVAT_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZorvatConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ZorvatConfig.cmake
  INSTALL_DESTINATION ${ZORVAT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ZorvatConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ZorvatConfig.cmake ${PROJECT_BINARY_DIR}/ZorvatConfigVersion.cmake
  DESTINATION ${ZORVAT_CMAKE_DIR})

# The pkg-config file names the prefix the files are installed under, which
# is known only at install time (cmake --install --prefix, or /usr for the
# .deb), so that pkg-config prints plain paths (-I/usr/include, which it
# then leaves out as a system folder) rather than ones relative to itself.
install(CODE "
  set(ZORVAT_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(CMAKE_INSTALL_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(CMAKE_INSTALL_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${PROJECT_SOURCE_DIR}/cmake/zorvat.pc.in\"
                 \"${PROJECT_BINARY_DIR}/pkgconfig/zorvat.pc\" @ONLY)
  file(INSTALL \"${PROJECT_BINARY_DIR}/pkgconfig/zorvat.pc\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")
")

# The licence and the changes, beside the documentation of any install (the
# Windows archive keeps them at its top, as Windows packages do).
set(ZORVAT_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/zorvat)
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          DESTINATION ${ZORVAT_DOC_DIR})
endif()

# cmake --build BUILD --target uninstall removes what the last
# cmake --install from BUILD put down, as its install_manifest.txt lists it.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${PROJECT_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/ZorvatUninstall.cmake
  COMMENT "Removing the files of the last install"
  VERBATIM)
