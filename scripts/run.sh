#!/usr/bin/env bash
# Builds Dllscope (64-bit) with its companions and opens it under Wine from
# build/win64/bin, with the demo automation class registered. Without a display it runs on a virtual one, saves a
# screenshot as build/dllscope.png and ends by itself.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"

need_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" imagemagick

build_preset win64
bin="$ROOT/build/win64/bin"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    headless=1
    unset DISPLAY
fi
trap stop_display EXIT
ensure_display
ensure_wine_prefix

cd "$bin"
# The demo automation class of "ActiveX-DLL", registered for this prefix.
"$ROOT/scripts/wine-run.sh" regsvr32 /s actxdemo.dll
if [ "$headless" -eq 0 ]; then
    echo "== Dllscope runs on $DISPLAY; close it or press Beenden to end."
    exec "$ROOT/scripts/wine-run.sh" ./Dllscope.exe
fi

"$ROOT/scripts/wine-run.sh" ./Dllscope.exe &
app=$!
sleep 6
import -window root "$ROOT/build/dllscope.png"
kill "$app" 2>/dev/null || true
/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "== no display here: Dllscope ran on a virtual display; screenshot: $ROOT/build/dllscope.png"
