# Cross build for 64-bit Windows with Debian's MinGW-w64 toolchain
# (g++-mingw-w64-x86-64-posix). The posix flavour is the one whose C++
# runtime has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_zorvat_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_zorvat_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_zorvat_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_zorvat_mingw}-windres)
set(CMAKE_OBJDUMP ${_zorvat_mingw}-objdump CACHE FILEPATH "objdump for PE files")

# Headers and libraries come from the MinGW tree only; programs (cmake, wine,
# the build machine's compiler) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_zorvat_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine unless the caller names another runner.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
