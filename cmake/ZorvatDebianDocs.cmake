# Run by cpack on the staged files of a .deb, before they are packed
# (CPACK_PRE_BUILD_SCRIPTS): /usr/share/doc/zorvat gets what Debian asks of
# every package, the licence as a machine-readable copyright file and the
# changes as changelog.gz in Debian's changelog format, in place of LICENSE
# and CHANGELOG.md, which a plain install keeps.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(docs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/zorvat")
if(NOT IS_DIRECTORY "${docs}")
  message(FATAL_ERROR "${docs} is not among the staged files")
endif()
set(source ${CPACK_ZORVAT_SOURCE_DIR})

# copyright: the licence text under its Debian name, every line indented by
# one space and a blank line written " .".
file(READ ${source}/LICENSE license)
string(REGEX REPLACE "^MIT License\n+" "" license "${license}")
string(STRIP "${license}" license)
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
string(CONCAT copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: zorvat\n\n"
  "Files: *\nCopyright: 2026 The Zorvat developers\nLicense: Expat\n ${license}\n")
file(WRITE ${docs}/copyright "${copyright}")

# changelog: one entry per "## x.y.z (date)" section of CHANGELOG.md, its
# items and sentences as "  * " items wrapped at 78 columns; the coming
# version gets the build's date.
function(wrapped_item text out)
  string(REGEX REPLACE "[ ]+" ";" words "${text}")
  set(result "")
  set(line "  *")
  foreach(word IN LISTS words)
    string(LENGTH "${line} ${word}" length)
    if(length GREATER 78 AND NOT line STREQUAL "    ")
      string(APPEND result "${line}\n")
      set(line "   ")
    endif()
    string(APPEND line " ${word}")
  endforeach()
  set(${out} "${${out}}${result}${line}\n" PARENT_SCOPE)
endfunction()

# Lines as a list: the text's own semicolons are held aside meanwhile.
file(READ ${source}/CHANGELOG.md changes)
string(REPLACE ";" "<semicolon>" changes "${changes}")
string(REPLACE "\n" ";" changes "${changes}")
set(changelog "")
set(version "")
set(entry "")
set(item "")
foreach(line IN LISTS changes ITEMS "## end")
  # An item ends at the next item, heading or blank line.
  if(item AND NOT line MATCHES "^  +[^ ]")
    wrapped_item("${item}" entry)
    set(item "")
  endif()
  if(line MATCHES "^## ([0-9.]+|end)( \\(([^)]*)\\))?")
    set(next_version ${CMAKE_MATCH_1})
    set(day "${CMAKE_MATCH_3}")
    if(version)
      string(APPEND changelog "zorvat (${version}) unstable; urgency=medium\n\n${entry}\n"
             " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n\n")
    endif()
    set(version ${next_version})
    set(entry "")
    if(day MATCHES "^[0-9]+-[0-9]+-[0-9]+$")
      execute_process(COMMAND date -u -R -d "${day} 12:00" OUTPUT_VARIABLE date
                      OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    else()
      string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
    endif()
  elseif(version AND line MATCHES "^- (.*)")
    set(item "${CMAKE_MATCH_1}")
  elseif(item AND line MATCHES "^  +(.*)")
    string(APPEND item " ${CMAKE_MATCH_1}")
  elseif(version AND line MATCHES "^[A-Za-z`]")
    set(item "${line}")
  endif()
endforeach()
string(REPLACE "<semicolon>" ";" changelog "${changelog}")
file(WRITE ${docs}/changelog "${changelog}")
execute_process(COMMAND gzip -9nf ${docs}/changelog COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE ${docs}/LICENSE ${docs}/CHANGELOG.md)
