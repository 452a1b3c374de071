#!/usr/bin/env bash
# Builds everything and runs every test under Wine and Xvfb. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VT_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build"
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$root/scripts/wine-session.sh" "$build" \
  ctest --test-dir "$build" --output-on-failure --timeout 180 "$@"
