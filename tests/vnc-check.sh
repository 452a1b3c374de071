#!/usr/bin/env bash
# scripts/vnc-session.sh on the suite's virtual display: it announces a port, a viewer's first
# handshake is answered there, the server listens on 127.0.0.1 only, and the command's exit
# status comes back.
#   vnc-check.sh PATH/TO/vnc-session.sh
set -uo pipefail
session=$1
output=$("$session" bash -c '
  exec 3<>"/dev/tcp/127.0.0.1/$VT_VNC_PORT" || exit 1
  read -r -t 10 -n 12 greeting <&3
  echo "greeting=$greeting"
  echo "listening=$(ss -ltnH "sport = :$VT_VNC_PORT" | awk "{ print \$4 }" | sort -u | tr "\n" " ")"
  echo "port=$VT_VNC_PORT"
  exit 7')
status=$?
echo "$output"
port=$(sed -n 's/^port=//p' <<<"$output")
failed=0
check() { # DESCRIPTION CONDITION...
  local what=$1
  shift
  if ! "$@"; then
    echo "FAILED: $what"
    failed=1
  fi
}
check "the command's exit status comes back" test "$status" -eq 7
check "a port is given to the command" test -n "$port"
check "the port is announced" grep -q "127.0.0.1, port $port " <<<"$output"
check "the server answers as VNC" grep -qx 'greeting=RFB 003.00[0-9]' <<<"$output"
check "it listens on 127.0.0.1 only" grep -qx "listening=127.0.0.1:$port " <<<"$output"
exit $failed
