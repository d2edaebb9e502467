# Shared by the project's scripts: Debian packages, a display, the Wine prefix.
# Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-dllscope}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine names Unix files in the locale's character set: without UTF-8 (no
# LANG at all, or C) a folder such as "Ωmega" cannot be made.
if [ "$(locale charmap 2>/dev/null)" != "UTF-8" ]; then export LC_ALL=C.UTF-8; fi

# Installs the Debian packages of the arguments that are not installed yet.
need_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

BUILD_PACKAGES=(cmake make g++ g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
                binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 googletest libgtest-dev libgmock-dev
                python3 python3-jsonschema clang-format fp-compiler fp-units-rtl fpc-source
                clang lld unzip)
# Wine for 64-bit programs; 32-bit Wine comes in by ensure_wine32 where the
# machine can run it.
RUN_PACKAGES=(wine wine64 xvfb xauth x11-utils)

# Uses $DISPLAY when there is one; otherwise starts a virtual display and
# sets VIRTUAL_DISPLAY_PID.
ensure_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
    local n=97
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VIRTUAL_DISPLAY_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "the virtual display did not start" >&2
    return 1
}

stop_display() {
    if [ -n "${VIRTUAL_DISPLAY_PID:-}" ]; then kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true; fi
}

# Creates the Wine prefix on first use (about ten seconds).
ensure_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "== creating the Wine prefix $WINEPREFIX"
        WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
        /usr/lib/wine/wineserver -w
    fi
}

# Sets WIN32_RUNS to 1 when this machine executes IA-32 code, and then
# installs 32-bit Wine (wine32:i386) if it lacks it; else WIN32_RUNS=0 and
# WIN32_WHY says why the 32-bit build cannot run here.
ensure_wine32() {
    WIN32_RUNS=0
    if ! WIN32_WHY="$(bash "$ROOT/scripts/ia32-probe.sh")"; then return 0; fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo dpkg --add-architecture i386
    fi
    need_packages wine32:i386
    if WIN32_WHY="$("$ROOT/scripts/wine32-run.sh" --probe)"; then WIN32_RUNS=1; fi
}

# Creates the 32-bit Wine prefix (WINEPREFIX32) on first use.
ensure_wine_prefix32() {
    local prefix="${WINEPREFIX32:-$HOME/.wine-dllscope32}"
    if [ ! -f "$prefix/system.reg" ]; then
        echo "== creating the 32-bit Wine prefix $prefix"
        WINEPREFIX="$prefix" WINEARCH=win32 WINELOADER=/usr/lib/wine/wine /usr/lib/wine/wine wineboot -i >/dev/null 2>&1
        WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
    fi
}

build_preset() {
    [ "$1" = host ] || bash "$ROOT/scripts/fetch-scintilla.sh"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}
