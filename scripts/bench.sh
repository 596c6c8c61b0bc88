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
# Runs a command $runs times; prints the median wall time and the median processor time (user +
# system, from the shell's accounting of the finished child) in ms. On a shared, busy machine the
# wall time also holds the time spent waiting for a processor; the processor time is the run's work.
timed() {
  local walls=() cpus=()
  for _ in $(seq "$runs"); do
    local run
    # Inside the subshell only the command is timed: the pipeline that reads the figures is not.
    run="$( (
      start=$EPOCHREALTIME
      "$@" >/dev/null 2>&1 || true
      end=$EPOCHREALTIME
      echo "$start $end"
      times
    ) | awk 'NR == 1 {wall = ($2 - $1) * 1000000}
             NR == 3 {split($1, u, /[ms]/); split($2, s, /[ms]/)
                      cpu = (u[1] * 60 + u[2] + s[1] * 60 + s[2]) * 1000000}
             END {printf "%d %d", wall, cpu}')"
    walls+=("${run% *}")
    cpus+=("${run#* }")
  done
  printf '%s\n' "${walls[@]}" | median | awk '{printf "%.1f ", $1 / 1000}'
  printf '%s\n' "${cpus[@]}" | median | awk '{printf "%.1f", $1 / 1000}'
}

declare -A ms cpums requests
for m in default large half; do
  case $m in
    default) export MOX_SIM_MACHINE= ;;
    large) export MOX_SIM_MACHINE="$root/sim/machines/large.json" ;;
    half) export MOX_SIM_MACHINE="$work/half.json" ;;
  esac
  export MOX_SIM_STATE="$work/state-$m"
  "$helper" load # fills the state directory once, so every timed run reads the same state
  read -r bare bareCpu <<<"$(timed "$helper" load)"
  read -r wall cpu <<<"$(timed "$moxcli" -I)"
  ms[$m]="$wall"
  cpums[$m]="$cpu"
  out="$("$helper" requests)"
  requests[$m]="$(sed -n 's/.*requests=\([0-9]*\).*/\1/p' <<<"$out")"
  ratio="$(awk -v a="$wall" -v b="$bare" 'BEGIN {printf "%.2f", a / b}')"
  cpuRatio="$(awk -v a="$cpu" -v b="$bareCpu" 'BEGIN {printf "%.2f", a / b}')"
  target=''
  if [ "$m" = large ]; then target='   target <= 3x'; fi
  echo "== $m machine ($(sed -n 's/.*exit=\([0-9]*\).*/exit code \1/p' <<<"$out"))"
  printf '  moxcli -I, median of %d runs      %10s ms   (processor %s ms)\n' "$runs" "$wall" "$cpu"
  printf '  bare load of the same state        %10s ms   (processor %s ms)\n' "$bare" "$bareCpu"
  printf '  moxcli -I / bare load              %10sx%s   (processor %sx)\n' "$ratio" "$target" "$cpuRatio"
  printf '  driver requests of one run         %10s\n' "${requests[$m]}"
done
echo "== growth with the disks (16x4 -> 16x8 disks)"
awk -v a="${ms[large]}" -v b="${ms[half]}" -v c="${cpums[large]}" -v d="${cpums[half]}" \
  'BEGIN {printf "  time      %6.2fx   target <= 2.2x   (processor %.2fx)\n", a / b, c / d}'
awk -v a="${requests[large]}" -v b="${requests[half]}" 'BEGIN {printf "  requests  %6.2fx   target <= 2.2x\n", a / b}'
