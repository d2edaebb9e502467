#!/usr/bin/env bash
# Measures Dllscope's costs against the raw floor of the same Win32 and
# editor-component calls, under Wine, and prints the ratios (goal: at most
# 1.1), the peak working sets above the empty program's (goal: at most 6
# times the text's UTF-16 size) and the checker's figures. One run on this
# kind of machine is noise: every figure is measured BENCH_REPEAT times (5),
# and printed as the median with its spread, "median (lowest–highest)"; a
# ratio is taken within each repetition, then its median. About five minutes.
set -euo pipefail
source "$(dirname "$0")/common.sh"
cd "$ROOT"
need_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"
build_preset win64 >/dev/null
trap stop_display EXIT
ensure_display
ensure_wine_prefix
REPS="${BENCH_REPEAT:-5}"

bench="$ROOT/build/win64/bench"
bin="$ROOT/build/win64/bin"
run="$bench/run"
rm -rf "$run"
mkdir -p "$run/roundtrip" "$run/loadfile" "$run/startup" "$run/empty" "$run/recovery" "$run/follow"
cp "$bench/dllscope_bench.exe" "$bin/modbridge.dll" "$bin/dllscope-host.exe" "$bench/identity.dll" "$run/roundtrip/"
cp "$ROOT/build/win64/tests/fixtures/fixture_fault_reference/reference.dll" "$run/roundtrip/"
cp "$bench/dllscope_bench.exe" "$run/loadfile/"
awk 'BEGIN { l = "<p>Plugins für Tagsmith: <b>Grüße</b> &amp; Text.</p>"; for (n = 0; n < 10000000; n += length(l) + 1) print l }' > "$run/loadfile/bench.html"
cp "$bench/dllscope_bench.exe" "$bin/modbridge.dll" "$run/startup/"
for i in $(seq -w 1 5000); do : > "$run/startup/plugin$i.dll"; done
cp "$bench/dllscope_bench.exe" "$run/empty/"
cp "$bench/dllscope_bench.exe" "$run/recovery/"
cp "$bench/dllscope_bench.exe" "$bin/modbridge.dll" "$bin/entities.dll" "$bin/htmlcheck.dll" "$run/follow/"
# The checker's own folder: the build's program folder and two plugins with
# and without debug information, never copied into the build's.
mkdir -p "$run/checker"
cp "$bin"/*.exe "$bin"/*.dll "$run/checker/"
cp "$ROOT/build/win64/tests/fixtures/fixture_lines/lines.dll" \
    "$ROOT/build/win64/tests/fixtures/fixture_linesbare/linesbare.dll" \
    "$bench/entitieslines.dll" "$run/checker/"

# Runs a measurement REPS times, each printing one line of numbers, and
# prints each column as "median (lowest–highest)", the columns by tabs.
repeated() {
    local i
    for ((i = 0; i < REPS; i++)); do "$@"; done | awk '
        NF { rows++; for (i = 1; i <= NF; i++) v[i, rows] = $i; cols = NF }
        END {
            for (i = 1; i <= cols; i++) {
                for (r = 1; r <= rows; r++) a[r] = v[i, r] + 0
                for (r = 2; r <= rows; r++)
                    for (k = r; k > 1 && a[k - 1] > a[k]; k--) { t = a[k]; a[k] = a[k - 1]; a[k - 1] = t }
                m = rows % 2 ? a[(rows + 1) / 2] : (a[rows / 2] + a[rows / 2 + 1]) / 2
                printf "%s%.4g (%.4g–%.4g)", (i > 1 ? "\t" : ""), m, a[1], a[rows]
            }
            printf "\n"
        }'
}
say() {  # label, then the tab-separated cells of `repeated`, then their names
    local label="$1" cells="$2" out="" i=0
    shift 2
    IFS=$'\t' read -r -a values <<<"$cells"
    for name in "$@"; do
        out="$out${out:+, }$name ${values[$i]}"
        i=$((i + 1))
    done
    echo "$label: $out"
}
seconds_of() {  # command... -> its wall-clock seconds (its output dropped, its failure too)
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}
bench_in() {  # folder case side [size] -> "seconds control peak"
    local folder="$1"
    shift
    (cd "$run/$folder" && "$ROOT/scripts/wine-run.sh" ./dllscope_bench.exe "$@" | tr -d '\r' | cut -d' ' -f3-)
}
checker() { (cd "$run/checker" && "$ROOT/scripts/wine-run.sh" ./dllscope-check.exe "$@"); }

# The empty program: the base the peak working sets are taken above.
empty() { bench_in empty startup ours; }
cells=$(repeated empty)
say "empty program" "$cells" seconds "entries listed" "peak MB"
ep=$(cut -f3 <<<"$cells" | cut -d' ' -f1)

pair() {  # case text_MB -> ours floor ratio control peak_ours peak_floor x_text
    local os oc op fs fc fp
    read -r fs fc fp < <(bench_in "$1" "$1" floor)
    read -r os oc op < <(bench_in "$1" "$1" ours)
    awk -v os="$os" -v fs="$fs" -v fc="$fc" -v op="$op" -v fp="$fp" -v t="$2" -v ep="$ep" \
        'BEGIN { print os, fs, os / fs, fc, op, fp, (t > 0 ? (op - ep) / t : 0) }'
}
for c in roundtrip loadfile startup recovery; do
    case "$c" in
        roundtrip) text_mb=$(awk 'BEGIN{print 2*2000000/1048576}') ;;
        loadfile | recovery) text_mb=$(awk 'BEGIN{print 2*10000000/1048576}') ;;  # at most: ASCII-heavy
        *)         text_mb=0 ;;
    esac
    say "$c" "$(repeated pair "$c" "$text_mb")" "ours s" "floor s" ratio "control s" \
        "peak ours MB" "peak floor MB" "x_text"
done
result50() {
    local s p
    read -r s _ p < <(bench_in roundtrip roundtrip ours 50000000)
    awk -v s="$s" -v p="$p" -v ep="$ep" 'BEGIN { print s, p, (p - ep) / (2 * 50000000 / 1048576) }'
}
say result50 "$(repeated result50)" "ours s" "peak MB" "x_text"
echo "startup: the empty program is Form1 in a folder without DLLs: the window itself, which the floor does not build."
echo "control: the component's own share of the floor (startup: the entries listed)."
echo "recovery: the copy of a 10 MB editor text before a plugin call (read, UTF-8, write, flush) beside writing and flushing the same bytes."
echo "result50: a 50 MB result of a code-1 plugin through the bridge into the pane."
echo "x_text: our peak working set above the empty program's, as a multiple of the text's UTF-16 size (0: no text)."

# A plugin in its own process (dllscope-host.exe) beside the same in Dllscope's.
echo
sides() {  # case [size] -> in-process isolated ratio
    local a b
    read -r a _ _ < <(bench_in roundtrip "$1" ours ${2:+"$2"})
    read -r b _ _ < <(bench_in roundtrip "$1" isolated ${2:+"$2"})
    awk -v a="$a" -v b="$b" 'BEGIN { print a, b, b / a }'
}
say "selection cycle" "$(repeated sides selection)" "in process s" "isolated s" ratio
say "roundtrip 2 MB" "$(repeated sides roundtrip)" "in process s" "isolated s" ratio
say "result 50 MB" "$(repeated sides roundtrip 50000000)" "in process s" "isolated s" ratio
four_samples() {
    local a b
    a=$(seconds_of checker --json --in-process htmlcheck.dll entities.dll outline.dll tidyfile.dll)
    b=$(seconds_of checker --json htmlcheck.dll entities.dll outline.dll tidyfile.dll)
    awk -v a="$a" -v b="$b" 'BEGIN { print a, b, b / a }'
}
four_samples >/dev/null  # warms Wine up
say "checker, 4 samples" "$(repeated four_samples)" "in process s" "hosts s" ratio
host_start() { bench_in roundtrip hoststart isolated | cut -d' ' -f1-2; }
say "host start" "$(repeated host_start)" "to the first answer s" "a later answer alone s"
echo "selection cycle: one of 20 (load bridge and plugin, PluginBackvalue, PluginName, PluginDescription, two frees), the host already running."
echo "checker: wall-clock of dllscope-check over the four samples, Wine's start included, a host per plugin on the right."
echo "selecting another plugin with --isolated costs a host start and a selection cycle."

# --jobs: eight plugins (the four samples twice) with --stress, one after
# another and two at a time (goal on two cores: at most 0.6 of the serial
# time), Wine's start of the checker included in both. The floor: two
# checkers of four plugins each, one after another in each, started
# together: what the machine gives two checks at once without --jobs.
jobs_pair() {
    local a b c four=(htmlcheck.dll entities.dll outline.dll tidyfile.dll)
    a=$(seconds_of checker --json --stress --jobs 1 "${four[@]}" "${four[@]}")
    b=$(seconds_of checker --json --stress --jobs 2 "${four[@]}" "${four[@]}")
    c=$(seconds_of two_checkers --json --stress --jobs 1 "${four[@]}")
    awk -v a="$a" -v b="$b" -v c="$c" 'BEGIN { print a, b, b / a, c, b / c }'
}
two_checkers() { checker "$@" & checker "$@"; wait; }
say "jobs, eight plugins with --stress on $(nproc) cores (goal: ratio at most 0.6)" "$(repeated jobs_pair)" \
    "one after another s" "--jobs 2 s" ratio "floor: two checkers of four at once s" "--jobs 2 / floor"
follow() { bench_in follow follow ours | cut -d' ' -f1-2; }
say "follow (both wait for 400 ms of quiet in the folder)" "$(repeated follow)" \
    "a rebuilt selected plugin's copy to its new name s" "a DLL copied in to its entry s"
changes() { bench_in roundtrip changes ours | cut -d' ' -f1-2; }
say "changes, 2 MB page with 100 changed lines (goal: under 1 s)" "$(repeated changes)" \
    "\"Änderungen des letzten Laufs\" opens in s" "the diff alone s"
fuzz_rate() {  # options... plugin -> runs a second
    checker --json --fuzz 5 --seed 1 "$@" 2>/dev/null |
        python3 -c 'import json, sys
f = json.loads(sys.stdin.read())["plugins"][0]["fuzz"]
print("%.1f" % (f["runs"] / f["seconds"]))' || true
}
say fuzz "$(repeated fuzz_rate entities.dll)" "runs a second against entities.dll in its host (goal: 1000)"
say "fuzz led by the lines (--coverage), entities.dll built with -g" \
    "$(repeated fuzz_rate --coverage entitieslines.dll)" "runs a second"
shrink() { bench_in roundtrip shrink isolated | cut -d' ' -f1-2; }
say "shrink, a failing page of 64 KiB to its 9 bytes (goal: under 10 s)" "$(repeated shrink)" \
    seconds "runs of reference.dll in its host"

# Where a fault lies: the report of a fault with the plugin's lines, and the
# fuzzing's pace while its runs fault and their stacks are named.
lines_cost() {
    local p f
    p=$(seconds_of checker --json --in-process --text "a b" lines.dll)
    f=$(seconds_of checker --json --in-process --text "a<fault>b" lines.dll)
    awk -v p="$p" -v f="$f" 'BEGIN { print f - p }'
}
say "fault with lines (goal: under 0.5 s)" "$(repeated lines_cost)" \
    "the report of a fault three calls deep, each frame with file, line and function, over a passing run s"
cases="$run/faulting-cases"
mkdir -p "$cases"
printf '<p>a<fault>b</p>' > "$cases/fehler.html"
cases_w="$(winepath -w "$cases" 2>/dev/null || echo "$cases")"
say "fuzz of lines.dll from a faulting page (faults named with lines, read once)" \
    "$(repeated fuzz_rate --cases "$cases_w" lines.dll)" "runs a second"
say "fuzz of linesbare.dll from a faulting page (no debug information)" \
    "$(repeated fuzz_rate --cases "$cases_w" linesbare.dll)" "runs a second"
