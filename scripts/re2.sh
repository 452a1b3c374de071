#!/usr/bin/env bash
# Fetches RE2 from Debian's source package and builds it as a static library for 64-bit
# Windows with the project's toolchain, into BUILD/re2/ (BUILD: the given build folder):
#   BUILD/re2/install/{include,lib}   what the project links against
# Does nothing when that version is already built there. Needs the deb-src entry that
# scripts/deps.sh adds. The repository carries none of RE2's code.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}

version=20220601+dfsg-1
re2=$build/re2
stamp=$re2/install/built-from

[[ -f "$stamp" && "$(cat "$stamp")" == "re2 $version" ]] && exit 0

rm -rf "$re2"
mkdir -p "$re2/fetch"
echo "Fetching RE2 $version from Debian's source package"
if ! (cd "$re2/fetch" && apt-get source -qq "re2=$version" >/dev/null 2>"$re2/fetch.log"); then
  cat "$re2/fetch.log" >&2
  echo "RE2 $version cannot be fetched: is the deb-src entry of scripts/deps.sh there, and apt-get update done?" >&2
  exit 1
fi
source=$re2/fetch/re2-${version%-*}
fetched=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
if [[ "$fetched" != "$version" ]]; then
  echo "Debian's re2 source package came back as $fetched, not $version: the build is pinned to $version." >&2
  exit 1
fi

# Debian's tarball leaves out the generated tables; the package's own patch makes the
# generators read the unicode-data package.
make -s -C "$source" REBUILD_TABLES=1 re2/perl_groups.cc re2/unicode_casefold.cc re2/unicode_groups.cc

echo "Building RE2 $version"
cmake -S "$source" -B "$re2/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DRE2_BUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX="$re2/install" >"$re2/configure.log"
cmake --build "$re2/build" --target install -- -j"$(nproc)" >"$re2/build.log"
cp "$source/LICENSE" "$re2/install/LICENSE"
echo "re2 $version" >"$stamp"
