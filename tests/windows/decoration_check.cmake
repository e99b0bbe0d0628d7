# The names an export list entry gets on each target, and the list's own
# rules.  cmake -DSRC=<source dir> -DWORK=<scratch dir> -P decoration_check.cmake
# (with -DREAD=<file> it only reads that list, for the malformed cases).
include(${SRC}/cmake/exports.cmake)
if(DEFINED READ)
  volneda_read_exports(${READ} only)
  return()
endif()

set(failures "")
macro(expect what got want)
  if(NOT "${got}" STREQUAL "${want}")
    list(APPEND failures "${what}: got '${got}', want '${want}'")
  endif()
endmacro()

set(P Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_)
# entry | 32-bit export | 32-bit object symbol | 32-bit definition line | 64-bit export
set(cases
  "jni:VOLNEDA_Open:2|_${P}VOLNEDA_1Open@16|_${P}VOLNEDA_1Open@16|_${P}VOLNEDA_1Open@16 = ${P}VOLNEDA_1Open@16|${P}VOLNEDA_1Open"
  "jni:VOLNEDA_StopAll:1|_${P}VOLNEDA_1StopAll@12|_${P}VOLNEDA_1StopAll@12|_${P}VOLNEDA_1StopAll@12 = ${P}VOLNEDA_1StopAll@12|${P}VOLNEDA_1StopAll"
  "jni:DispatcherGetData:6|_${P}DispatcherGetData@32|_${P}DispatcherGetData@32|_${P}DispatcherGetData@32 = ${P}DispatcherGetData@32|${P}DispatcherGetData"
  "jni:XMLreader_WriteXMLAddMEMFieldInfo:5|_${P}XMLreader_1WriteXMLAddMEMFieldInfo@28|_${P}XMLreader_1WriteXMLAddMEMFieldInfo@28|_${P}XMLreader_1WriteXMLAddMEMFieldInfo@28 = ${P}XMLreader_1WriteXMLAddMEMFieldInfo@28|${P}XMLreader_1WriteXMLAddMEMFieldInfo"
  "jni:GetCurrentDoc:3|_${P}GetCurrentDoc@20|_${P}GetCurrentDoc@20|_${P}GetCurrentDoc@20 = ${P}GetCurrentDoc@20|${P}GetCurrentDoc"
  "jni:Name_With__Two:0|_${P}Name_1With_1_1Two@8|_${P}Name_1With_1_1Two@8|_${P}Name_1With_1_1Two@8 = ${P}Name_1With_1_1Two@8|${P}Name_1With_1_1Two"
  "plain:VOLNEDA_Open|VOLNEDA_Open|_VOLNEDA_Open|VOLNEDA_Open|VOLNEDA_Open"
  "plain:GetCurrentDocLen|GetCurrentDocLen|_GetCurrentDocLen|GetCurrentDocLen|GetCurrentDocLen")
foreach(c IN LISTS cases)
  string(REPLACE "|" ";" f "${c}")
  list(GET f 0 entry)
  list(GET f 1 export32)
  list(GET f 2 symbol32)
  list(GET f 3 def32)
  list(GET f 4 export64)
  volneda_export_names("${entry}" i686 n)
  expect("${entry} 32-bit export" "${n_EXPORT}" "${export32}")
  expect("${entry} 32-bit symbol" "${n_SYMBOL}" "${symbol32}")
  expect("${entry} 32-bit definition" "${n_DEF}" "${def32}")
  volneda_export_names("${entry}" x86_64 n)
  expect("${entry} 64-bit export" "${n_EXPORT}" "${export64}")
  expect("${entry} 64-bit symbol" "${n_SYMBOL}" "${export64}")
  volneda_export_names("${entry}" elf n)
  expect("${entry} shared object" "${n_EXPORT}" "${export64}")
endforeach()

# The list itself: every native method mirrors one exported function of
# the same name, and there are 39 of them.
volneda_read_exports(${SRC}/src/exports.list list)
set(plain "")
set(methods "")
foreach(e IN LISTS list_ENTRIES)
  if(e MATCHES "^plain:(.*)$")
    list(APPEND plain "${CMAKE_MATCH_1}")
  elseif(e MATCHES "^jni:([^:]*):")
    list(APPEND methods "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(LENGTH methods methodCount)
expect("native methods" "${methodCount}" "39")
foreach(m IN LISTS methods)
  if(NOT m IN_LIST plain)
    list(APPEND failures "native method ${m} mirrors no exported function")
  endif()
endforeach()

# Malformed lists are refused.
set(bad_lists
  "VOLNEDA_Open(\n"
  "jni VOLNEDA_Open\n"
  "jni VOLNEDA_Open two\n"
  "VOLNEDA_Open\nVOLNEDA_Open\n"
  "jni X 1\njni X 2\n"
  "_Name\n")
set(i 0)
foreach(text IN LISTS bad_lists)
  math(EXPR i "${i} + 1")
  file(WRITE ${WORK}/bad_${i}.list "# a list\n${text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${SRC} -DREAD=${WORK}/bad_${i}.list
                          -P ${CMAKE_CURRENT_LIST_FILE}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    string(REPLACE "\n" "\\n" shown "${text}")
    list(APPEND failures "accepted a malformed list: '${shown}'")
  endif()
endforeach()
# A plain name and a native method of the same name may both be listed.
file(WRITE ${WORK}/good.list "X\njni X 1\n\n  # indented comment\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${SRC} -DREAD=${WORK}/good.list -P ${CMAKE_CURRENT_LIST_FILE}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
expect("well-formed list" "${rc}" "0")

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "export names:\n  ${text}")
endif()
list(LENGTH cases n)
message(STATUS "${n} naming cases, list of ${methodCount} native methods checked")
