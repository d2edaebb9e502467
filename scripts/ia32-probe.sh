#!/usr/bin/env bash
# Exits 0 when this machine's kernel executes IA-32 code, else 1 with the
# reason on stdout. Runs a 96-byte 32-bit ELF program that only calls exit(42):
# whether a 32-bit Wine can run here is not a guess from the kernel version.
# The probe lies in the build folder: /tmp may be mounted noexec.
dir="$(cd "$(dirname "$0")/.." && pwd)/build"
mkdir -p "$dir"
probe="$(mktemp "$dir/ia32-probe.XXXXXX")"
trap 'rm -f "$probe"' EXIT
# ELF header, one program header (load at 0x08048000), then
#   mov eax,1 / mov ebx,42 / int 0x80
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' >>"$probe"
printf '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' >>"$probe"
printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >>"$probe"
chmod +x "$probe"
out="$("$probe" 2>&1)"
rc=$?
if [ "$rc" -eq 42 ]; then exit 0; fi
case "$out" in
    *"format error"*) echo "the kernel refuses IA-32 programs (Exec format error)" ;;
    *) echo "a 32-bit probe program did not run (exit code $rc${out:+: $out})" ;;
esac
exit 1
