#!/usr/bin/env bash
# Runs every test layer from a fresh clone: host unit tests (with sanitizers),
# the Windows tests and the end-to-end tests under Wine, and the inspection
# of both Windows builds. Installs the Debian packages it lacks.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"
start=$(date +%s)

need_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"

echo "== host: portable core"
build_preset host
ctest --preset host

echo "== win32: the build that ships (built and inspected, cannot run here)"
build_preset win32
ctest --preset win32

echo "== win64: Windows tests and end to end, under Wine"
build_preset win64
trap stop_display EXIT
ensure_display
ensure_wine_prefix
ctest --preset win64

echo "== all layers passed in $(( $(date +%s) - start )) s"
