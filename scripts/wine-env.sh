# Sourced: the Wine environment of one build folder ($build must be set).
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINE=/usr/lib/wine/wine64

# A prefix of our own, prepared once: fonts, no crash dialog, a virtual desktop.
prepare_wine_prefix() {
  [[ -f "$WINEPREFIX/.vellumtrace-ready" ]] && return 0
  rm -rf "$WINEPREFIX"
  "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f </dev/null >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/.vellumtrace-ready"
}
