#!/usr/bin/env bash
# Installs, on a Debian machine, every package the project needs that is not there yet.
# Idempotent and non-interactive; uses sudo when not run as root.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev lld
  libgtest-dev libgmock-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64
  wine wine64 wine32:i386 xvfb xauth
  xdotool imagemagick python3
  flock
  zlib1g-dev
  ccache
)

missing=()
for p in "${packages[@]}"; do
  [ "$p" = flock ] && { command -v flock >/dev/null || missing+=(util-linux); continue; }
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The 32-bit Wine comes from the i386 side of the archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
