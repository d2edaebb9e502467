#!/bin/sh
# Free Pascal für Windows-Plugins auf Debian (amd64). Debians fpc übersetzt
# nur für Linux; dieses Skript baut aus Debians eigenen Paketen (als root:
# apt-get install fp-compiler fp-units-rtl fpc-source) den Cross-Compiler
# ppcross386 für i386-win32 und die RTL für i386-win32 und x86_64-win64 in
# ORDNER (Vorgabe: ./fpc-windows), mit einer fpc.cfg dazu. Etwa 20 Sekunden.
# Danach baut die Zeile aus LIESMICH:
#   export PATH="$PWD/fpc-windows/bin:$PATH" PPC_CONFIG_PATH="$PWD/fpc-windows"
#   fpc -Twin32 -Pi386 -Mdelphi -O2 meinplugin.lpr      (32 Bit, für Tagsmith)
#   fpc -Twin64 -Px86_64 -Mdelphi -O2 meinplugin.lpr    (64 Bit)
set -eu
out="${1:-fpc-windows}"
mkdir -p "$out"
out=$(cd "$out" && pwd)
version=$(fpc -iV)
src=/usr/share/fpcsrc/$version
msg=$(dirname "$(readlink -f "$(command -v ppcx64)")")/msg/errore.msg
for need in "$src/compiler/pp.pas" "$src/rtl/win32/system.pp" "$msg"; do
    if [ ! -e "$need" ]; then
        echo "Es fehlt $need: apt-get install fp-compiler fp-units-rtl fpc-source" >&2
        exit 1
    fi
done
work="$out/quellen"
rm -rf "$work"
mkdir -p "$work/ppu" "$out/bin"
cp -r "$src/compiler" "$src/rtl" "$work/"

# Der Compiler. Debians Quellen fehlen die Texte der Meldungen: msg2inc
# macht sie aus der Meldungsdatei des installierten Compilers.
cd "$work/compiler"
ppcx64 -FE. utils/msg2inc.pp >/dev/null
./msg2inc "$msg" msg msg >/dev/null
ppcx64 -di386 -Sg -O2 -Fui386 -Fusystems -Fux86 -Fii386 -Fix86 -Fuutils -FU"$work/ppu" \
    -FE"$out/bin" -oppcross386 pp.pas >/dev/null

# Die RTL eines Ziels mit ihrem Compiler: System, ObjPas und alles, was
# buildrtl.pp aufführt (Windows, SysUtils, Classes, Math, ...).
rtl() {  # Compiler, Ziel (win32/win64), CPU, CPU-Ordner der RTL
    units="$out/units/$3-$2/rtl"
    mkdir -p "$units"
    cd "$work/rtl/$2"
    flags="-T$2 -P$3 -n -Sg -FU$units -Fu$units -Fi../inc -Fi../$4 -Fi../win -Fi../win/wininc
           -Fi../objpas -Fi../objpas/sysutils -Fi../objpas/classes -Fu../$4 -Fu../win/wininc
           -Fu../win -Fu../inc -Fu../objpas -Fu../x86"
    # shellcheck disable=SC2086 # the flags are words
    "$1" $flags -Us system.pp >/dev/null
    # shellcheck disable=SC2086
    "$1" $flags ../objpas/objpas.pp >/dev/null
    # shellcheck disable=SC2086
    "$1" $flags buildrtl.pp >/dev/null
}
rtl "$out/bin/ppcross386" win32 i386 i386
rtl ppcx64 win64 x86_64 x86_64

printf '%s\n' "# Free Pascal für Windows, von fpc-windows.sh" \
    "-Fu$out/units/\$fpctarget/rtl" >"$out/fpc.cfg"
rm -rf "$work"
echo "Free Pascal $version für i386-win32 und x86_64-win64 in $out"
