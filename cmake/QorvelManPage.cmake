# Writes the manual page of the qorvel tool from its own help texts, so
# that the page and `--help` cannot drift apart: the page is `qorvel --help`
# followed by `qorvel COMMAND --help` for every command that it lists.
#   cmake -DQORVEL=path/to/qorvel -DOUT=qorvel.1 -DVERSION=1.3.0 -P QorvelManPage.cmake

function(run_help var)
  execute_process(COMMAND ${QORVEL} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${QORVEL} ${ARGN} --help failed (${rc})")
  endif()
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

# Help text as roff lines shown as they are: a backslash is written \e, a
# hyphen \- (so that options copied from the page still work), and a line
# starting with a control character is protected with \&.
function(to_roff var text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${var} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

run_help(main)
string(REGEX MATCH "\ncommands:\n(.*)" listing "${main}")
string(FIND "${CMAKE_MATCH_1}" "\n\n" end)
string(SUBSTRING "${CMAKE_MATCH_1}" 0 ${end} listing)
string(REGEX MATCHALL "(^|\n)  [a-z][a-z-]*" names "${listing}")
if(NOT names)
  message(FATAL_ERROR "no commands found in the output of ${QORVEL} --help")
endif()

to_roff(body "${main}")
set(page ".TH QORVEL 1 \"\" \"qorvel ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nqorvel \\- call the QORVEL report functions, run batches of calls, print statements\n")
string(APPEND page ".SH DESCRIPTION\n${body}.SH COMMANDS\n")
foreach(name IN LISTS names)
  string(STRIP "${name}" name)
  run_help(command ${name})
  to_roff(body "${command}")
  string(APPEND page ".SS ${name}\n${body}")
endforeach()
file(WRITE ${OUT} "${page}")
