# The examples run as a user runs them: from a directory holding the reader
# list, the tag templates and the tag field of examples/, against the
# simulated reader.  And the documentation check.
set(_run ${CMAKE_BINARY_DIR}/examples-run)
foreach(f rfconfig.ini SWTT.INI tagfield.ini)
  configure_file(${CMAKE_SOURCE_DIR}/examples/${f} ${_run}/${f} COPYONLY)
endforeach()
set(_env "TAGDRV_FIELD=tagfield.ini;RF_RFID_CONFIG=")

foreach(name inventory read_fields write_readback status_thread)
  if(NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME example_c_${name} COMMAND ${name} WORKING_DIRECTORY ${_run})
    set_tests_properties(example_c_${name} PROPERTIES TIMEOUT 60 ENVIRONMENT "${_env}")
  endif()
endforeach()
if(TEST example_c_inventory)
  set_tests_properties(example_c_inventory PROPERTIES PASS_REGULAR_EXPRESSION "reader DOCK1.*tag 0123456789ABCDEF")
  set_tests_properties(example_c_read_fields PROPERTIES PASS_REGULAR_EXPRESSION "Serial +Hex +0123456789ABCDEF")
  # Drained before the stop: the session's last message (the attribute read
  # after the failed command) is always taken.
  set_tests_properties(example_c_status_thread PROPERTIES
    PASS_REGULAR_EXPRESSION "status messages, the last from get-attribute: RFID_SWTT_FILE_NAME")
endif()

# The Java VM and Python do not start under the sanitizers' runtime: the
# proxy class has its own sanitized test (java_proxy).
if(TARGET volneda_examples_java AND TARGET volneda_jar AND NOT VOLNEDA_SANITIZE AND NOT VOLNEDA_TSAN)
  get_target_property(_proxy volneda_jar JAR_FILE)
  get_target_property(_examples volneda_examples_java JAR_FILE)
  foreach(name Inventory ReadFields WriteReadBack StatusThread)
    add_test(NAME example_java_${name}
      COMMAND ${Java_JAVA_EXECUTABLE} -Xcheck:jni -Djava.library.path=${CMAKE_BINARY_DIR}/lib
              -cp ${_proxy}:${_examples} ${name}
      WORKING_DIRECTORY ${_run})
    set_tests_properties(example_java_${name} PROPERTIES TIMEOUT 120 ENVIRONMENT "${_env}")
  endforeach()
  get_target_property(_layer volneda_examples_java_layer JAR_FILE)
  foreach(name ReaderInventory ReaderReadFields ReaderWriteReadBack ReaderStatusMessages)
    add_test(NAME example_java_${name}
      COMMAND ${Java_JAVA_EXECUTABLE} -Xcheck:jni -Djava.library.path=${CMAKE_BINARY_DIR}/lib
              -cp ${_proxy}:${_layer} ${name}
      WORKING_DIRECTORY ${_run})
    set_tests_properties(example_java_${name} PROPERTIES TIMEOUT 120 ENVIRONMENT "${_env}")
  endforeach()
  # The watch prints what the session of docs/java-layer.md shows.
  find_package(Python3 COMPONENTS Interpreter)
  if(Python3_FOUND)
    add_test(NAME example_java_ReaderWatch
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/doc_output.py ${CMAKE_SOURCE_DIR}/docs/java-layer.md
              "$ java -cp /usr/share/java/volneda.jar:classes ReaderWatch"
              ${Java_JAVA_EXECUTABLE} -Djava.library.path=${CMAKE_BINARY_DIR}/lib -cp ${_proxy}:${_layer} ReaderWatch
      WORKING_DIRECTORY ${_run})
    set_tests_properties(example_java_ReaderWatch PROPERTIES TIMEOUT 120 ENVIRONMENT "${_env}")
  endif()
  set_tests_properties(example_java_ReaderInventory PROPERTIES PASS_REGULAR_EXPRESSION "reader DOCK1.*tag 0123456789ABCDEF")
  set_tests_properties(example_java_ReaderReadFields PROPERTIES PASS_REGULAR_EXPRESSION "Serial +Hex +0123456789ABCDEF")
endif()

