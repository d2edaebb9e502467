#!/usr/bin/env bash
# Runs a 32-bit Windows program under the 32-bit Wine loader, in a prefix of
# its own created by that loader (so that it has 32-bit support).
# `wine32-run.sh --probe` exits 0 when this machine can run the 32-bit build,
# else 1 with the reason on stdout.
here="$(dirname "$0")"
if [ "${1:-}" = "--probe" ]; then
    why="$(bash "$here/ia32-probe.sh")" || { echo "$why"; exit 1; }
    [ -x /usr/lib/wine/wine ] || { echo "no 32-bit Wine (wine32:i386) is installed"; exit 1; }
    exit 0
fi
export WINEPREFIX="${WINEPREFIX32:-$HOME/.wine-dllscope32}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINELOADER=/usr/lib/wine/wine
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine "$@"
