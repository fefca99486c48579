#!/usr/bin/env bash
# Builds tandrel-cli when needed and runs the crash trials against it:
#   tools/crash_trials/run.sh [--seed N] [--trials N] [--big-mib N] [--keep] ...
# The trees go to /tmp (or --work DIR) and are removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=${TANDREL_CLI:-build/src/cli/tandrel-cli}
if [ -z "${TANDREL_CLI:-}" ]; then
  [ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DTANDREL_BENCH=OFF -DTANDREL_CORE_ONLY=ON >/dev/null
  cmake --build build --target tandrel-cli >/dev/null
fi
exec python3 -u tools/crash_trials/crash_trials.py --cli "$cli" "$@"
