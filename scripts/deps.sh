#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  googletest
  wine wine64 xvfb xauth
  fonts-wine fonts-liberation python3-fonttools locales-all
  ghostscript libgs10-common poppler-utils
  x11-apps imagemagick
  x11vnc iproute2
  rsyslog bsdutils
  dpkg-dev make unicode-data python3
)

sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)

# RE2 is built from Debian's source package (scripts/re2.sh), which apt-get source fetches
# through a deb-src entry of its own, beside the machine's deb entry for bookworm main.
source_list=/etc/apt/sources.list.d/vellumtrace-re2-src.sources
if [[ ! -f "$source_list" ]]; then
  "$(dirname "$0")/deb-src-entry.sh" | "${sudo_cmd[@]}" tee "$source_list" >/dev/null
  fresh_sources=1
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 && -z "${fresh_sources:-}" ]] && exit 0

"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
[[ ${#missing[@]} -eq 0 ]] && exit 0
echo "Installing: ${missing[*]}"
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
