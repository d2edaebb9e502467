#!/usr/bin/env bash
# Fetches the editor component's source from Debian's source package "scite"
# (Scintilla with its Win32 layer, and Lexilla) into build/third_party, once.
# It is never committed; its licence notice ships with the program.
set -euo pipefail
source "$(dirname "$0")/common.sh"
dest="$ROOT/build/third_party"
[ -f "$dest/scite-5.3.3/scintilla/src/Editor.cxx" ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
need_packages dpkg-dev
# Source entries for the running release, derived from the binary entries
# apt already has (its mirror or proxy included): one-line "deb" lines and
# deb822 stanzas of type deb whose suites name this release.
derive_source_entries() {
    local release="$1" file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk -v r="$release" '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i == r) { $1 = "deb-src"; print; next } }' "$file"
    done >"$2.list.new"
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v r="$release" '
            function flush() {
                if (deb && ours) { print "Types: deb-src"; print "Suites: " r; printf "%s", rest; print "" }
                deb = ours = 0; rest = ""
            }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1; next }
            /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == r) ours = 1; next }
            /^Enabled:[ \t]*no/ { deb = 0; next }
            { rest = rest $0 "\n" }
            END { flush() }' "$file"
    done >"$2.sources.new"
}

if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "== adding Debian's source packages to apt (deb-src, from the deb entries it has)"
    release="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    work="$(mktemp -d)"
    derive_source_entries "$release" "$work/dllscope-src"
    [ -s "$work/dllscope-src.list.new" ] && $sudo cp "$work/dllscope-src.list.new" /etc/apt/sources.list.d/dllscope-src.list
    [ -s "$work/dllscope-src.sources.new" ] && $sudo cp "$work/dllscope-src.sources.new" /etc/apt/sources.list.d/dllscope-src.sources
    rm -rf "$work"
    $sudo apt-get update -qq
fi
mkdir -p "$dest"
(cd "$dest" && apt-get source -qq scite=5.3.3-1 2>/dev/null || (cd "$dest" && apt-get source -qq scite))
[ -f "$dest/scite-5.3.3/scintilla/src/Editor.cxx" ] || { echo "scite 5.3.3 was not found in Debian's source packages" >&2; exit 1; }
