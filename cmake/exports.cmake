# The export list, src/exports.list, and the names it gives on each target.
# Included by the build and by the export checks (cmake -P scripts).
cmake_policy(VERSION 3.20)

set(VOLNEDA_JNI_CLASS_PREFIX "Java_com_korvanel_datacollection_rfid_VOLNEDAProxy_")

# The JNI name of a native method of the proxy class: every '_' of the
# method name is written "_1".
function(volneda_jni_name method out)
  string(REPLACE "_" "_1" escaped "${method}")
  set(${out} "${VOLNEDA_JNI_CLASS_PREFIX}${escaped}" PARENT_SCOPE)
endfunction()

# Reads the list into <prefix>_ENTRIES, one "plain:Name" or "jni:Method:N"
# item per entry, in list order.  A malformed line stops with an error.
function(volneda_read_exports file prefix)
  file(STRINGS "${file}" lines)
  set(entries "")
  set(seen "")
  set(lineNo 0)
  foreach(line IN LISTS lines)
    math(EXPR lineNo "${lineNo} + 1")
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(line MATCHES "^([A-Za-z][A-Za-z0-9_]*)$")
      set(entry "plain:${CMAKE_MATCH_1}")
      set(key "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^jni[ \t]+([A-Za-z][A-Za-z0-9_]*)[ \t]+([0-9]+)$")
      set(entry "jni:${CMAKE_MATCH_1}:${CMAKE_MATCH_2}")
      set(key "jni ${CMAKE_MATCH_1}")
    else()
      message(FATAL_ERROR "${file}:${lineNo}: not an export entry: '${line}'")
    endif()
    if(key IN_LIST seen)
      message(FATAL_ERROR "${file}:${lineNo}: '${key}' is listed twice")
    endif()
    list(APPEND seen "${key}")
    list(APPEND entries "${entry}")
  endforeach()
  set(${prefix}_ENTRIES "${entries}" PARENT_SCOPE)
endfunction()

# For one entry on one target (i686 and x86_64 for Windows, elf for the
# shared object):
#   <prefix>_EXPORT  the name in the export table
#   <prefix>_SYMBOL  the object file symbol that defines it
#   <prefix>_DEF     the module-definition line exporting it
#   <prefix>_BASE    the symbol without decoration, for spotting a definition
#                    whose argument size differs from the list
# On 32-bit Windows a cdecl name gets a leading underscore in the objects
# only, and a stdcall JNI function is _Name@bytes in the objects and must be
# exported so: the linker's own export name would drop the underscore.
function(volneda_export_names entry arch prefix)
  string(REPLACE ":" ";" fields "${entry}")
  list(GET fields 0 kind)
  list(GET fields 1 name)
  if(kind STREQUAL "jni")
    list(GET fields 2 params)
    volneda_jni_name("${name}" name)
  endif()
  if(arch STREQUAL "i686")
    if(kind STREQUAL "jni")
      math(EXPR bytes "8 + 4 * ${params}")
      set(export "_${name}@${bytes}")
      set(symbol "_${name}@${bytes}")
      set(def "${export} = ${name}@${bytes}")
    else()
      set(export "${name}")
      set(symbol "_${name}")
      set(def "${name}")
    endif()
    set(base "_${name}")
  elseif(arch STREQUAL "x86_64" OR arch STREQUAL "elf")
    set(export "${name}")
    set(symbol "${name}")
    set(def "${name}")
    set(base "${name}")
  else()
    message(FATAL_ERROR "unknown target '${arch}'")
  endif()
  set(${prefix}_EXPORT "${export}" PARENT_SCOPE)
  set(${prefix}_SYMBOL "${symbol}" PARENT_SCOPE)
  set(${prefix}_DEF "${def}" PARENT_SCOPE)
  set(${prefix}_BASE "${base}" PARENT_SCOPE)
endfunction()

# The names of the functions include/volneda.h declares.
function(volneda_header_functions header out)
  file(READ "${header}" text)
  string(REGEX MATCHALL "VOLNEDA_CALL[ \t\n]+[A-Za-z_][A-Za-z0-9_]*[ \t\n]*\\(" decls "${text}")
  set(names "")
  foreach(d IN LISTS decls)
    string(REGEX REPLACE "VOLNEDA_CALL[ \t\n]+([A-Za-z0-9_]+).*" "\\1" n "${d}")
    list(APPEND names "${n}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# Fails unless the plain entries of the list are exactly the functions the
# header declares.
function(volneda_check_list_against_header entries header)
  volneda_header_functions("${header}" declared)
  set(plain "")
  foreach(e IN LISTS entries)
    if(e MATCHES "^plain:(.*)$")
      list(APPEND plain "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(problems "")
  foreach(n IN LISTS declared)
    if(NOT n IN_LIST plain)
      list(APPEND problems "declared but not in the export list: ${n}")
    endif()
  endforeach()
  foreach(n IN LISTS plain)
    if(NOT n IN_LIST declared)
      list(APPEND problems "in the export list but not declared: ${n}")
    endif()
  endforeach()
  if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "export list and volneda.h disagree:\n  ${text}")
  endif()
endfunction()

# The symbols defined (global) in the given objects and archives, read with
# nm; sets <out> to the list.
function(volneda_defined_symbols nm files out)
  set(all "")
  foreach(f IN LISTS files)
    execute_process(COMMAND ${nm} -g --defined-only "${f}" OUTPUT_VARIABLE text RESULT_VARIABLE rc
                    ERROR_QUIET)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${nm} failed on ${f}")
    endif()
    string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Z] [^\n]+" found "${text}")
    foreach(line IN LISTS found)
      string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Z] " "" sym "${line}")
      # C++ names are never exported; leaving them out keeps the list short.
      if(NOT sym MATCHES "^_?_Z")
        list(APPEND all "${sym}")
      endif()
    endforeach()
  endforeach()
  set(${out} "${all}" PARENT_SCOPE)
endfunction()
