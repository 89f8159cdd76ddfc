# Writes a man page (section 1) from a program's own --help, so that the page
# says exactly what the program says. Script mode:
#   cmake -DPROGRAM=path -DNAME=zorvat-cli -DSUMMARY=text -DVERSION=x.y.z
#         [-DCOMMANDS=a;b] -DOUTPUT=file.1 -P ZorvatManPage.cmake
# Every name in COMMANDS gets a section from "PROGRAM name --help".

# The help text as roff, shown as it is printed (no filling).
function(zorvat_help_as_roff out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help
    RESULT_VARIABLE failed OUTPUT_VARIABLE help ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed: ${error}")
  endif()
  string(REPLACE "\\" "\\e" help "${help}")
  string(REPLACE "-" "\\-" help "${help}")
  # A line that starts with a dot or an apostrophe would be read as a request.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  set(${out} ".nf\n${help}.fi\n" PARENT_SCOPE)
endfunction()

string(TOUPPER "${NAME}" title)
string(REPLACE "-" "\\-" summary "${SUMMARY}")
zorvat_help_as_roff(description)
string(CONCAT page ".TH ${title} 1 \"\" \"Zorvat ${VERSION}\" \"User Commands\"\n"
         ".SH NAME\n${NAME} \\- ${summary}\n"
         ".SH DESCRIPTION\n${description}")
foreach(command IN LISTS COMMANDS)
  zorvat_help_as_roff(command_help ${command})
  string(APPEND page ".SH \"COMMAND ${command}\"\n${command_help}")
endforeach()
file(WRITE ${OUTPUT} "${page}")
