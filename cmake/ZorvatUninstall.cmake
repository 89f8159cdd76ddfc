# Removes every file an install put down, as install_manifest.txt lists it,
# then the folders that this leaves empty under the install prefix (never the
# prefix's standard folders themselves). Script mode:
#   cmake -DMANIFEST=BUILD/install_manifest.txt -P ZorvatUninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "no ${MANIFEST}: nothing was installed from this build folder")
endif()
file(STRINGS "${MANIFEST}" installed)
set(folders "")
foreach(file IN LISTS installed)
  if(IS_SYMLINK "$ENV{DESTDIR}${file}" OR EXISTS "$ENV{DESTDIR}${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "$ENV{DESTDIR}${file}")
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  list(APPEND folders "${folder}")
endforeach()
# Folders of our own (lib/cmake/Zorvat, share/doc/zorvat) go once empty,
# deepest first.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(folder IN LISTS folders)
  if(folder MATCHES "/(Zorvat|zorvat)$" AND IS_DIRECTORY "$ENV{DESTDIR}${folder}")
    file(GLOB left "$ENV{DESTDIR}${folder}/*")
    if(NOT left)
      file(REMOVE_RECURSE "$ENV{DESTDIR}${folder}")
    endif()
  endif()
endforeach()
