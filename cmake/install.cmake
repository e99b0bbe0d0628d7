# Installation and packages.
#
#   cmake --install build --prefix /opt/volneda     everything
#   cmake --install build --component tagdrv ...    one component
#   cmake --build build --target package            .deb and .tar.gz (CPack)
#
# Components: runtime (libvolneda with its version links), tagdrv (the
# simulated reader driver), tool (the volneda command), devel (headers,
# CMake package, pkg-config file), java (the jar and its javadoc jar), docs,
# examples.  Every path written into an installed file is relative to the
# file itself, so an installed tree can be moved as a whole.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VOLNEDA_FULL_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0)
# The documentation keeps the layout of the source tree: README.md beside
# docs/ and examples/ (on Linux a link to the examples' own directory), so
# that the pages' relative links lead to the same files installed.
if(WIN32)
  # The flat layout of the Windows SDK zip (scripts/windows-bundle.sh).
  set(VOLNEDA_DOC_DIR .)
  set(VOLNEDA_EXAMPLES_DIR examples)
  set(VOLNEDA_JAVA_DIR java)
else()
  set(VOLNEDA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/volneda)
  set(VOLNEDA_EXAMPLES_DIR ${CMAKE_INSTALL_DATADIR}/volneda/examples)
  set(VOLNEDA_JAVA_DIR ${CMAKE_INSTALL_DATADIR}/java)
endif()
set(VOLNEDA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VOLNEDA)

# The examples name the library as an installed package does.
target_include_directories(volneda INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>)
add_library(VOLNEDA::volneda ALIAS volneda)
if(TARGET tagdrv)
  add_library(VOLNEDA::tagdrv ALIAS tagdrv)
endif()
# The C++ layer (include/volneda.hpp): header-only, C++17, its own threads.
find_package(Threads REQUIRED)
add_library(volneda_cpp INTERFACE)
target_link_libraries(volneda_cpp INTERFACE volneda Threads::Threads)
target_compile_features(volneda_cpp INTERFACE cxx_std_17)
add_library(VOLNEDA::cpp ALIAS volneda_cpp)

