# Sourced: the Wine environment of one build folder ($build must be set).
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINE=/usr/lib/wine/wine64

# The marker names the version of the preparation below: a prefix prepared by an older
# version is prepared anew. Raise it whenever the preparation changes.
prefix_version=3
prefix_marker="$WINEPREFIX/.vellumtrace-ready-v$prefix_version"

# A prefix of our own, prepared once: fonts, no crash dialog, a virtual desktop.
prepare_wine_prefix() {
  [[ -f "$prefix_marker" ]] && return 0
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f </dev/null >/dev/null 2>&1
  # The window's design fonts, drawn as on Windows: Courier New by Liberation Mono made as tall
  # as Courier New (see make-list-font.py), MS Sans Serif by Liberation Sans.
  /usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/make-list-font.py" "$WINEPREFIX/drive_c/windows/Fonts"
  "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Courier New' /d 'Vellumtrace Mono' /f </dev/null >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Sans Serif' /d 'Liberation Sans' /f </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$prefix_marker"
}
