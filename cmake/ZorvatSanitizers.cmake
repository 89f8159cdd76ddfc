# ZORVAT_SANITIZE instruments the library and everything built with it.
if(ZORVAT_SANITIZE)
  if(ZORVAT_SANITIZE STREQUAL "address,undefined" OR ZORVAT_SANITIZE STREQUAL "undefined,address")
    set(_zorvat_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
                               -fno-omit-frame-pointer)
  elseif(ZORVAT_SANITIZE STREQUAL "thread")
    set(_zorvat_sanitize_flags -fsanitize=thread -fno-omit-frame-pointer)
  else()
    message(FATAL_ERROR "ZORVAT_SANITIZE takes 'address,undefined' or 'thread', not '${ZORVAT_SANITIZE}'")
  endif()
  add_compile_options(${_zorvat_sanitize_flags})
  add_link_options(${_zorvat_sanitize_flags})
endif()