# Python: the four examples with the build's package; pip installs of the
# package into fresh virtual environments, from the build tree and from the
# source tree (the library's directory given to the install), each running
# an example.
if(VOLNEDA_PYTHON AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND NOT VOLNEDA_SANITIZE AND NOT VOLNEDA_TSAN)
  foreach(name inventory read_fields write_readback status_messages)
    add_test(NAME example_python_${name}
      COMMAND ${VOLNEDA_PYTHON} ${CMAKE_SOURCE_DIR}/examples/python/${name}.py WORKING_DIRECTORY ${_run})
    set_tests_properties(example_python_${name} PROPERTIES TIMEOUT 60
      ENVIRONMENT "${_env};PYTHONPATH=${CMAKE_BINARY_DIR}/python;PYTHONDONTWRITEBYTECODE=1")
  endforeach()
  # The watch prints what the session of docs/python.md shows.
  add_test(NAME example_python_watch
    COMMAND ${VOLNEDA_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/doc_output.py ${CMAKE_SOURCE_DIR}/docs/python.md
            "$ python3 watch.py" ${VOLNEDA_PYTHON} ${CMAKE_SOURCE_DIR}/examples/python/watch.py
    WORKING_DIRECTORY ${_run})
  set_tests_properties(example_python_watch PROPERTIES TIMEOUT 60
    ENVIRONMENT "${_env};PYTHONPATH=${CMAKE_BINARY_DIR}/python;PYTHONDONTWRITEBYTECODE=1")
  set_tests_properties(example_python_inventory PROPERTIES PASS_REGULAR_EXPRESSION "reader DOCK1.*tag 0123456789ABCDEF")
  set_tests_properties(example_python_read_fields PROPERTIES PASS_REGULAR_EXPRESSION "Serial +Hex +0123456789ABCDEF")

  add_test(NAME python_pip_install_build
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/venv_install.sh ${VOLNEDA_PYTHON} ${CMAKE_BINARY_DIR}/python
            ${CMAKE_BINARY_DIR}/pip-build ${CMAKE_SOURCE_DIR}/examples inventory write_readback)
  add_test(NAME python_pip_install_source
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/venv_install.sh ${VOLNEDA_PYTHON} ${CMAKE_SOURCE_DIR}/python
            ${CMAKE_BINARY_DIR}/pip-source ${CMAKE_SOURCE_DIR}/examples status_messages)
  set_tests_properties(python_pip_install_build python_pip_install_source PROPERTIES TIMEOUT 180)
  set_tests_properties(python_pip_install_source PROPERTIES ENVIRONMENT "VOLNEDA_LIBRARY_DIR=${CMAKE_BINARY_DIR}/lib")
endif()

# Every code, message, command form, document element and file key in
# docs/, the tables as meanings.tsv has them, links that lead somewhere, and
# each documented cause of an error code giving that code.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND AND NOT WIN32 AND NOT VOLNEDA_SANITIZE AND NOT VOLNEDA_TSAN)
  add_test(NAME docs_check
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_docs.py ${CMAKE_SOURCE_DIR} $<TARGET_FILE:volneda>
    WORKING_DIRECTORY ${_run})
  set_tests_properties(docs_check PROPERTIES TIMEOUT 60 ENVIRONMENT "${_env}")
endif()

# The same links as installed, and the installed paths the pages name:
# the SDK into a prefix of its own.
if(Python3_FOUND AND NOT WIN32 AND NOT VOLNEDA_SANITIZE AND NOT VOLNEDA_TSAN)
  set(_prefix ${CMAKE_BINARY_DIR}/docs-installed)
  add_test(NAME docs_installed_links
    COMMAND sh -c "rm -rf '${_prefix}' && '${CMAKE_COMMAND}' --install '${CMAKE_BINARY_DIR}' --prefix '${_prefix}' >/dev/null && \
      '${Python3_EXECUTABLE}' '${CMAKE_CURRENT_LIST_DIR}/check_docs.py' --links '${_prefix}/${VOLNEDA_DOC_DIR}' '${_prefix}'")
  set_tests_properties(docs_installed_links PROPERTIES TIMEOUT 60)
endif()

# The C++ examples: their output is the output the guide shows
# (docs/cpp.md); the header compiles with clang++ as C++17 too; and an
# outside project builds them with find_package(VOLNEDA) against the
# installed SDK and runs them.
if(TARGET session AND (NOT CMAKE_CROSSCOMPILING OR CMAKE_CROSSCOMPILING_EMULATOR))
  foreach(name session presence_watch)
    add_test(NAME example_cpp_${name}
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${name}> -DNAME=${name} -DDOC=${CMAKE_SOURCE_DIR}/docs/cpp.md
              -P ${CMAKE_SOURCE_DIR}/tests/cpp/compare_output.cmake
      WORKING_DIRECTORY ${_run})
    set_tests_properties(example_cpp_${name} PROPERTIES TIMEOUT 60 ENVIRONMENT "${_env}")
  endforeach()
endif()
find_program(VOLNEDA_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14)
if(VOLNEDA_CLANGXX AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME cpp_header_clang
    COMMAND ${VOLNEDA_CLANGXX} -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I${CMAKE_SOURCE_DIR}/include
            ${CMAKE_SOURCE_DIR}/examples/cpp/session.cpp ${CMAKE_SOURCE_DIR}/examples/cpp/presence_watch.cpp)
endif()
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND NOT VOLNEDA_SANITIZE AND NOT VOLNEDA_TSAN)
  set(_prefix ${CMAKE_BINARY_DIR}/sdk-cpp)
  add_test(NAME sdk_cpp_find_package
    COMMAND sh -c "rm -rf '${_prefix}' && '${CMAKE_COMMAND}' --install '${CMAKE_BINARY_DIR}' --prefix '${_prefix}/usr' >/dev/null && \
      '${CMAKE_COMMAND}' -S '${_prefix}/usr/share/volneda/examples' -B '${_prefix}/build' -DCMAKE_PREFIX_PATH='${_prefix}/usr' >/dev/null && \
      '${CMAKE_COMMAND}' --build '${_prefix}/build' --target session presence_watch >/dev/null && \
      '${_prefix}/build/session' && '${_prefix}/build/presence_watch' ./rfconfig.ini DOCK1 6"
    WORKING_DIRECTORY ${_run})
  set_tests_properties(sdk_cpp_find_package PROPERTIES TIMEOUT 300 ENVIRONMENT "${_env}"
    PASS_REGULAR_EXPRESSION "round  6  left     0456000000000012")
endif()
