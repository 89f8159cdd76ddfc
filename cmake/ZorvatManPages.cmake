# Man pages are installed gzipped (gzip -9n: no name or time stamp, so the
# archive is the same on every build), as Debian ships them; the roff source
# stays readable in the tree (man -l docs/man/zorvat.3).
find_program(ZORVAT_GZIP gzip)

# zorvat_install_man_page(target page section): page.gz made by target's
# build and installed into man/man<section>; the page itself without gzip.
function(zorvat_install_man_page target page section)
  set(destination ${CMAKE_INSTALL_MANDIR}/man${section})
  if(NOT ZORVAT_GZIP)
    install(FILES ${page} DESTINATION ${destination})
    return()
  endif()
  get_filename_component(name ${page} NAME)
  set(packed ${CMAKE_CURRENT_BINARY_DIR}/man${section}/${name}.gz)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man${section}
    COMMAND ${ZORVAT_GZIP} -9nc ${page} > ${packed}
    DEPENDS ${page}
    VERBATIM)
  target_sources(${target} PRIVATE ${packed})
  # OPTIONAL: a build of the library alone (the Python package's) installs
  # without the pages it did not make.
  install(FILES ${packed} DESTINATION ${destination} OPTIONAL)
endfunction()

# The C reference, section 3: one page for the overview, one per family of
# exports, and for every name in a page's NAME section a link to the page,
# so that "man ZvStrSplit" finds it.
if(NOT WIN32)
  add_custom_target(zorvat-man3 ALL)
  file(GLOB _zorvat_section3_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/*.3)
  set(_zorvat_links ${CMAKE_CURRENT_BINARY_DIR}/man3-links)
  file(REMOVE_RECURSE ${_zorvat_links})
  file(MAKE_DIRECTORY ${_zorvat_links})
  set(_zorvat_suffix "")
  if(ZORVAT_GZIP)
    set(_zorvat_suffix .gz)
  endif()
  foreach(_page IN LISTS _zorvat_section3_pages)
    zorvat_install_man_page(zorvat-man3 ${_page} 3)
    get_filename_component(_file ${_page} NAME)
    file(READ ${_page} _text)
    string(REGEX MATCH "\n\\.SH NAME\n([^\\]*)\\\\-" _ "${_text}")
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" _names "${CMAKE_MATCH_1}")
    foreach(_name IN LISTS _names)
      if(NOT _name STREQUAL "zorvat")
        file(CREATE_LINK ${_file}${_zorvat_suffix} ${_zorvat_links}/${_name}.3${_zorvat_suffix}
             SYMBOLIC)
      endif()
    endforeach()
  endforeach()
  install(DIRECTORY ${_zorvat_links}/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)
endif()
