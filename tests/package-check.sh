#!/usr/bin/env bash
# The release zip as a user gets it: its checksum and contents, unpacked into an empty folder,
# the example sender built there with the one command of build-example.cmd, and then, under
# Wine, the terminal started from that folder and reached by vtsend and by the example.
#   package-check.sh ZIP C-COMPILER WINE PACKAGE-TEST-EXE
set -euo pipefail
zip=$1 cc=$2 wine=$3 checker=$4
dist=$(dirname "$zip")
name=$(basename "$zip" .zip)

(cd "$dist" && sha256sum --check --quiet "$name.zip.sha256")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
folder=$work/$name
expected='README.txt
THIRD-PARTY-NOTICES.txt
Vellumtrace64.exe
sdk/VtSender.h
sdk/build-example.cmd
sdk/example.c
sdk/libvt_sender.a
vtsend.exe'
actual=$(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
if [[ "$actual" != "$expected" ]]; then
  printf 'The zip holds:\n%s\nexpected:\n%s\n' "$actual" "$expected"
  exit 1
fi

# The one command, as a Windows user runs it; gcc there is MinGW-w64's, here the cross compiler.
command=$(tr -d '\r' <"$folder/sdk/build-example.cmd")
if [[ "$command" != "gcc "* ]]; then
  echo "build-example.cmd does not hold one gcc command: $command"
  exit 1
fi
# RE2's licence goes with the terminal that contains it.
if ! grep -q 'Redistributions of source code must retain' "$folder/THIRD-PARTY-NOTICES.txt"; then
  echo "THIRD-PARTY-NOTICES.txt does not hold RE2's licence"
  exit 1
fi
read -r -a arguments <<<"${command#gcc }"
(cd "$folder/sdk" && "$cc" "${arguments[@]}")

VT_PACKAGE_DIR="Z:${folder//\//\\}" "$wine" "$checker"
echo "The zip's programs work from $folder"
