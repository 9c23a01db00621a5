# Shared part of the two mingw-w64 toolchain files; FPC_MINGW_TRIPLE names the target.
set(CMAKE_C_COMPILER   ${FPC_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FPC_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${FPC_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FPC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their runtime with them: nothing to copy next to an .exe, under Wine or elsewhere.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

