# cpack -G DEB (run in the build folder) packages what cmake --install puts
# in place: the library, the header, the CMake and pkg-config files and, when
# built, the two programs with their man pages, all under /usr.
set(CPACK_PACKAGE_NAME zorvat)
set(CPACK_PACKAGE_VENDOR "The Zorvat project")
set(CPACK_PACKAGE_CONTACT "Zorvat maintainers <zorvat@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "client transport library for MultiValue databases, with its server and client programs")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "libzorvat runs database operations on a MultiValue server over an encrypted TCP protocol "
    "through a flat C interface. The package holds the library, its header, CMake and "
    "pkg-config files, the command-line client zorvat-cli and the reference server "
    "zorvat-server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The dependencies (libssl3, libstdc++6, libc6) are read off the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
