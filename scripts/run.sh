#!/usr/bin/env bash
# Builds the terminal and starts it under Wine. Without a display it runs inside Xvfb, whose
# screen is served over VNC to this machine only (scripts/vnc-session.sh prints how to connect).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VT_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build"
session=("$root/scripts/wine-session.sh" "$build" /usr/lib/wine/wine64 "$build/bin/Vellumtrace64.exe")
if [[ -n "${DISPLAY:-}" ]]; then
  "${session[@]}"
else
  cat <<TEXT
No display: the terminal runs on a virtual display (Xvfb), served over VNC to this machine.
Send it a first line from another shell once it runs:
  WINEPREFIX=$build/wineprefix WINEDEBUG=-all /usr/lib/wine/wine64 $build/bin/vtsend.exe "Hello from vtsend"
TEXT
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$root/scripts/vnc-session.sh" "${session[@]}"
fi
