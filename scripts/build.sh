#!/usr/bin/env bash
# Configures and builds one or more configurations, each in build/<config>:
#   host     native Linux g++ (platform-free core and its tests, ASan + UBSan)
#   win-x86  i686-w64-mingw32-g++-posix   (PE32; built, never run here)
#   win-x64  x86_64-w64-mingw32-g++-posix (PE32+; tests run under wine64)
#   win-x64-clang  clang++ for x86_64-w64-windows-gnu with the same mingw-w64 headers and
#                  libraries, linked by lld (PE32+; tests run under wine64)
# Usage: scripts/build.sh [host] [win-x86] [win-x64] [win-x64-clang]   (default: all four)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(host win-x86 win-x64 win-x64-clang)
jobs=$(nproc 2>/dev/null || echo 2)

# A compiler cache shared by every checkout on the machine: paths are taken relative to the
# checkout, so a second clone or worktree of the same sources compiles nothing again.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

for config in "${configs[@]}"; do
  case "$config" in
    host)    toolchain=() ;;
    win-x86) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86.cmake") ;;
    win-x64) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x64.cmake") ;;
    win-x64-clang) toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-clang-mingw-x64.cmake") ;;
    *) echo "build.sh: unknown configuration '$config'" >&2; exit 2 ;;
  esac
  dir="$root/build/$config"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" "${toolchain[@]}" "${launcher[@]}" >/dev/null
  fi
  echo "build: $config"
  # Progress lines are hidden; warnings, errors and the build's own status come through.
  cmake --build "$dir" -j "$jobs" 2>&1 \
    | { grep -v -E '^\[ *[0-9]+%\] (Building|Linking|Built)|^Consolidate compiler|^Scanning dependencies|^gmake' || true; }
done
