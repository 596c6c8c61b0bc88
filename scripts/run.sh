#!/usr/bin/env bash
# Builds a release moxcli when needed and runs it on the simulated machine with the given arguments.
# The machine's state lives in the user's own state directory and survives between runs (a change one
# command makes is seen by the next). MOX_SIM_RESET=1 deletes that directory first, so the run starts
# again from the machine description (MOX_SIM_MACHINE, default: the embedded default machine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" >&2
build="$root/build/run"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target moxcli >/dev/null
if [ "${MOX_SIM_RESET:-}" = 1 ]; then
  # The same default the simulator uses: the description file's stem, or "default".
  stem=default
  if [ -n "${MOX_SIM_MACHINE:-}" ]; then stem="$(basename "${MOX_SIM_MACHINE%.*}")"; fi
  state="${MOX_SIM_STATE:-${XDG_STATE_HOME:-$HOME/.local/state}/moxsim/$stem}"
  # Only a simulator's state directory (or an empty one) is deleted, whatever MOX_SIM_STATE names.
  if [ -d "$state" ] && [ -n "$(ls -A -- "$state")" ] && [ ! -e "$state/machine.json" ]; then
    echo "run.sh: $state holds no machine state (machine.json); not deleting it" >&2
    exit 1
  fi
  rm -rf -- "$state"
fi
exec "$build/cli/moxcli" "$@"
