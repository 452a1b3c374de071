#!/usr/bin/env bash
# Runs a command inside a warm Wine session of the given build folder:
#   wine-session.sh BUILD_DIR COMMAND [ARGS...]
# A persistent wineserver and one long-lived Wine GUI process make each Wine start fast.
# They are started here, with their output away from the command's pipes, because Wine's
# background processes would otherwise inherit them and keep a caller such as ctest waiting.
set -uo pipefail
build=$(cd "$1" && pwd)
shift
source "$(dirname "$0")/wine-env.sh"

prepare_wine_prefix
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
"$WINE" wineboot </dev/null >/dev/null 2>&1
keeper="$build/bin/vt_winekeeper.exe"
if [[ -f "$keeper" ]]; then
  "$WINE" "$keeper" </dev/null >/dev/null 2>&1 &
  timeout 40 "$WINE" "$keeper" --wait </dev/null >/dev/null 2>&1 || true
fi

"$@"
status=$?

/usr/lib/wine/wineserver -k >/dev/null 2>&1
wait 2>/dev/null
exit $status
