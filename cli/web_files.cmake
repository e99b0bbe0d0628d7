# Turns the console's page (cli/web) into C++, so that the tool carries it.
#   cmake -DDIR=cli/web -DOUT=web_files.inc -P web_files.cmake
# The output defines kWebFiles, an array of {path, type, data, size}
# records, to be included where the record type `WebFile` is declared;
# index.html is served as "/".
file(GLOB files "${DIR}/*")
list(SORT files)
set(records "")
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  get_filename_component(ext "${file}" LAST_EXT)
  if(ext STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(ext STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(ext STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(ext STREQUAL ".svg")
    set(type "image/svg+xml")
  else()
    message(FATAL_ERROR "web_files.cmake: no content type for ${name}")
  endif()
  set(path "/${name}")
  if(name STREQUAL "index.html")
    set(path "/")
  endif()
  file(READ "${file}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  # Every byte as \xHH: no escape can run into the next character.
  string(REGEX REPLACE "(..)" "\\\\x\\1" bytes "${hex}")
  string(APPEND records "    {\"${path}\", \"${type}\", \"${bytes}\", ${size}},\n")
endforeach()
file(WRITE "${OUT}" "// Generated from cli/web by web_files.cmake; do not edit.\nconstexpr WebFile kWebFiles[] = {\n${records}};\n")
