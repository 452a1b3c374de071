#!/usr/bin/env bash
# Builds the terminal and starts it under Wine (inside Xvfb when there is no display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VT_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build"
session=("$root/scripts/wine-session.sh" "$build" /usr/lib/wine/wine64 "$build/bin/Vellumtrace64.exe")
if [[ -n "${DISPLAY:-}" ]]; then
  "${session[@]}"
else
  echo "No display: the terminal runs inside Xvfb."
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "${session[@]}"
fi