if(NOT WIN32)
  # libvolneda.so -> libvolneda.so.1 -> libvolneda.so.1.23.0.  The driver
  # keeps its plain name: libvolneda needs "libtagdrv.so", which is what a
  # vendor's driver library is installed as.
  set_target_properties(volneda PROPERTIES VERSION ${VOLNEDA_FULL_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  if(TARGET tagdrv)
    set_target_properties(tagdrv PROPERTIES INSTALL_RPATH "")
  endif()
endif()

# The unversioned link goes with the runtime: the Java VM loads the library
# by that name (System.loadLibrary("volneda")).
install(TARGETS volneda
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT devel)
if(TARGET tagdrv)
  install(TARGETS tagdrv
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT tagdrv
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tagdrv
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT tagdrv)
endif()
if(TARGET volneda_cli)
  if(NOT WIN32)
    file(RELATIVE_PATH _rel /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
    set_target_properties(volneda_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${_rel}")
  endif()
  install(TARGETS volneda_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
endif()
# volneda gateway's systemd unit, with the tool (not enabled on install).
# It names the tool as the .deb installs it, /usr/bin/volneda; an install
# elsewhere changes ExecStart (systemctl edit volneda-gateway).
get_property(_gateway GLOBAL PROPERTY VOLNEDA_GATEWAY_BUILT)
if(_gateway AND NOT WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/cli/volneda-gateway.service DESTINATION lib/systemd/system COMPONENT tool)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/include/volneda.h ${CMAKE_SOURCE_DIR}/include/tagdrv.h
  ${CMAKE_SOURCE_DIR}/include/volneda.hpp ${CMAKE_SOURCE_DIR}/include/volneda_presence.hpp
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT devel)

# CMake package: find_package(VOLNEDA 1.23 CONFIG) gives VOLNEDA::volneda,
# VOLNEDA::cpp and, when the simulated driver is installed, VOLNEDA::tagdrv.
if(WIN32)
  set(VOLNEDA_LIB_FILE bin/VOLNEDA.dll)
  set(VOLNEDA_IMPLIB_FILE lib/libVOLNEDA.dll.a)
  set(VOLNEDA_SONAME "")
  set(TAGDRV_LIB_FILE bin/TAGDRV.dll)
  set(TAGDRV_IMPLIB_FILE lib/libTAGDRV.dll.a)
  set(VOLNEDA_LINK_NAME VOLNEDA)
else()
  set(VOLNEDA_LIB_FILE ${CMAKE_INSTALL_LIBDIR}/libvolneda.so.${VOLNEDA_FULL_VERSION})
  set(VOLNEDA_IMPLIB_FILE "")
  set(VOLNEDA_SONAME libvolneda.so.${PROJECT_VERSION_MAJOR})
  set(TAGDRV_LIB_FILE ${CMAKE_INSTALL_LIBDIR}/libtagdrv.so)
  set(TAGDRV_IMPLIB_FILE "")
  set(VOLNEDA_LINK_NAME volneda)
endif()
file(RELATIVE_PATH VOLNEDA_CMAKE_TO_PREFIX /${VOLNEDA_CMAKE_DIR} /)
configure_file(${CMAKE_SOURCE_DIR}/cmake/VOLNEDAConfig.cmake.in ${CMAKE_BINARY_DIR}/VOLNEDAConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/VOLNEDAConfigVersion.cmake
  VERSION ${VOLNEDA_FULL_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/VOLNEDAConfig.cmake ${CMAKE_BINARY_DIR}/VOLNEDAConfigVersion.cmake
  DESTINATION ${VOLNEDA_CMAKE_DIR} COMPONENT devel)

# pkg-config: the prefix is found from the file's own place (${pcfiledir}).
file(RELATIVE_PATH VOLNEDA_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VOLNEDA_PC_TO_PREFIX "${VOLNEDA_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/volneda.pc.in ${CMAKE_BINARY_DIR}/volneda.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/volneda.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT devel)

if(TARGET volneda_jar)
  install_jar(volneda_jar DESTINATION ${VOLNEDA_JAVA_DIR} COMPONENT java)
  if(TARGET volneda_javadoc)
    get_target_property(_javadoc_jar volneda_javadoc JAR_FILE)
    install(FILES ${_javadoc_jar} DESTINATION ${VOLNEDA_JAVA_DIR} COMPONENT java)
  endif()
endif()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${VOLNEDA_DOC_DIR}/docs COMPONENT docs
  FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${VOLNEDA_DOC_DIR} COMPONENT docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${VOLNEDA_EXAMPLES_DIR} COMPONENT examples)
if(NOT WIN32)
  file(RELATIVE_PATH _rel /${VOLNEDA_DOC_DIR} /${VOLNEDA_EXAMPLES_DIR})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/doc-links)
  file(CREATE_LINK ${_rel} ${CMAKE_BINARY_DIR}/doc-links/examples SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/doc-links/examples DESTINATION ${VOLNEDA_DOC_DIR} COMPONENT docs)
endif()

# Packages: one .deb (installed under /usr) and one .tar.gz of the whole
# tree, from `cmake --build build --target package` (make package).
set(CPACK_PACKAGE_NAME volneda)
set(CPACK_PACKAGE_VENDOR "The VOLNEDA authors")
set(CPACK_PACKAGE_VERSION ${VOLNEDA_FULL_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "RFID tag reader library with C and Java interfaces")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
VOLNEDA drives an RFID tag reader: it opens a named reader, identifies the
tags in its field, reads and writes their memory fields, and reports through
status messages and XML result documents.  This package holds the library,
its headers, CMake and pkg-config files, the Java jar, the volneda
command-line tool, a simulated reader driver, the documentation and the
examples.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The VOLNEDA authors <volneda@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Depends: what the ELF files of the package need, found by dpkg-shlibdeps
# (the C and C++ runtimes, and cpp-httplib for `volneda serve`).  The
# package's own libraries (libvolneda.so.1 for the tool, libtagdrv.so for
# libvolneda) are found through their run paths ($ORIGIN/../lib, $ORIGIN)
# and need no entry.  Java and Python are for the jar and the Python
# package only: suggested, not required.
find_program(VOLNEDA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VOLNEDA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  message(STATUS "dpkg-shlibdeps not found (Debian: dpkg-dev): the .deb declares the C and C++ runtimes only")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "default-jre-headless | java11-runtime-headless, python3")
# shlibs file and the ldconfig trigger for libvolneda.so.1.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)

include(${CMAKE_CURRENT_LIST_DIR}/docs.cmake)
