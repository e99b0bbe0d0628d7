# The API documentation of the Java classes, as build/java/volneda-javadoc.jar
# (installed beside volneda.jar), and the test that keeps it free of
# warnings under -Xdoclint:all.  Included from java/CMakeLists.txt, where
# VOLNEDA_JAVA_CLASSES lists the sources.
get_filename_component(_jdk_bin ${Java_JAVAC_EXECUTABLE} DIRECTORY)
find_program(VOLNEDA_JAVADOC javadoc HINTS ${_jdk_bin} NO_DEFAULT_PATH)
find_program(VOLNEDA_JAVADOC javadoc)
if(NOT VOLNEDA_JAVADOC OR NOT Java_JAR_EXECUTABLE)
  message(STATUS "javadoc or jar not found: no javadoc jar")
  return()
endif()

set(_src ${CMAKE_SOURCE_DIR}/java/src)
set(_out ${CMAKE_BINARY_DIR}/java/javadoc)
set(_jar ${CMAKE_BINARY_DIR}/java/volneda-javadoc.jar)
set(_args -quiet -encoding UTF-8 -docencoding UTF-8 -charset UTF-8 -Xdoclint:all
          -doctitle "VOLNEDA ${PROJECT_VERSION}" -windowtitle "VOLNEDA ${PROJECT_VERSION}"
          -sourcepath ${_src} -subpackages com)
add_custom_command(OUTPUT ${_jar}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_out}
  COMMAND ${VOLNEDA_JAVADOC} ${_args} -d ${_out}
  COMMAND ${Java_JAR_EXECUTABLE} cf ${_jar} -C ${_out} .
  DEPENDS ${VOLNEDA_JAVA_CLASSES}
  COMMENT "javadoc: ${_jar}"
  VERBATIM)
add_custom_target(volneda_javadoc ALL DEPENDS ${_jar})
set_target_properties(volneda_javadoc PROPERTIES JAR_FILE ${_jar})

if(VOLNEDA_TESTS)
  # Every warning fails: a public class, method or parameter without its
  # documentation, a broken reference, bad HTML.
  add_test(NAME javadoc_lint
    COMMAND ${VOLNEDA_JAVADOC} ${_args} -Werror -d ${CMAKE_BINARY_DIR}/java/javadoc-lint)
  set_tests_properties(javadoc_lint PROPERTIES TIMEOUT 120)
endif()
