# The release package: cmake --build --preset windows --target package (and
# the same with windows64) writes a ZIP that holds everything a user or a
# program's developer needs, in one folder per kind:
#   bin/      VARD32.dll, the server vardthk.dll, vardctl.exe
#   include/  vard32.h and vard_enums.h, which it includes
#   lib/      libVARD32.dll.a (MinGW), VARD32.lib (MSVC's linker takes the
#             same import format; made by dlltool from the same definitions),
#             VARD32.tlb (the type library the DLL embeds, for tools that
#             want it as a file)
#   docs/     the README and docs/
set(VARD_PACKAGE_BITS 32)
set(VARD_PACKAGE_TLB ${CMAKE_BINARY_DIR}/gen/VARD32_win32.tlb)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VARD_PACKAGE_BITS 64)
  set(VARD_PACKAGE_TLB ${CMAKE_BINARY_DIR}/gen/VARD32_win64.tlb)
endif()

set(VARD_MSVC_LIB ${VARD_BIN}/VARD32.lib)
add_custom_command(OUTPUT ${VARD_MSVC_LIB}
  COMMAND ${CMAKE_DLLTOOL} -k -d ${VARD_DEF} -D VARD32.dll -l ${VARD_MSVC_LIB}
  DEPENDS ${VARD_DEF} VARD32
  COMMENT "Writing VARD32.lib"
  VERBATIM)
add_custom_target(vard32_msvc_lib ALL DEPENDS ${VARD_MSVC_LIB})

install(FILES $<TARGET_FILE:VARD32> $<TARGET_FILE:vardthk> $<TARGET_FILE:vardctl> DESTINATION bin)
install(FILES ${CMAKE_SOURCE_DIR}/include/vard32.h ${CMAKE_SOURCE_DIR}/include/vard_enums.h
        DESTINATION include)
install(FILES ${VARD_IMPLIB} ${VARD_MSVC_LIB} DESTINATION lib)
install(FILES ${VARD_PACKAGE_TLB} DESTINATION lib RENAME VARD32.tlb)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION docs)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION docs)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME VARD32)
set(CPACK_PACKAGE_VENDOR VARD32)
set(CPACK_PACKAGE_VERSION 5.0.5074)
set(CPACK_SYSTEM_NAME win${VARD_PACKAGE_BITS})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGE_FILE_NAME VARD32-${CPACK_PACKAGE_VERSION}-win${VARD_PACKAGE_BITS})
include(CPack)
