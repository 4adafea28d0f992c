# Test helpers shared by every folder.
#
# Native tests run as they are. Windows tests run under Wine, in a throw-away
# prefix that a fixture creates before the first of them and stops after the
# last, so a run stops the wineserver it started and nothing else.

set(VARD_GTEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VARD_GTEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

if(WIN32)
  set(VARD_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  add_test(NAME wine_prefix_create
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh create ${VARD_WINEPREFIX})
  set_tests_properties(wine_prefix_create PROPERTIES FIXTURES_SETUP wine)
  add_test(NAME wine_prefix_stop
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${VARD_WINEPREFIX})
  set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

# vard_test(NAME name SOURCES ... [LIBS ...] [DIR output-folder] [TIMEOUT s])
# A GoogleTest program and its ctest entry. DIR places a Windows test beside
# the DLLs it must find first (the harness folder holds a do-nothing server).
function(vard_test)
  cmake_parse_arguments(T "" "NAME;DIR;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  # Tests link the library through its import library.
  list(TRANSFORM T_LIBS REPLACE "^VARD32$" vard32_client)
  # Sources may be named from the current folder or from the repository root.
  set(sources)
  foreach(src IN LISTS T_SOURCES)
    if(NOT IS_ABSOLUTE ${src} AND NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${src})
      set(src ${CMAKE_SOURCE_DIR}/${src})
    endif()
    list(APPEND sources ${src})
  endforeach()
  add_executable(${T_NAME} ${sources})
  target_link_libraries(${T_NAME} PRIVATE gtest gtest_main ${T_LIBS})
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  if(T_DIR)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${T_DIR})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    set_tests_properties(${T_NAME} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "WINEPREFIX=${VARD_WINEPREFIX};WINEDEBUG=-all,err+module;WINEDLLOVERRIDES=mscoree,mshtml=")
  endif()
endfunction()
