#!/usr/bin/env bash
# Builds the whole suite with ThreadSanitizer into build/tsan and runs it (not part of CI: run it
# after changing anything that threads share). Any report fails the run.
# Usage: scripts/tsan.sh [ctest arguments, e.g. -R Dictionary]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
build="$root/build/tsan"
jobs="${MOX_JOBS:-4}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
flags="-fsanitize=thread -fno-omit-frame-pointer -O1 -g"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMOX_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" "${launcher[@]}"
cmake --build "$build" -j "$jobs"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 600 "$@"
