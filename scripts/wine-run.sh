#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine with the project's prefix.
# Always the 64-bit loader: /usr/bin/wine would pick wine32 where it is installed.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-dllscope}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINELOADER=/usr/lib/wine/wine64
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec /usr/lib/wine/wine64 "$@"
