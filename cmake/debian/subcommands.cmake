# Writes a help2man include file with a SUBCOMMANDS section: each subcommand that PROGRAM's --help
# lists, with what `PROGRAM <subcommand> --help` says, so that the manual page documents every
# subcommand's arguments and options from the program itself.
# Usage: cmake -DPROGRAM=<executable> -DOUTPUT=<file> -P subcommands.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()

# The names are the first words of the lines under "Subcommands:", up to the next blank line.
string(REGEX MATCH "\nSubcommands:\n([^\n]+\n)+" listed "${help}")
string(REGEX MATCHALL "\n  [a-z][a-z-]*" names "${listed}")
if(NOT names)
  message(FATAL_ERROR "${PROGRAM} --help lists no subcommands")
endif()

set(text "[SUBCOMMANDS]\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  execute_process(COMMAND ${PROGRAM} ${name} --help OUTPUT_VARIABLE usage RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${name} --help failed (${status})")
  endif()
  # As it is printed: roff's escape character and control characters at a line's start made plain.
  string(REPLACE "\\" "\\e" usage "${usage}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" usage "${usage}")
  string(APPEND text ".SS ${name}\n.nf\n${usage}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
