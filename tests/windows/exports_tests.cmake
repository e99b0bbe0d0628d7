# The export checks: the naming rules everywhere, the export table of the
# DLL on Windows (the shared object's is checked by check_exports.cmake).
add_test(NAME export_names
  COMMAND ${CMAKE_COMMAND} -DSRC=${CMAKE_SOURCE_DIR} -DWORK=${CMAKE_CURRENT_BINARY_DIR}
          -P ${CMAKE_CURRENT_LIST_DIR}/decoration_check.cmake)
if(WIN32)
  add_test(NAME dll_exports
    COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:volneda> -DDRIVER=$<TARGET_FILE:tagdrv>
            -DOBJDUMP=${CMAKE_OBJDUMP} -DSRC=${CMAKE_SOURCE_DIR}
            -DEXPECTED=${CMAKE_BINARY_DIR}/volneda_exports.cmake
            -P ${CMAKE_CURRENT_LIST_DIR}/check_dll_exports.cmake)
endif()
