#!/usr/bin/env bash
# Runs a test exe under Wine: run-under-wine.sh EXE [ARGS...]
# Once in a long while Wine ends a process with a failure before the exe has printed a
# single character (seen once in several hundred CI runs of the suite, never reproduced).
# Such a start is tried once more, and the output says so. Every test exe prints before it
# runs a test, so a test that ran, passed or failed, is never run again.
set -uo pipefail
output=$(mktemp)
trap 'rm -f "$output"' EXIT

for attempt in 1 2; do
  /usr/lib/wine/wine64 "$@" 2>&1 | tee "$output"
  status=${PIPESTATUS[0]}
  if [[ $status -eq 0 || -s $output ]]; then
    exit "$status"
  fi
  echo "run-under-wine.sh: Wine ended with status $status before $1 printed anything (start $attempt of 2)"
done
exit "$status"
