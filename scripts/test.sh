#!/usr/bin/env bash
# Configures, builds and runs every test with AddressSanitizer and UndefinedBehaviorSanitizer: first
# the 32-bit configuration (the IA32 PEI module and its tests), then the main one. Fails when either
# does.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
jobs="$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

build32="$root/build/test32"
status32=0
if cmake -S "$root" -B "$build32" --toolchain "$root/cmake/Ia32Toolchain.cmake" -DCMAKE_BUILD_TYPE=Debug \
    -DMOX_SANITIZE=ON && cmake --build "$build32" -j "$jobs"; then
  (cd "$build32" && ctest --output-on-failure -j "$jobs" --timeout 300) || status32=$?
else
  status32=1
fi

build="$root/build/test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMOX_SANITIZE=ON
cmake --build "$build" -j "$jobs"
cd "$build"
status=0
ctest --output-on-failure -j "$jobs" --timeout 300 || status=$?
if [ "$status32" -ne 0 ]; then
  echo "The 32-bit configuration failed (build/test32, above)." >&2
  exit 1
fi
exit "$status"
