# Cross toolchain: 64-bit Windows (PE32+) with Debian's clang against the same mingw-w64
# headers and libraries the GCC configurations use (the POSIX-threads runtime), linked by lld.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FPC_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET   x86_64-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_RC_COMPILER ${FPC_MINGW_TRIPLE}-windres)
set(CMAKE_SYSROOT /usr/${FPC_MINGW_TRIPLE})

# clang does not find Debian's versioned GCC folder ("12-posix") by itself: name the C++
# library's headers and the runtime libraries of the POSIX-threads GCC explicitly. With the
# sysroot, nothing of the build machine's own /usr/include is searched.
file(GLOB FPC_MINGW_GCC_DIRS /usr/lib/gcc/${FPC_MINGW_TRIPLE}/*-posix)
list(SORT FPC_MINGW_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET FPC_MINGW_GCC_DIRS 0 FPC_MINGW_GCC_DIR)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${FPC_MINGW_GCC_DIR}/include/c++ -isystem ${FPC_MINGW_GCC_DIR}/include/c++/${FPC_MINGW_TRIPLE} -isystem ${FPC_MINGW_GCC_DIR}/include/c++/backward")

# Statically linked like the GCC builds. GNU ld warns about clang's type-name sections beside
# libstdc++'s ("duplicate section has different size"); lld links them silently. -pthread
# puts winpthreads after libgcc_eh, whose emulated thread-local storage needs it.
set(FPC_CLANG_LINK_FLAGS "-fuse-ld=lld -static -pthread -L${FPC_MINGW_GCC_DIR}")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "${FPC_CLANG_LINK_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${FPC_CLANG_LINK_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${FPC_CLANG_LINK_FLAGS}")

set(CMAKE_FIND_ROOT_PATH /usr/${FPC_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
