# Writes the module-definition file of VOLNEDA.dll just before it is linked,
# from the export list and the objects going into it: an entry is exported
# once its function is defined, so that a function still to come does not
# break the link.  Also writes what the export check expects.
#
#   cmake -DLIST=src/exports.list -DARCH=i686|x86_64 -DNM=nm -DOBJ_DIR=dir
#         -DARCHIVES=a;b -DDEF=out.def -DEXPECTED=out.cmake -P write_def.cmake
include(${CMAKE_CURRENT_LIST_DIR}/exports.cmake)

volneda_read_exports("${LIST}" list)
file(GLOB_RECURSE objects "${OBJ_DIR}/*.obj" "${OBJ_DIR}/*.o")
volneda_defined_symbols("${NM}" "${objects};${ARCHIVES}" defined)

set(def "LIBRARY VOLNEDA.dll\nEXPORTS\n")
set(expected "")
set(pending "")
set(misdecorated "")
foreach(entry IN LISTS list_ENTRIES)
  volneda_export_names("${entry}" "${ARCH}" n)
  if(n_SYMBOL IN_LIST defined)
    string(APPEND def "  ${n_DEF}\n")
    list(APPEND expected "${n_EXPORT}")
  else()
    list(APPEND pending "${n_EXPORT}")
    # A stdcall definition with another argument size: the Java VM would
    # not find it under the listed name.
    foreach(sym IN LISTS defined)
      if(sym MATCHES "^${n_BASE}@[0-9]+$")
        list(APPEND misdecorated "${sym} (listed as ${n_EXPORT})")
      endif()
    endforeach()
  endif()
endforeach()

file(WRITE "${DEF}.tmp" "${def}")
file(COPY_FILE "${DEF}.tmp" "${DEF}" ONLY_IF_DIFFERENT)
file(REMOVE "${DEF}.tmp")
file(WRITE "${EXPECTED}"
  "set(VOLNEDA_EXPECTED_EXPORTS \"${expected}\")\n"
  "set(VOLNEDA_PENDING_EXPORTS \"${pending}\")\n"
  "set(VOLNEDA_MISDECORATED \"${misdecorated}\")\n")
