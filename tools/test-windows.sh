#!/usr/bin/env bash
# Cross-builds the core, its tests and tandrel-cli.exe for Windows with
# MinGW-w64 (the windows-cross preset) and runs the tests under Wine,
# headless, in a Wine prefix of its own below the build folder; then a
# one-way sync by tandrel-cli.exe on real trees. Where the Qt for Windows
# (../shared/qt6-mingw) is there, tandrel.exe and the window tests are built
# as well; ctest runs those tests and the program is started, and the
# installer is made, installed, run and uninstalled under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
  echo "Skipping the Windows build: MinGW-w64 (x86_64-w64-mingw32-g++-posix) or Wine is missing."
  exit 0
fi
cmake --preset windows-cross
cmake --build --preset windows-cross
export WINEDEBUG=-all
export WINEPREFIX="$PWD/build-windows/wineprefix"
# Wine's Recycle Bin is the desktop's trash: the tests' deletions go to a
# trash of their own.
export XDG_DATA_HOME="$PWD/build-windows/xdg-data"
mkdir -p "$XDG_DATA_HOME"
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  wineboot -i
fi
status=0
ctest --preset windows-cross || status=$?
tools/windows-cli-sync-check.sh build-windows/src/cli/tandrel-cli.exe || status=$?
if [[ -f build-windows/src/gui/tandrel.exe ]]; then
  tools/windows-gui-start-check.sh build-windows/src/gui/tandrel.exe || status=$?
  # The installer and the relink archive beside it; the installer is tried
  # in a Wine prefix of its own, the archive by linking from it once.
  if tools/windows-package.sh build-windows; then
    source build-windows/installer/build.env
    tools/windows-install-check.sh "build-windows/tandrel-$version-win64-setup.exe" || status=$?
    tools/windows-relink-check.sh "build-windows/tandrel-$version-win64-relink.zip" "$qt" || status=$?
  else
    status=1
  fi
else
  echo "No Qt for Windows (see the configure output): tandrel.exe and its window tests were not built nor run under Wine."
fi
# Wine's server outlives the programs by a few seconds; wait for it to go.
wineserver -w || true
exit "$status"
