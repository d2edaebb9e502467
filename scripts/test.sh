#!/usr/bin/env bash
# Runs every test layer from a fresh clone: host unit tests (with sanitizers),
# the Windows tests and the end-to-end tests under Wine on both Windows builds
# (the 32-bit one where the machine executes IA-32 code), and the inspection
# of both Windows builds. Installs the Debian packages it lacks.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"
start=$(date +%s)
logs="$ROOT/build/test-logs"

need_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
ensure_wine32
mkdir -p "$logs"
summary=()

# Runs one layer (a CTest label) of a preset, keeps its whole output in
# build/test-logs and adds "layer: N CTest entries, M tests" to the summary.
run_layer() {
    local preset="$1" layer="$2" log="$logs/$1-$2.log"
    echo "-- $preset: $layer"
    if ! ctest --preset "$preset" -L "^$layer\$" -V >"$log" 2>&1; then
        grep -E '^[0-9]+: |tests passed|Failed|\*\*\*' "$log" | tail -150
        echo "== $preset $layer FAILED; the whole output: $log"
        exit 1
    fi
    local entries tests
    entries=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
    # GoogleTest's "[  PASSED  ] N tests." and Python's "Ran N tests" (the checker's CLI test).
    tests=$( (sed -n 's/.*\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log"
              sed -n 's/^[0-9]*: Ran \([0-9]*\) tests\{0,1\} in .*/\1/p' "$log") | awk '{s+=$1} END {print s+0}')
    [ "$layer" = host ] && tests=$entries
    [ "$layer" = inspect ] && tests=$entries
    summary+=("$preset $layer: $tests passed ($entries CTest entries)")
    echo "   $tests passed"
}

# The release archive holds what ships, and (where this build runs) the
# checker of an extracted copy checks a sample plugin.
check_archive() {  # preset, runner or "" where the build cannot run here
    local preset="$1" runner="$2" zip out
    cmake --build --preset "$preset" --target package >/dev/null
    zip=$(ls "$ROOT/build/$preset"/Dllscope-*-"$preset".zip)
    out="$ROOT/build/$preset/archive-check"
    rm -rf "$out"
    python3 - "$zip" "$out" "$ROOT/build/$preset/shipped-files.txt" <<'PY'
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
names = {n.split("/", 1)[1] for n in archive.namelist() if "/" in n}
needed = set(open(sys.argv[3], encoding="utf-8").read().split())
missing = needed - names
if missing:
    sys.exit("the archive lacks " + ", ".join(sorted(missing)))
archive.extractall(sys.argv[2])
PY
    local said="holds what ships"
    # The samples build from the archive's own files, as an author builds them.
    local bits=32
    [ "$preset" = win64 ] && bits=64
    make -s -C "$out"/Dllscope-*/samples BITS=$bits -j2 >/dev/null
    # The Pascal sample with the line LIESMICH prints, by Free Pascal for
    # Windows that the archive's fpc-windows.sh builds from Debian's packages
    # (once, kept under build/).
    local fpc_windows="$ROOT/build/fpc-windows" target="-Twin32 -Pi386"
    [ "$bits" = 64 ] && target="-Twin64 -Px86_64"
    [ -f "$fpc_windows/fpc.cfg" ] || sh "$out"/Dllscope-*/samples/fpc-windows.sh "$fpc_windows" >/dev/null
    (cd "$out"/Dllscope-*/samples &&
        PATH="$fpc_windows/bin:$PATH" PPC_CONFIG_PATH="$fpc_windows" \
            fpc $target -Mdelphi -O2 meinplugin.lpr >/dev/null &&
        mv meinplugin.dll build$bits/)
    said="$said; its samples build from it (C, C++ and Pascal)"
    if [ -n "$runner" ]; then
        # The extracted checker on the samples and their cases.
        (cd "$out"/Dllscope-* &&
            "$runner" dllscope-check.exe --expect-type 1 --cases cases/entities --stress \
                --junit bericht-entities.xml entities.dll >/dev/null &&
            "$runner" dllscope-check.exe --cases cases/outline outline.dll >/dev/null &&
            "$runner" dllscope-check.exe --cases cases/tidyfile tidyfile.dll >/dev/null &&
            python3 -c 'import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])' bericht-entities.xml &&
            "$runner" dllscope-check.exe samples/build$bits/typ0.dll samples/build$bits/typ1.dll \
                samples/build$bits/typ2.dll samples/build$bits/typ3.dll \
                samples/build$bits/htmlcheck.dll >/dev/null &&
            "$runner" dllscope-check.exe --stress --repeat 50 samples/build$bits/meinplugin.dll \
                >/dev/null &&
            for sample in entities outline tidyfile; do
                "$runner" dllscope-check.exe --cases cases/$sample samples/build$bits/$sample.dll \
                    >/dev/null || exit 1
            done)
        said="$said; its checker passes the samples' cases, --stress on entities.dll, the samples built from it, --stress --repeat 50 on the Pascal one"
        # LIESMICH's CI jobs as printed, on the build whose archive they take
        # (the 64-bit one where 32-bit Wine does not run here).
        if [ "$preset" = win32 ] || [ "$WIN32_RUNS" -eq 0 ]; then
            bash "$ROOT/scripts/check-ci-recipe.sh" "$zip" "$out"/Dllscope-*/LIESMICH.txt "$runner" \
                "$bits" "$ROOT/build/$preset/ci-recipe"
            said="$said; LIESMICH's GitHub Linux jobs as printed pass a sound plugin and fuzz out a planted fault"
        fi
    fi
    echo "   $(basename "$zip") ($(du -k "$zip" | cut -f1) KB) $said"
    summary+=("$preset archive: $(basename "$zip") $said")
}

echo "== format: the sources as .clang-format lays them out"
find src -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run --Werror
summary+=("format: $(find src -name '*.cpp' -o -name '*.h' | wc -l) source files as .clang-format lays them out")

echo "== sizes: no source over 320 lines, no function over 60"
python3 scripts/check-sizes.py src
summary+=("sizes: $(find src -name '*.cpp' -o -name '*.h' | wc -l) source files within 320 lines, their functions within 60")

echo "== host: portable core"
build_preset host
run_layer host host

echo "== win64: Windows tests and end to end, under Wine"
bash "$ROOT/scripts/fetch-sarif-schema.sh"
build_preset win64
trap stop_display EXIT
ensure_display
ensure_wine_prefix
for layer in inspect windows e2e; do run_layer win64 "$layer"; done
check_archive win64 "$ROOT/scripts/wine-run.sh"

build_preset win32
if [ "$WIN32_RUNS" -eq 1 ]; then
    echo "== win32: the build that ships: Windows tests and end to end, under 32-bit Wine"
    ensure_wine_prefix32
    for layer in inspect windows e2e; do run_layer win32 "$layer"; done
    check_archive win32 "$ROOT/scripts/wine32-run.sh"
else
    echo "== win32: the build that ships was built and inspected only: $WIN32_WHY"
    run_layer win32 inspect
    check_archive win32 ""
    summary+=("win32 windows, e2e: not run ($WIN32_WHY)")
fi

echo "== summary"
total=0
for line in "${summary[@]}"; do
    echo "   $line"
    n=$(sed -n 's/^[^:]*: \([0-9]*\) passed.*/\1/p' <<<"$line")
    total=$((total + ${n:-0}))
done
echo "== all layers passed in $(( $(date +%s) - start )) s"
echo "$total passed, 0 failed"
