#!/usr/bin/env bash
# Builds moxcli (when needed) and runs it on the simulated machine with the given arguments.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" >&2
build="$root/build/run"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target moxcli >/dev/null
exec "$build/cli/moxcli" "$@"
