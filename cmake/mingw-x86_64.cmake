# Cross toolchain: 64-bit Windows with the mingw-w64 posix-thread compilers.
# The same library and server as the 32-bit build, for 64-bit callers and for
# machines that cannot run 32-bit code. SSE2 doubles are the x86_64 default.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARD_MINGW x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
