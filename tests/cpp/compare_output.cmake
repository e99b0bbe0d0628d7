# Runs an example program and compares what it prints with the block of
# the guide that shows its output: the fenced block after the line
# "<!-- output of examples/cpp/NAME.cpp -->" in DOC.
#
#   cmake -DPROGRAM=... -DNAME=... -DDOC=docs/cpp.md -P compare_output.cmake
execute_process(COMMAND ${PROGRAM} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} exited with ${rc}:\n${out}${err}")
endif()
file(READ ${DOC} doc)
set(marker "<!-- output of examples/cpp/${NAME}.cpp -->\n```\n")
string(FIND "${doc}" "${marker}" at)
if(at LESS 0)
  message(FATAL_ERROR "${DOC} has no block after <!-- output of examples/cpp/${NAME}.cpp -->")
endif()
string(LENGTH "${marker}" skip)
math(EXPR at "${at} + ${skip}")
string(SUBSTRING "${doc}" ${at} -1 doc)
string(FIND "${doc}" "```\n" end)
string(SUBSTRING "${doc}" 0 ${end} expected)
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "${NAME} printed:\n${out}\n${DOC} shows:\n${expected}")
endif()
