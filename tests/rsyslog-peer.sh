#!/bin/sh
# Runs rsyslogd in the foreground as an unprivileged user with the given configuration until
# the file DIR/stop appears (at most 120 s), then stops it and leaves DIR/stopped:
#   rsyslog-peer.sh DIR CONF
# The tests under Wine start it (a Linux process cannot be waited for from there).
dir=$1
conf=$2
chmod 777 "$dir"
if [ "$(id -u)" -eq 0 ]; then
  setpriv --reuid=nobody --regid=nogroup --clear-groups rsyslogd -n -iNONE -f "$conf" >"$dir/rsyslogd.out" 2>&1 &
else
  rsyslogd -n -iNONE -f "$conf" >"$dir/rsyslogd.out" 2>&1 &
fi
pid=$!
turns=0
while [ ! -e "$dir/stop" ] && [ $turns -lt 1200 ] && kill -0 "$pid" 2>/dev/null; do
  sleep 0.1
  turns=$((turns + 1))
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
touch "$dir/stopped"
