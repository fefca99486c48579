#!/usr/bin/env bash
# Sizes of the Windows build, and the time from starting the window program
# to its main window on the screen, under Wine (the windows platform) against
# the Linux build (xcb), on the same private X server, as medians of RUNS runs
# and their ratio.
#
#   bench/windows_start_time.sh LINUX-TANDREL [WINDOWS-BUILD]
#
# LINUX-TANDREL is a built Linux tandrel, WINDOWS-BUILD the windows-cross
# build folder (default build-windows) with tandrel.exe and, when made, the
# installer (tools/windows-package.sh). Each program is copied with its skin
# and help pages into a folder of its own, so that its settings land there.
# The main window counts as shown when a visible window titled "Tandrel" is
# on the X server (xdotool, polled every 20 ms). Wine's server is kept
# running between the runs, as Windows' own services are; one unmeasured run
# of each comes first. Environment: RUNS (5).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath "$1")
build=$(realpath "${2:-build-windows}")
runs=${RUNS:-5}
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
export XDG_DATA_HOME="${XDG_DATA_HOME:-$build/xdg-data}"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [[ -z "$xvfb_pid" ]] || kill "$xvfb_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

size() { stat -c %s "$1"; }
echo "tandrel.exe (as built, with debugging symbols): $(size "$build/src/gui/tandrel.exe") bytes"
x86_64-w64-mingw32-strip -o "$work/stripped.exe" "$build/src/gui/tandrel.exe"
echo "tandrel.exe (stripped, as installed): $(size "$work/stripped.exe") bytes"
echo "tandrel-cli.exe (as built): $(size "$build/src/cli/tandrel-cli.exe") bytes"
for f in "$build"/tandrel-*-win64-setup.exe "$build"/tandrel-*-win64-relink.zip; do
  [[ -f "$f" ]] && echo "$(basename "$f"): $(size "$f") bytes"
done
strip -o "$work/stripped-linux" "$linux"
echo "Linux tandrel (stripped; Qt in shared libraries): $(size "$work/stripped-linux") bytes"

for n in $(seq 90 130); do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -ac -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break 2; sleep 0.1; done
  kill "$xvfb_pid"; xvfb_pid=
done
[[ -n "$xvfb_pid" ]] || { echo "no X server could be started" >&2; exit 1; }

# A folder of its own for each program: the program, skin.qss, help/.
mkdir -p "$work/linux" "$work/windows"
cp "$work/stripped-linux" "$work/linux/tandrel"
cp "$work/stripped.exe" "$work/windows/tandrel.exe"
for d in linux windows; do cp -r resources/skin.qss resources/help "$work/$d/"; done

# Seconds from the start to the main window; the program is then stopped.
time_to_window() {
  local start pid t
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name '^Tandrel$' >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "the program ended before its window showed" >&2; return 1; }
    sleep 0.02
  done
  t=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [[ "$1" != wine ]] || wine taskkill /f /im tandrel.exe >/dev/null 2>&1 || true
  sleep 0.5
  echo "$t"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

wineserver -p
measure() { # label, command...
  local label=$1; shift
  time_to_window "$@" >/dev/null
  for _ in $(seq 1 "$runs"); do time_to_window "$@"; done >"$work/times-$label"
  echo "$label: $(tr '\n' ' ' <"$work/times-$label")s; median $(median <"$work/times-$label") s"
}
measure linux env QT_QPA_PLATFORM=xcb "$work/linux/tandrel"
measure wine wine "$work/windows/tandrel.exe"
echo "ratio Wine / Linux (medians): $(awk -v w="$(median <"$work/times-wine")" -v l="$(median <"$work/times-linux")" 'BEGIN { printf "%.2f", w / l }')"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
