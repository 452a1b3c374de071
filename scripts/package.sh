#!/usr/bin/env bash
# Builds the release (a Release build for 64-bit Windows) and writes
#   BUILD/dist/Vellumtrace64-<version>-win64.zip   the terminal, vtsend, the sender's C header and
#                                                   static library with an example, README.txt
#   BUILD/dist/Vellumtrace64-<version>-win64.zip.sha256
# The version is the one project() sets in CMakeLists.txt. ./scripts/test.sh checks the zip.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VT_BUILD_DIR:-$root/build}

"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$build"
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt"; then
  echo "$build is not a Release build; package from a fresh build folder (VT_BUILD_DIR)." >&2
  exit 1
fi
cmake --build "$build" --target vt_dist >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/dist/Vellumtrace64-$version-win64.zip"
echo "Package: $zip"
echo "SHA-256: $(cut -d' ' -f1 "$zip.sha256") ($zip.sha256)"
