# ZORVAT_SANITIZE instruments the library and everything built with it.
# A fuzz build gives everything libFuzzer's coverage instrumentation and, unless
# another sanitizer is named, ASan and UBSan, so that the targets and the
# library they drive are checked alike.
if(ZORVAT_FUZZ)
  if(NOT ZORVAT_SANITIZE)
    set(ZORVAT_SANITIZE "address,undefined")
  elseif(ZORVAT_SANITIZE STREQUAL "thread")
    message(FATAL_ERROR "ZORVAT_FUZZ does not combine with ZORVAT_SANITIZE=thread")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(ZORVAT_SANITIZE)
  if(ZORVAT_SANITIZE STREQUAL "address,undefined" OR ZORVAT_SANITIZE STREQUAL "undefined,address")
    set(_zorvat_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
                               -fno-omit-frame-pointer)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      # clang's check of indirect calls needs its C++ runtime, which the C
      # programs linking libzorvat.so (examples, ABI tests) do not bring in.
      list(APPEND _zorvat_sanitize_flags -fno-sanitize=function)
    endif()
  elseif(ZORVAT_SANITIZE STREQUAL "thread")
    set(_zorvat_sanitize_flags -fsanitize=thread -fno-omit-frame-pointer)
  else()
    message(FATAL_ERROR "ZORVAT_SANITIZE takes 'address,undefined' or 'thread', not '${ZORVAT_SANITIZE}'")
  endif()
  add_compile_options(${_zorvat_sanitize_flags})
  add_link_options(${_zorvat_sanitize_flags})
endif()
