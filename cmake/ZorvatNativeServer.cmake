# The reference server built for the build machine, for the end-to-end tests
# of a cross build: the test programs run under an emulator, the server runs
# natively beside them. ZORVAT_NATIVE_SERVER names a ready zorvat-server;
# left empty, one is built from these sources with the build machine's
# compiler. Sets ZORVAT_NATIVE_SERVER_PROGRAM, and ZORVAT_NATIVE_SERVER_TARGET
# when it builds one.
set(ZORVAT_NATIVE_SERVER "" CACHE FILEPATH
    "zorvat-server built for the build machine (empty: build one)")
if(ZORVAT_NATIVE_SERVER)
  set(ZORVAT_NATIVE_SERVER_PROGRAM ${ZORVAT_NATIVE_SERVER})
  set(ZORVAT_NATIVE_SERVER_TARGET "")
  return()
endif()

include(ExternalProject)
set(_zorvat_native_dir ${PROJECT_BINARY_DIR}/native-server)
set(ZORVAT_NATIVE_SERVER_PROGRAM ${_zorvat_native_dir}/tools/server/zorvat-server)
set(ZORVAT_NATIVE_SERVER_TARGET zorvat_native_server)
ExternalProject_Add(zorvat_native_server
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${_zorvat_native_dir}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
             -DZORVAT_BUILD_TESTS=OFF
             -DZORVAT_BUILD_EXAMPLES=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target zorvat-server
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${ZORVAT_NATIVE_SERVER_PROGRAM})
