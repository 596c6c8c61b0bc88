#!/usr/bin/env bash
# Runs a UEFI shell application in a virtual PC (qemu, software emulation, OVMF firmware) and prints
# what the application wrote on the console, as the serial port carried it.
#   scripts/qemu-efi.sh IMAGE.efi [ARGUMENTS...]
# Each run of the application is framed by "==MOX== run <arguments>" and "==MOX== status <the
# shell's lasterror>"; the machine powers off afterwards. MOX_QEMU_RUNS may hold several argument
# lines (one run per line) instead of the arguments. Exits 3 when the firmware did not finish within
# MOX_QEMU_SECONDS (default 150).
set -euo pipefail
image="$1"
shift
code=/usr/share/OVMF/OVMF_CODE_4M.fd
vars=/usr/share/OVMF/OVMF_VARS_4M.fd
for needed in qemu-system-x86_64 mformat mcopy; do
  command -v "$needed" >/dev/null || { echo "$needed is missing (install qemu-system-x86 and mtools)" >&2; exit 2; }
done
[ -r "$code" ] && [ -r "$vars" ] || { echo "OVMF is missing (install ovmf)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
runs="${MOX_QEMU_RUNS:-$*}"
name="$(basename "$image")"
{
  printf '@echo -off\r\n'
  while IFS= read -r args; do
    printf 'echo "==MOX== run %s"\r\n' "$args"
    printf 'fs0:\\%s %s\r\n' "$name" "$args"
    printf 'echo "==MOX== status %%lasterror%%"\r\n'
  done <<<"$runs"
  printf 'reset -s\r\n'
} >"$work/startup.nsh"
mformat -i "$work/fat.img" -C -T 8192 -h 2 -s 32 ::
mcopy -i "$work/fat.img" "$image" "$work/startup.nsh" ::/
cp "$vars" "$work/vars.fd"

status=0
timeout "${MOX_QEMU_SECONDS:-150}" qemu-system-x86_64 -machine q35 -accel tcg -m 256 -display none \
  -no-reboot -net none -monitor none -serial "file:$work/serial.txt" \
  -drive "if=pflash,format=raw,readonly=on,file=$code" -drive "if=pflash,format=raw,file=$work/vars.fd" \
  -drive "format=raw,file=$work/fat.img" </dev/null >"$work/qemu.txt" 2>&1 || status=$?
# The console's terminal controls and line ends are not part of the text.
tr -d '\r' <"$work/serial.txt" | sed 's/\x1b\[[0-9;?=]*[A-Za-z]//g'
if [ "$status" -eq 124 ]; then
  echo "The virtual PC did not power off within ${MOX_QEMU_SECONDS:-150} seconds." >&2
  exit 3
fi
[ "$status" -eq 0 ] || { cat "$work/qemu.txt" >&2; exit "$status"; }
