# GoogleTest built from source along with the project, for builds whose target
# has no prebuilt copy to find (the Windows cross build). Debian's googletest
# package ships the sources in /usr/src/googletest; ZORVAT_GOOGLETEST_SOURCE
# names another copy.
set(ZORVAT_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build")
if(NOT EXISTS ${ZORVAT_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "no GoogleTest sources in ${ZORVAT_GOOGLETEST_SOURCE} "
                      "(install Debian's googletest package, or set ZORVAT_GOOGLETEST_SOURCE)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ZORVAT_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The project's warning flags are for the project's code, not for this one.
foreach(_target gtest gtest_main gmock gmock_main)
  set_property(TARGET ${_target} PROPERTY COMPILE_OPTIONS -w)
endforeach()
foreach(_target gtest gtest_main gmock)
  if(NOT TARGET GTest::${_target})
    add_library(GTest::${_target} ALIAS ${_target})
  endif()
endforeach()
