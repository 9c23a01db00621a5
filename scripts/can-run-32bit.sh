#!/usr/bin/env bash
# Exits 0 when this machine can run the 32-bit Windows tests; otherwise prints why not and
# exits 1. The kernel is asked by running a tiny 32-bit program (a 96-byte static i386 ELF
# that exits with 42 through int 0x80), not by reading its version or configuration.
set -uo pipefail
# Made inside the checkout: /tmp may be mounted without execute permission.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$root/build"
probe=$(mktemp "$root/build/.probe32.XXXXXX")
trap 'rm -f "$probe"' EXIT
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
rc=$?
if [ "$rc" -ne 42 ]; then
  echo "this machine cannot execute 32-bit programs (a tiny 32-bit program exited with $rc, not 42)"
  exit 1
fi
if [ ! -x /usr/lib/wine/wine ]; then
  echo "the 32-bit wine (wine32:i386) is not installed"
  exit 1
fi
exit 0
