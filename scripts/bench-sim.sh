#!/usr/bin/env bash
# Costs of the simulated machine, measured on a release build: on the default machine and on
# generated machines of 16 controllers with 8 and with 32 disks each. Prints each figure beside its
# target. Usage: scripts/bench-sim.sh [build-dir]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/bench}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j4 --target bench_sim >/dev/null
bench="$build/bench/bench_sim"
export MOX_SIM_STATE= MOX_SIM_MACHINE=
# The state directories go to memory when it can: the figures are the simulator's work, not the
# disk's (a file system that flushes on rename makes a state write cost what the disk is busy with).
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
echo "state directories under ${TMPDIR:-/tmp}"

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A group
for m in default 16x8 16x32; do
  out="$("$bench" "$m" requests)"
  controllers="$(field controllers "$out")"
  records="$(field records "$("$bench" "$m" build)")"
  builds="$(for i in 1 2 3 4 5; do field build_ms "$("$bench" "$m" build)"; done | median)"
  group[$m]="$(field group_us "$out")"
  echo "== machine $m ($controllers RAID controllers)"
  printf '  storage request on a disk handle (median)   %10.2f us\n' "$(field storage_us "$out")"
  printf '  RAID group read through a record (median)   %10.2f us   target <= 20 us\n' "${group[$m]}"
  printf '  controller table build (median of 5)        %10.3f ms   target <= %d ms (%d records, 1 ms each)\n' \
    "$builds" "$records" "$records"
  printf '  topology read of every controller           %10.3f ms\n' "$(field topology_ms "$out")"
  if [ "$m" = 16x8 ]; then target='target <= 0.5 ms'; else target=''; fi
  printf '  one state write (median)                    %10.3f ms   %s\n' "$(field write_ms "$out")" "$target"
  printf '  resident memory after 1k / 100k requests    %7s KiB / %s KiB   target: flat\n' \
    "$(field rss_before_kb "$out")" "$(field rss_after_kb "$out")"
done
ratio="$(awk -v a="${group[16x32]}" -v b="${group[default]}" 'BEGIN {printf "%.2f", a / b}')"
echo "== RAID group read, largest / smallest machine: ${ratio}x   target <= 1.3x"
