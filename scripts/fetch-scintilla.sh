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
if ! grep -rqs '^Types: deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "== adding Debian's source packages to apt (deb-src)"
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$(. /etc/os-release && echo "$VERSION_CODENAME")" | $sudo tee /etc/apt/sources.list.d/dllscope-src.sources >/dev/null
    $sudo apt-get update -qq
fi
mkdir -p "$dest"
(cd "$dest" && apt-get source -qq scite=5.3.3-1 2>/dev/null || (cd "$dest" && apt-get source -qq scite))
[ -f "$dest/scite-5.3.3/scintilla/src/Editor.cxx" ] || { echo "scite 5.3.3 was not found in Debian's source packages" >&2; exit 1; }
