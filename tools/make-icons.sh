#!/usr/bin/env bash
# Redraws the PNG icons in resources/icons, and the Windows program icon
# resources/tandrel.ico, and the Windows installer's pictures in
# packaging/windows, from tools/make_icons/make_icons.cpp.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -std=c++20 -O1 -fPIC -Wall -Wextra -Werror tools/make_icons/make_icons.cpp -o "$out/make_icons" \
    $(pkg-config --cflags --libs Qt6Gui)
QT_QPA_PLATFORM=offscreen "$out/make_icons" resources/icons
QT_QPA_PLATFORM=offscreen "$out/make_icons" --windows-icon resources/tandrel.ico
QT_QPA_PLATFORM=offscreen "$out/make_icons" --installer-pictures packaging/windows
ls resources/icons
