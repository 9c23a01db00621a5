#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix.
#   wine-run.sh [--win32] PREFIX PROGRAM [ARGS...]   run PROGRAM (CTest uses this as the emulator)
#   wine-run.sh [--win32] PREFIX --init               only create the prefix
# 64-bit programs run under wine64 in a 64-bit prefix; with --win32, 32-bit programs run under
# the 32-bit wine in a 32-bit prefix. The prefix is created once with 'wineboot -i' and reused.
# When no DISPLAY is set, an Xvfb of our own is started on a free display for the run and
# stopped afterwards.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
arch=win64
case "${1:-}" in --win32) arch=win32; shift ;; --win64) shift ;; esac
prefix=$1; shift
mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
[ $# -ge 1 ] || { echo "usage: wine-run.sh [--win32] PREFIX PROGRAM [ARGS...] | PREFIX --init" >&2; exit 2; }

if [ "$arch" = win32 ]; then
  WINE=${FPC_WINE32:-/usr/lib/wine/wine}
  [ -x "$WINE" ] || { echo "wine-run.sh: the 32-bit wine is not installed (run scripts/setup.sh)" >&2; exit 2; }
else
  WINE=${FPC_WINE:-/usr/lib/wine/wine64}
  [ -x "$WINE" ] || WINE=$(command -v wine64 || true)
  [ -n "$WINE" ] || { echo "wine-run.sh: wine64 not found (run scripts/setup.sh)" >&2; exit 2; }
fi

export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEARCH=$arch
# No Mono or Gecko: nothing here needs them and their installers would ask to download.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ -z "${DISPLAY:-}" ]; then
  # The display lives only as long as this run: let the wine server go with it.
  export FPC_WINE_STOP_SERVER=1
  exec "$here/with-display.sh" "$0" --"$arch" "$prefix" "$@"
fi

(
  flock 9
  if [ ! -f "$prefix/.fpc-ready-4" ]; then
    rm -rf "$prefix"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    "$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
    [ -f "$prefix/system.reg" ] || { echo "wine-run.sh: wineboot failed to create $prefix" >&2; exit 1; }
    # A crashing program ends at once with a non-zero exit: the debugger runs unattended,
    # writes the backtrace to the log and ends the process; no crash dialog waits for a click.
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'winedbg --auto %ld %ld' /f >/dev/null 2>&1 || true
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f >/dev/null 2>&1 || true
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
    # No sound device here: no audio driver, rather than one that reports its failure.
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d '' /f >/dev/null 2>&1 || true
    "$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
    touch "$prefix/.fpc-ready-4"
  fi
) 9>"$prefix.lock"

[ "$1" = "--init" ] && exit 0
# Wine's standard error is kept in a file and passed on when the program ends, so that a
# program that ended in an unhandled exception counts as failed even when its exit code (which
# Wine sometimes leaves at 0) says otherwise. (A file, not a pipe: the prefix's background
# processes started by this run inherit the descriptor and would hold a pipe open.)
set +e
errors=$(mktemp)
"$WINE" "$@" 2>"$errors"
rc=$?
cat "$errors" >&2
if [ "$rc" -eq 0 ] && grep -q '^wine: Unhandled' "$errors"; then
  echo "wine-run.sh: $1 crashed (unhandled exception) but exited with 0; reporting failure" >&2
  rc=1
fi
rm -f "$errors"
[ -n "${FPC_WINE_STOP_SERVER:-}" ] && "$(dirname "$WINE")/wineserver" -k 2>/dev/null
exit $rc
