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

# The pkg-config file finds its prefix relative to itself, so that an install
# with --prefix lands a working file wherever it goes.
file(RELATIVE_PATH ZORVAT_PC_PREFIX_FROM_PCDIR "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
configure_file(${PROJECT_SOURCE_DIR}/cmake/zorvat.pc.in ${PROJECT_BINARY_DIR}/zorvat.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zorvat.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
