# `make docs`: the C reference as HTML, from the Doxygen comments of the
# headers and the Markdown pages of docs/, into build/docs/html.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  add_custom_target(volneda_docs
    COMMAND ${CMAKE_COMMAND} -E echo "make docs needs Doxygen, which is not installed (Debian: apt-get install doxygen)"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
  # The target says so, and fails.
  if(VOLNEDA_TESTS AND NOT CMAKE_CROSSCOMPILING)
    add_test(NAME docs_without_doxygen COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target volneda_docs)
    set_tests_properties(docs_without_doxygen PROPERTIES TIMEOUT 60
      PASS_REGULAR_EXPRESSION "make docs needs Doxygen, which is not installed" FAIL_REGULAR_EXPRESSION "rror:")
  endif()
  return()
endif()
set(DOXYGEN_PROJECT_NAME VOLNEDA)
set(DOXYGEN_PROJECT_NUMBER ${VOLNEDA_FULL_VERSION})
set(DOXYGEN_PROJECT_BRIEF "RFID tag reader library")
set(DOXYGEN_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/docs)
set(DOXYGEN_OPTIMIZE_OUTPUT_FOR_C YES)
set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${CMAKE_SOURCE_DIR}/docs/README.md)
set(DOXYGEN_FULL_PATH_NAMES NO)
set(DOXYGEN_QUIET YES)
# Section links of the Markdown pages are the repository host's; Doxygen
# does not resolve them, and says so in this file rather than on the screen.
set(DOXYGEN_WARN_LOGFILE ${CMAKE_BINARY_DIR}/docs/doxygen-warnings.log)
set(DOXYGEN_WARN_IF_UNDOCUMENTED NO)
set(DOXYGEN_PREDEFINED "VOLNEDA_API=" "VOLNEDA_CALL=" "TAGDRV_API=" "TAGDRV_CALL=")
doxygen_add_docs(volneda_docs
  ${CMAKE_SOURCE_DIR}/include/volneda.h ${CMAKE_SOURCE_DIR}/include/tagdrv.h ${CMAKE_SOURCE_DIR}/docs
  COMMENT "Doxygen: ${CMAKE_BINARY_DIR}/docs/html/index.html")
