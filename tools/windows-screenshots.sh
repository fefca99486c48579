#!/usr/bin/env bash
# Pictures of the Windows build's windows, taken under Wine with the windows
# platform on a virtual display (Xvfb, openbox managing the windows), after a
# real comparison of two small trees made under C:\Users\ada and C:\Backup of
# a Wine prefix of the pictures' own. Wine's own fonts (Debian's fonts-wine:
# Tahoma, and Marlett for the frames' buttons) are put in its Fonts folder,
# where a Windows system has its fonts; without them Wine draws with any
# face the host has. The pictures go to build-windows/screenshots; with
# --docs the main window's picture becomes docs/main-window-windows.png.
# Needs the windows-cross build configured with the Qt for Windows.
#
# --installer SETUP.exe instead steps through the installer's pages as a user
# would (Enter on each: Next, I Agree, Install, Finish), at 100 % and at
# 200 % (the display's 192 dots per inch, as Windows' scaling sets them), in
# Wine prefixes of their own, and saves a picture of the screen at each page
# in build-windows/screenshots/installer-{100,200}-N.png.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-windows/screenshots
if [[ "${1:-}" == --installer ]]; then
  setup=$(realpath "${2:?the installer}")
  mkdir -p "$out"
  export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
  work=$(mktemp -d)
  display=:$((100 + RANDOM % 400))
  Xvfb "$display" -screen 0 1600x1200x24 -nolisten tcp &
  xvfb=$!
  trap 'WINEPREFIX="$work/p100" wineserver -k 2>/dev/null || true; WINEPREFIX="$work/p200" wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
  export DISPLAY=$display
  sleep 1
  for scale in 100 200; do
    export WINEPREFIX="$work/p$scale"
    wineboot -i >/dev/null 2>&1
    if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
      cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $((96 * scale / 100)) /f >/dev/null
    wineserver -w
    wine "$setup" &
    setup_pid=$!
    for page in 1 2 3 4 5 6 7 8 9 10 11 12; do
      sleep 6
      xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out/installer-$scale-$page.png"
      kill -0 $setup_pid 2>/dev/null || break
      xdotool key Return
    done
    wineserver -k 2>/dev/null || true
    wait $setup_pid 2>/dev/null || true
  done
  ls "$out"/installer-*.png
  exit 0
fi
cmake --build build-windows --target window_screenshots
export WINEDEBUG=-all WINEPREFIX="$PWD/build-windows/wineprefix-pictures"
[[ -f "$WINEPREFIX/system.reg" ]] || wineboot -i
if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
  cp -u /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
display=:$((100 + RANDOM % 400))
Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp &
xvfb=$!
openbox=
trap 'kill $openbox $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
openbox >/dev/null 2>&1 &
openbox=$!
rm -rf "$out"
mkdir -p "$out"
wine build-windows/tools/screenshots/window_screenshots.exe "$(winepath -w "$out")" --root C:/ -platform windows
wineserver -w
if [[ "${1:-}" == --docs ]]; then
  cp "$out/main-window.png" docs/main-window-windows.png
fi
