#!/usr/bin/env bash
# Cost of `moxcli -I`, measured on a release build: on the default PC, on sim/machines/large.json (16
# controllers, 128 disks) and on the same machine with half the disks. For each: the median wall time
# of repeated runs, the driver requests one run sends (from the simulator's call log), and the ratio
# to a bare process that only loads the same machine state. Figures are printed beside their targets.
# Usage: scripts/bench.sh [runs] [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-11}"
build="${2:-$root/build/bench}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j4 --target moxcli bench_cli >/dev/null
moxcli="$build/cli/moxcli"
helper="$build/bench/bench_cli"
# State directories in memory when possible: the figures are the program's work, not the disk's.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 "$root/scripts/make-large-machine.py" --disks 4 >"$work/half.json"

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# Median wall time in ms of a command run $runs times.
timed() {
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
  done | median | awk '{printf "%.1f", $1 / 1000}'
}

declare -A ms requests
for m in default large half; do
  case $m in
    default) export MOX_SIM_MACHINE= ;;
    large) export MOX_SIM_MACHINE="$root/sim/machines/large.json" ;;
    half) export MOX_SIM_MACHINE="$work/half.json" ;;
  esac
  export MOX_SIM_STATE="$work/state-$m"
  "$helper" load # fills the state directory once, so every timed run reads the same state
  bare="$(timed "$helper" load)"
  ms[$m]="$(timed "$moxcli" -I)"
  out="$("$helper" requests)"
  requests[$m]="$(sed -n 's/.*requests=\([0-9]*\).*/\1/p' <<<"$out")"
  ratio="$(awk -v a="${ms[$m]}" -v b="$bare" 'BEGIN {printf "%.2f", a / b}')"
  target=''
  if [ "$m" = large ]; then target='   target <= 3x'; fi
  echo "== $m machine ($(sed -n 's/.*exit=\([0-9]*\).*/exit code \1/p' <<<"$out"))"
  printf '  moxcli -I, median of %d runs      %10s ms\n' "$runs" "${ms[$m]}"
  printf '  bare load of the same state        %10s ms\n' "$bare"
  printf '  moxcli -I / bare load              %10sx%s\n' "$ratio" "$target"
  printf '  driver requests of one run         %10s\n' "${requests[$m]}"
done
echo "== growth with the disks (16x4 -> 16x8 disks)"
awk -v a="${ms[large]}" -v b="${ms[half]}" 'BEGIN {printf "  time      %6.2fx   target <= 2.2x\n", a / b}'
awk -v a="${requests[large]}" -v b="${requests[half]}" 'BEGIN {printf "  requests  %6.2fx   target <= 2.2x\n", a / b}'
