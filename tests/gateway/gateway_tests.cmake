# The tests of volneda gateway: each starts Debian's mosquitto on loopback
# and talks to it with mosquitto_sub and mosquitto_pub (mosquitto and
# mosquitto-clients; scripts/deps.sh installs them).  Without them the test
# is reported skipped, saying why.
get_property(gateway_built GLOBAL PROPERTY VOLNEDA_GATEWAY_BUILT)
if(gateway_built)
  add_executable(volneda_gateway_queue_test ${CMAKE_CURRENT_LIST_DIR}/queue_test.cpp ${CMAKE_SOURCE_DIR}/cli/gateway_queue.cpp)
  target_include_directories(volneda_gateway_queue_test PRIVATE ${CMAKE_SOURCE_DIR}/cli)
  target_link_libraries(volneda_gateway_queue_test PRIVATE GTest::gtest GTest::gtest_main)
  gtest_discover_tests(volneda_gateway_queue_test DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)

  include(${CMAKE_SOURCE_DIR}/cmake/pytest.cmake)
  find_program(VOLNEDA_MOSQUITTO mosquitto PATHS /usr/sbin /usr/local/sbin)
  find_program(VOLNEDA_MOSQUITTO_SUB mosquitto_sub)
  if(NOT VOLNEDA_PYTEST)
    message(WARNING "No python3 with pytest (Debian: python3-pytest): the gateway's tests are left out.")
  elseif(NOT VOLNEDA_MOSQUITTO OR NOT VOLNEDA_MOSQUITTO_SUB)
    add_test(NAME gateway COMMAND sh -c
      "echo 'skipped: the gateway tests need mosquitto and mosquitto_sub (Debian: mosquitto, mosquitto-clients)'; exit 77")
    set_tests_properties(gateway PROPERTIES SKIP_RETURN_CODE 77)
  else()
    add_test(NAME gateway
      COMMAND ${VOLNEDA_PYTHON} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_LIST_DIR}/test_gateway.py
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    get_filename_component(mosquitto_dir ${VOLNEDA_MOSQUITTO} DIRECTORY)
    set_tests_properties(gateway PROPERTIES TIMEOUT 300
      ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;PATH=${mosquitto_dir}:$ENV{PATH};VOLNEDA_TOOL=$<TARGET_FILE:volneda_cli>;VOLNEDA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  endif()
endif()
