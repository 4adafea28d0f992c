# What both Windows toolchains share; VARD_MINGW names the target triple
# (i686-w64-mingw32 or x86_64-w64-mingw32). The posix-thread compilers: the
# win32 thread model has no std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${VARD_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARD_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VARD_MINGW}-windres)
set(CMAKE_DLLTOOL ${VARD_MINGW}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${VARD_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The DLL and the server may import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows programs run under Wine (32-bit and 64-bit alike).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
