#!/usr/bin/env bash
# Measures Dllscope's costs against the raw floor of the same Win32 calls,
# under Wine, and prints the ratios (goal: at most 1.1) and the peak working
# sets (goal: at most 6 times the text's UTF-16 size). Takes the better part
# of an hour: Wine's RichEdit needs about 2 s per MB to take a text, and
# replacing a large text costs it time that grows faster than the square of
# the text's size (2 MB: 8 to 11 minutes), for Dllscope and the floor alike.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"
need_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
build_preset win64 >/dev/null
trap stop_display EXIT
ensure_display
ensure_wine_prefix

bench="$ROOT/build/win64/bench"
bin="$ROOT/build/win64/bin"
run="$bench/run"
rm -rf "$run"
mkdir -p "$run/roundtrip" "$run/loadfile" "$run/startup" "$run/empty" "$run/recovery"
cp "$bench/dllscope_bench.exe" "$bin/modbridge.dll" "$bench/identity.dll" "$run/roundtrip/"
cp "$bench/dllscope_bench.exe" "$run/loadfile/"
awk 'BEGIN { l = "<p>Plugins für Tagsmith: <b>Grüße</b> &amp; Text.</p>"; for (n = 0; n < 10000000; n += length(l) + 1) print l }' > "$run/loadfile/bench.html"
cp "$bench/dllscope_bench.exe" "$bin/modbridge.dll" "$run/startup/"
for i in $(seq -w 1 5000); do : > "$run/startup/plugin$i.dll"; done
cp "$bench/dllscope_bench.exe" "$run/empty/"
cp "$bench/dllscope_bench.exe" "$run/recovery/"

measure() {  # case side -> "seconds control peak"
    (cd "$run/$1" && "$ROOT/scripts/wine-run.sh" ./dllscope_bench.exe "$1" "$2" | tr -d '\r' | cut -d' ' -f3-)
}

printf '%-10s %10s %10s %7s %12s %12s %9s %9s\n' case ours_s floor_s ratio control_s "peak_ours" "peak_floor" "x_text"
for c in roundtrip loadfile startup recovery; do
    read -r fs fc fp < <(measure "$c" floor)
    read -r os oc op < <(measure "$c" ours)
    case "$c" in
        roundtrip) text_mb=$(awk 'BEGIN{print 2*2000000/1048576}') ;;
        loadfile | recovery) text_mb=$(awk 'BEGIN{print 2*10000000/1048576}') ;;  # at most: ASCII-heavy
        *)         text_mb=0 ;;
    esac
    awk -v c="$c" -v os="$os" -v fs="$fs" -v fc="$fc" -v op="$op" -v fp="$fp" -v t="$text_mb" 'BEGIN {
        x = (t > 0) ? sprintf("%.2f", op / t) : "-";
        printf "%-10s %10.2f %10.2f %7.3f %12.2f %10.1fMB %10.1fMB %9s\n", c, os, fs, os / fs, fc, op, fp, x }'
done
read -r es _ _ < <(cd "$run/empty" && "$ROOT/scripts/wine-run.sh" ./dllscope_bench.exe startup ours | tr -d '\r' | cut -d' ' -f3-)
echo "startup: Form1 in a folder without DLLs takes ${es} s: the window itself, which the floor does not build."
echo "control_s: the control's own share of the floor (startup: the entries listed)."
echo "recovery: the copy of a 10 MB editor text before a plugin call (read, UTF-8, write, flush) beside writing and flushing the same bytes."
echo "x_text: our peak working set as a multiple of the text's UTF-16 size."
