# The Windows side of the build: VOLNEDA.dll with exactly the exports of
# src/exports.list, the JNI headers for the cross build, and GoogleTest
# built from its sources with the cross compiler.
include(${CMAKE_CURRENT_LIST_DIR}/exports.cmake)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VOLNEDA_WIN_ARCH i686)
else()
  set(VOLNEDA_WIN_ARCH x86_64)
endif()

# The module-definition file is written from the objects just before the
# link (cmake/write_def.cmake); it alone decides what is exported, under the
# exact names: undecorated cdecl functions, and on 32-bit Windows the JNI
# functions as _Name@bytes.
set(VOLNEDA_DEF_FILE ${CMAKE_BINARY_DIR}/VOLNEDA.def)
set(VOLNEDA_EXPECTED_FILE ${CMAKE_BINARY_DIR}/volneda_exports.cmake)
add_custom_command(TARGET volneda PRE_LINK
  COMMAND ${CMAKE_COMMAND} -DLIST=${CMAKE_SOURCE_DIR}/src/exports.list -DARCH=${VOLNEDA_WIN_ARCH}
          -DNM=${CMAKE_NM} -DOBJ_DIR=${CMAKE_BINARY_DIR}/CMakeFiles/volneda.dir
          -DARCHIVES=$<TARGET_FILE:volneda_core>
          -DDEF=${VOLNEDA_DEF_FILE} -DEXPECTED=${VOLNEDA_EXPECTED_FILE}
          -P ${CMAKE_CURRENT_LIST_DIR}/write_def.cmake
  VERBATIM)
target_link_options(volneda PRIVATE ${VOLNEDA_DEF_FILE})
set_property(TARGET volneda APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/src/exports.list)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/exports.list)

if(MINGW)
  # The JNI headers for the native methods: the build machine's JDK gives
  # jni.h, which is the same on every system; jni_md.h is the Windows one
  # of src/platform/win32/jni.  No JVM library is linked: the VM loads the
  # DLL, never the other way round.
  if(NOT JAVA_INCLUDE_PATH)
    file(GLOB _jdk_includes /usr/lib/jvm/*/include)
    find_path(JAVA_INCLUDE_PATH jni.h
      PATHS $ENV{JAVA_HOME}/include /usr/lib/jvm/default-java/include ${_jdk_includes}
      NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  if(JAVA_INCLUDE_PATH)
    set(JAVA_INCLUDE_PATH2 ${CMAKE_SOURCE_DIR}/src/platform/win32/jni CACHE PATH "jni_md.h for Windows" FORCE)
    set(JAVA_JVM_LIBRARY jvm CACHE STRING "loaded by the VM, not linked" FORCE)
  endif()

  if(VOLNEDA_TESTS)
    set(VOLNEDA_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
    if(NOT EXISTS ${VOLNEDA_GTEST_SOURCE_DIR}/CMakeLists.txt)
      message(FATAL_ERROR "GoogleTest sources not found in ${VOLNEDA_GTEST_SOURCE_DIR} (Debian: googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${VOLNEDA_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
endif()
