#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# into build/fuzz and runs each for a bounded time. Not part of CI. A finding stops its target and
# leaves the crashing input beside the corpus; make it a regression test in the suite.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Environment: MOX_FUZZ_CORPUS (default ~/.cache/moxfuzz; one folder per target, outside the tree),
# MOX_JOBS (build jobs, default 3), MOX_FUZZ_PARALLEL=1 runs the targets at once (at low priority).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends clang libclang-rt-dev
fi
seconds="${1:-60}"
shift || true
all=(DriverAnswers SessionBuild MachineLoad ExportedCalls MftRunList)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
build="$root/build/fuzz"
corpus_root="${MOX_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/moxfuzz}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DMOX_SANITIZE=ON \
  -DMOX_BUILD_TESTS=OFF -DMOX_BUILD_FUZZ=ON -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -O1 -g" \
  "${launcher[@]}" >/dev/null
cmake --build "$build" -j "${MOX_JOBS:-3}" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
# Fault rules and state directories of the runs stay in a scratch folder of their own.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch" XDG_STATE_HOME="$scratch/state"

run() {
  local target="$1" corpus="$corpus_root/$1"
  mkdir -p "$corpus" "$corpus_root/findings"
  # The descriptions and states of the shipped machines start the loader's corpus.
  if [ "$target" = MachineLoad ] && [ -z "$(ls -A "$corpus")" ]; then
    for m in "$root"/sim/machines/*.json; do
      { printf '\x00'; cat "$m"; } >"$corpus/$(basename "$m" .json)-description"
      { printf '\x01'; cat "$m"; } >"$corpus/$(basename "$m" .json)-state"
    done
  fi
  local status=0
  nice -n 19 "$build/fuzz/fuzz_$target" "$corpus" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=3072 \
    -max_len=200000 -artifact_prefix="$corpus_root/findings/$target-" -print_final_stats=1 \
    >"$corpus_root/$target.log" 2>&1 || status=$?
  echo "$target: $(grep -E '^stat::number_of_executed_units' "$corpus_root/$target.log" | awk '{print $2}') executions, exit $status"
  return $status
}

failed=0
if [ "${MOX_FUZZ_PARALLEL:-0}" = 1 ]; then
  pids=()
  for t in "${targets[@]}"; do run "$t" & pids+=($!); done
  for p in "${pids[@]}"; do wait "$p" || failed=1; done
else
  for t in "${targets[@]}"; do run "$t" || failed=1; done
fi
[ "$failed" -eq 0 ] || echo "findings (and logs) in $corpus_root" >&2
exit "$failed"
