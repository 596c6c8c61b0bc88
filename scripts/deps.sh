#!/usr/bin/env bash
# Installs the build's Debian packages when any is missing.
set -euo pipefail
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
updated=0
install() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ "$updated" -eq 0 ]; then
    $sudo_cmd apt-get update
    updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
}

# g++-multilib builds the 32-bit configuration (the IA32 PEI module and its tests).
install cmake g++ g++-multilib make libgtest-dev libboost-program-options-dev nlohmann-json3-dev
# MoxZrcInfo.efi for real firmware (clang, lld-link), and the virtual PC its test runs it on.
install clang lld qemu-system-x86 ovmf mtools

# A kernel without IA32 emulation cannot start 32-bit programs: the 32-bit tests then run under
# qemu-user's emulation.
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
echo 'int main(void) { return 0; }' >"$probe/probe.c"
if gcc -m32 "$probe/probe.c" -o "$probe/probe" && ! "$probe/probe" 2>/dev/null; then
  install qemu-user
fi
