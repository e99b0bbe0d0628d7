# The tests of volneda serve: the server over HTTP, the server under abuse
# (bounded attacks on loopback), and the page in headless
# Chromium (skipped, and reported so, where Chromium, its driver or
# Selenium is missing).
get_property(serve_built GLOBAL PROPERTY VOLNEDA_SERVE_BUILT)
if(serve_built)
  include(${CMAKE_SOURCE_DIR}/cmake/pytest.cmake)
  if(NOT VOLNEDA_PYTEST)
    message(WARNING "No python3 with pytest (Debian: python3-pytest): the console's tests are left out.")
  else()
    add_test(NAME console_server
      COMMAND ${VOLNEDA_PYTHON} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_LIST_DIR}/test_server.py
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set(suites server browser)
    # The attacks run hundreds of connections at once through cpp-httplib,
    # a library not built with ThreadSanitizer: the synchronisation inside
    # it is not seen, and the sanitizer reports races within the library
    # itself.  They run in the plain and the AddressSanitizer builds.
    if(NOT VOLNEDA_TSAN)
      add_test(NAME console_limits
        COMMAND ${VOLNEDA_PYTHON} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_LIST_DIR}/test_limits.py
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
      list(APPEND suites limits)
    endif()
    add_test(NAME console_browser COMMAND ${VOLNEDA_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/test_browser.py
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    foreach(suite ${suites})
      set_tests_properties(console_${suite} PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77
        ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;VOLNEDA_TOOL=$<TARGET_FILE:volneda_cli>;VOLNEDA_SOURCE_DIR=${CMAKE_SOURCE_DIR};VOLNEDA_BINARY_DIR=${CMAKE_BINARY_DIR}")
    endforeach()
  endif()
endif()
