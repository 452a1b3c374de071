#!/usr/bin/env bash
# Runs a command on the current X display (a virtual one nobody sees) and, while it runs,
# serves that display over VNC to this machine only (127.0.0.1), printing how to connect.
# The command finds the port in VT_VNC_PORT.
#   vnc-session.sh COMMAND [ARGS...]
set -uo pipefail
work=$(mktemp -d)
vnc=

# x11vnc does not always end on SIGTERM while a viewer goes away: it gets two seconds.
stop_vnc() {
  [[ -n "$vnc" ]] && kill "$vnc" 2>/dev/null || return 0
  for _ in $(seq 20); do
    kill -0 "$vnc" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$vnc" 2>/dev/null
  wait "$vnc" 2>/dev/null
}
trap 'stop_vnc; rm -rf "$work"' EXIT

# -localhost and -noipv6: reachable from this machine only; -shared -forever: any number of
# viewers, one after another or at once; the first free port from 5900 on.
x11vnc -display "$DISPLAY" -localhost -noipv6 -nopw -shared -forever -quiet -autoport 5900 \
  -o "$work/x11vnc.log" >"$work/x11vnc.out" 2>&1 </dev/null &
vnc=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^PORT=\([0-9]*\)$/\1/p' "$work/x11vnc.out")
  [[ -n "$port" ]] && break
  kill -0 "$vnc" 2>/dev/null || break
  sleep 0.1
done
if [[ -z "$port" ]]; then
  echo "The VNC server did not start:" >&2
  cat "$work/x11vnc.out" "$work/x11vnc.log" >&2 2>/dev/null
  exit 1
fi

cat <<TEXT
The screen is served over VNC on this machine only: 127.0.0.1, port $port (display :$((port - 5900))).
  Connect with a VNC viewer here:      vncviewer 127.0.0.1::$port
  From another machine, tunnel first:  ssh -L $port:127.0.0.1:$port USER@THIS-HOST
                                       then connect the viewer there to localhost::$port
TEXT

VT_VNC_PORT=$port "$@"
