#!/usr/bin/env bash
# Builds Dllscope (64-bit) with its companions and opens it under Wine from
# build/win64/bin, with the demo automation class registered. Without a display it runs on a virtual one, saves a
# screenshot as build/dllscope.png and ends by itself.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

preset="${1:-win64}"
case "$preset" in
    win64) runner="$ROOT/scripts/wine-run.sh" prefix="$WINEPREFIX" ;;
    win32) runner="$ROOT/scripts/wine32-run.sh" prefix="${WINEPREFIX32:-$HOME/.wine-dllscope32}" ;;
    *) echo "usage: run.sh [win64|win32]" >&2; exit 2 ;;
esac

need_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" imagemagick fonts-liberation
if [ "$preset" = win32 ]; then
    ensure_wine32
    if [ "$WIN32_RUNS" -ne 1 ]; then
        build_preset win32
        echo "== the 32-bit build is in build/win32/bin, but this machine cannot run it: $WIN32_WHY" >&2
        exit 1
    fi
fi

build_preset "$preset"
bin="$ROOT/build/$preset/bin"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    headless=1
    unset DISPLAY
fi
trap stop_display EXIT
ensure_display
if [ "$preset" = win32 ]; then ensure_wine_prefix32; else ensure_wine_prefix; fi

cd "$bin"
# Wine has no Courier New: the metric-compatible Liberation Mono takes its
# place, so that the editor pane is monospaced.
WINEPREFIX="$prefix" "$runner" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' \
    /d 'Liberation Mono' /f >/dev/null 2>&1 || true
# The demo automation class of "ActiveX-DLL", registered for this prefix.
"$runner" regsvr32 /s actxdemo.dll
if [ "$headless" -eq 0 ]; then
    echo "== Dllscope runs on $DISPLAY; close it or press Beenden to end."
    exec "$runner" ./Dllscope.exe
fi

"$runner" ./Dllscope.exe &
app=$!
sleep 6
import -window root "$ROOT/build/dllscope.png"
kill "$app" 2>/dev/null || true
WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
echo "== no display here: Dllscope ran on a virtual display; screenshot: $ROOT/build/dllscope.png"
