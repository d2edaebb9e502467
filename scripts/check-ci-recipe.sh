#!/usr/bin/env bash
# Runs the commands of LIESMICH's GitHub Linux jobs as printed, on a
# repository like an author's (tests/archive: meinplugin.c and its cases
# beside the release archive): once as it stands, where the job must pass and
# publish its JUnit report, and once with the bound the fuzzing should find
# taken out, where the job must fail and leave the smallest page it found.
# Each job starts from a fresh checkout; the plugin goes from "bauen" to
# "pruefen" as GitHub's artifact would.
#   check-ci-recipe.sh ARCHIVE.zip LIESMICH.txt RUNNER 32|64 WORK
set -euo pipefail
zip="$(realpath "$1")" liesmich="$(realpath "$2")" runner="$3" bits="$4" work="$(realpath -m "$5")"
here="$(cd "$(dirname "$0")/.." && pwd)"
job() { python3 "$here/scripts/liesmich-job.py" "$liesmich" "$1" --bits "$bits"; }

checkout() {  # a fresh clone of the author's repository
    rm -rf "$1"
    mkdir -p "$1/tests"
    cp "$zip" "$here/tests/archive/meinplugin.c" "$1/"
    cp -r "$here/tests/archive/faelle" "$1/tests/"
}

run_jobs() {  # NAME: builds in one checkout, checks in another; the check's exit code in $code
    local built="$work/$1-bauen" checked="$work/$1-pruefen"
    checkout "$built"
    [ "$1" = fehler ] && sed -i '/kein Zeichen \*\//d' "$built/meinplugin.c"
    (cd "$built" && bash -e <(job Bauen)) >"$work/$1-bauen.log" 2>&1 ||
        { cat "$work/$1-bauen.log"; echo "the job \"bauen\" failed"; exit 1; }
    checkout "$checked"
    [ "$1" = fehler ] && cp "$built/meinplugin.c" "$checked/"
    mkdir -p "$checked/build"
    cp "$built/build/meinplugin.dll" "$checked/build/"
    code=0
    (cd "$checked" && GITHUB_WORKSPACE="$checked" bash -e -c \
        "wine() { \"$runner\" \"\$@\"; }; $(job Prüfen)") >"$work/$1-pruefen.log" 2>&1 || code=$?
}

rm -rf "$work"
mkdir -p "$work"
# The bound the planted fault takes out is one line.
[ "$(grep -c 'kein Zeichen \*/' "$here/tests/archive/meinplugin.c")" = 1 ]

run_jobs gut
if [ "$code" != 0 ] || ! grep -q '^Ergebnis: 1 von 1 bestanden' "$work/gut-pruefen.log"; then
    cat "$work/gut-pruefen.log"
    echo "the printed job failed a sound plugin (exit code $code)"
    exit 1
fi
python3 -c 'import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])' "$work/gut-pruefen/bericht.xml"
[ ! -d "$work/gut-pruefen/gescheitert" ] || [ -z "$(ls -A "$work/gut-pruefen/gescheitert")" ]

run_jobs fehler
found=$(ls "$work/fehler-pruefen/gescheitert" 2>/dev/null || true)
if [ "$code" != 1 ] || ! grep -q 'Fuzz: Zugriffsverletzung in meinplugin.c:' "$work/fehler-pruefen.log" ||
    [ "$found" != meinplugin.dll-fuzz-1.html ] ||
    ! grep -q '<failure' "$work/fehler-pruefen/bericht.xml"; then
    cat "$work/fehler-pruefen.log"
    echo "the printed job did not fail the plugin with the planted fault as it should (exit code $code, saved: $found)"
    exit 1
fi
echo "the printed job passes the sound plugin and its fuzzing fails the planted fault: $(grep -o 'Kleinste Seite[^:]*: .*' "$work/fehler-pruefen.log")"
