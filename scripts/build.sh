#!/usr/bin/env bash
# Configures and builds everything (cross build for 64-bit Windows) into the given folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

# RE2 first: the configuration finds it in the build folder.
"$root/scripts/re2.sh" "$build"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -- -j"$(nproc)" | grep -v '^\[' || true
test "${PIPESTATUS[0]}" -eq 0
