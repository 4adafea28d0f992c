# Programs that run during the build (they write the export table and the
# type library). They are portable C++ and must run on the build machine,
# so when the project cross-compiles they are built with the build machine's
# own compiler instead of the target's.
#
# vard_host_tool(NAME name SOURCES ... [HEADERS ...])
#   Sources and headers are named from the repository root; HEADERS are the
#   files whose change rebuilds the tool. Sets ${name}_EXE to the program's
#   path and makes a target `name` that builds it.
function(vard_host_tool)
  cmake_parse_arguments(H "" "NAME" "SOURCES;HEADERS" ${ARGN})
  list(TRANSFORM H_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
  list(TRANSFORM H_HEADERS PREPEND ${CMAKE_SOURCE_DIR}/)
  if(CMAKE_CROSSCOMPILING)
    find_program(VARD_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
    set(exe ${CMAKE_BINARY_DIR}/host/${H_NAME})
    add_custom_command(OUTPUT ${exe}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
      COMMAND ${VARD_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -I${CMAKE_SOURCE_DIR}
              ${H_SOURCES} -o ${exe}
      DEPENDS ${H_SOURCES} ${H_HEADERS}
      COMMENT "Building ${H_NAME} for the build machine"
      VERBATIM)
    add_custom_target(${H_NAME} DEPENDS ${exe})
  else()
    add_executable(${H_NAME} ${H_SOURCES})
    target_include_directories(${H_NAME} PRIVATE ${CMAKE_SOURCE_DIR})
    set(exe $<TARGET_FILE:${H_NAME}>)
  endif()
  set(${H_NAME}_EXE ${exe} PARENT_SCOPE)
endfunction()
