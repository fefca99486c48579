#!/usr/bin/env bash
# Unpacks the relink archive that tools/windows-package.sh made and links
# tandrel.exe again from it, as its README tells a user, against the Qt the
# build used; the result must answer --version under Wine as the built
# program does.
# Usage: tools/windows-relink-check.sh ARCHIVE.zip QT-FOLDER
set -euo pipefail
archive=$(realpath "$1")
qt=$(realpath "$2")
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$(realpath "$(dirname "$0")/..")/build-windows/wineprefix}"
fail() { echo "relink check: FAILED: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$archive")
dir=$(echo "$work"/tandrel-*-win64-relink)
[[ -d "$dir" ]] || fail "no tandrel-*-win64-relink folder in $archive"
grep -q -- "-o src/gui/tandrel.exe" "$dir/link-command.txt" || fail "link-command.txt holds no link of tandrel.exe"
for f in main.cpp.obj tandrel.rc.res libtandrel_gui.a libtandrel_desktop.a libtandrel_core.a; do
  [[ -n "$(find "$dir/obj" -name "$f")" ]] || fail "$f is not in the archive"
done
grep -q "relink.sh" "$dir/README.txt" || fail "the README does not say how to relink"
for f in licenses/NOTICE.txt licenses/Qt/LGPL-3.0-only.txt licenses/Qt/source/SHA256SUMS licenses/Qt/source/build-qt-mingw.sh \
         licenses/Qt/source/third-party/wintab/LGPL-2.1.txt licenses/Qt/source/third-party/freetype/qt_attribution.json; do
  [[ -f "$dir/$f" ]] || fail "$f is not in the archive"
done
[[ -n "$(find "$dir/licenses/Qt/source" -name 'qtbase-*-mingw.patch')" ]] || fail "the patch to Qt's source is not in the archive"
QT="$qt" "$dir/relink.sh" || fail "relink.sh did not link"
version=$(wine "$dir/tandrel.exe" --version 2>&1 | tr -d '\r')
[[ "$version" == "Tandrel "* ]] || fail "the relinked tandrel.exe answered --version with: $version"
echo "relink check: linked tandrel.exe again from the archive ($version)"
