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
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-windows/screenshots
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
