# cpack -G DEB (run in the build folder) packages what cmake --install puts
# in place: the library, the header, the CMake and pkg-config files, the man
# pages and, when built, the two programs, all under /usr.
set(CPACK_PACKAGE_NAME zorvat)
set(CPACK_PACKAGE_VENDOR "The Zorvat project")
set(CPACK_PACKAGE_CONTACT "The Zorvat developers <zorvat@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client transport library for MultiValue databases")
# Debian wraps nothing: the description's lines are its lines.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "libzorvat runs database operations on a MultiValue server over an\n"
    "encrypted TCP protocol through a flat C interface. The package holds the\n"
    "library, its header, CMake and pkg-config files, the C reference in\n"
    "section 3 of the manual, the command-line client zorvat-cli and the\n"
    "reference server zorvat-server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The dependencies (libssl3, libstdc++6, libc6) are read off the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# ldconfig runs through dpkg's trigger, as Debian asks of a package with a
# shared library.
file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
# copyright and changelog.gz in /usr/share/doc/zorvat, made from LICENSE and
# CHANGELOG.md once the files are staged.
set(CPACK_ZORVAT_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/ZorvatDebianDocs.cmake)
include(CPack)
