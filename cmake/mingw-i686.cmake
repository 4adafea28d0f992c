# Cross toolchain: 32-bit Windows with the mingw-w64 posix-thread compilers.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VARD_MINGW i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# SSE2 doubles: x87 extended precision would change double results.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
