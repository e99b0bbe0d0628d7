# The interpreter that runs the Python tests: Debian's python3, which has
# pytest (python3-pytest) and Selenium (python3-selenium), not whatever
# python3 comes first on PATH.  Sets VOLNEDA_PYTHON, and VOLNEDA_PYTEST to
# true when that interpreter has pytest.
find_program(VOLNEDA_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT VOLNEDA_PYTHON)
  find_program(VOLNEDA_PYTHON NAMES python3)
endif()
set(VOLNEDA_PYTEST FALSE)
if(VOLNEDA_PYTHON)
  execute_process(COMMAND ${VOLNEDA_PYTHON} -c "import pytest" RESULT_VARIABLE no_pytest OUTPUT_QUIET ERROR_QUIET)
  if(NOT no_pytest)
    set(VOLNEDA_PYTEST TRUE)
  endif()
endif()
