#!/usr/bin/env bash
# Builds everything and runs the benchmark under Wine and Xvfb; prints one table and writes
# the figures to BUILD/bench/results.json. Extra arguments go to vt_bench, for example
#   ./scripts/bench.sh --count 4000 --steady-count 3000 --latency-count 1000 --response-count 6000 \
#     --throughput-count 6000 --json 'C:\results.json'
# Never run it while the test suite of the same build folder runs: both use the fixed names.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VT_BUILD_DIR:-$root/build}
limit=${VT_BENCH_TIMEOUT:-600} # seconds; the run is bounded even when something hangs

"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build"
# The slow disk of the log's responsiveness run: a FIFO that vt_bench reads slowly.
mkdir -p "$build/bench"
[[ -p "$build/bench/slow-log.fifo" ]] || mkfifo "$build/bench/slow-log.fifo"
timeout --kill-after=10 "$limit" xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$root/scripts/wine-session.sh" "$build" /usr/lib/wine/wine64 "$build/bin/vt_bench.exe" "$@"
