#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine64 in a private prefix.
#   wine-run.sh PREFIX PROGRAM [ARGS...]   run PROGRAM (CTest uses this as the emulator)
#   wine-run.sh PREFIX --init               only create the prefix
# The prefix is created once with 'wineboot -i' and reused. When no DISPLAY is set, an Xvfb
# of our own is started on a free display for the run and stopped afterwards.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$1; shift
mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
[ $# -ge 1 ] || { echo "usage: wine-run.sh PREFIX PROGRAM [ARGS...] | PREFIX --init" >&2; exit 2; }

WINE=${FPC_WINE:-/usr/lib/wine/wine64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || true)
[ -n "$WINE" ] || { echo "wine-run.sh: wine64 not found (run scripts/setup.sh)" >&2; exit 2; }

export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEARCH=win64
# No Mono or Gecko: nothing here needs them and their installers would ask to download.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ -z "${DISPLAY:-}" ]; then
  # The display lives only as long as this run: let the wine server go with it.
  export FPC_WINE_STOP_SERVER=1
  exec "$here/with-display.sh" "$0" "$prefix" "$@"
fi

(
  flock 9
  if [ ! -f "$prefix/.fpc-ready-3" ]; then
    rm -rf "$prefix"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    "$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
    [ -f "$prefix/system.reg" ] || { echo "wine-run.sh: wineboot failed to create $prefix" >&2; exit 1; }
    # A crashing test program ends; no debugger is started to wait on a console nobody reads.
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f >/dev/null 2>&1 || true
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 0 /f >/dev/null 2>&1 || true
    # No sound device here: no audio driver, rather than one that reports its failure.
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d '' /f >/dev/null 2>&1 || true
    "$(dirname "$WINE")/wineserver" -w 2>/dev/null || true
    touch "$prefix/.fpc-ready-3"
  fi
) 9>"$prefix.lock"

[ "$1" = "--init" ] && exit 0
if [ -z "${FPC_WINE_STOP_SERVER:-}" ]; then
  exec "$WINE" "$@"
fi
set +e
"$WINE" "$@"
rc=$?
"$(dirname "$WINE")/wineserver" -k 2>/dev/null
exit $rc
