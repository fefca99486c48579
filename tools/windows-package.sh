#!/usr/bin/env bash
# Makes the Windows installer and, beside it, the relink archive, from a
# finished windows-cross build (tools/test-windows.sh builds it first):
#   tandrel-<version>-win64-setup.exe   cpack -G NSIS (cmake/InstallWindows.cmake)
#   tandrel-<version>-win64-relink.zip  tandrel.exe's own objects and libraries,
#                                       the command that linked it, and how to
#                                       link it again with another Qt, and
#                                       the licences, notices and Qt's source
#                                       material (as in the installer's licenses\)
# Usage: tools/windows-package.sh [build folder, default build-windows]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=$(realpath "${1:-build-windows}")
fail() { echo "windows-package: $*" >&2; exit 1; }

command -v makensis >/dev/null || fail "makensis is missing (Debian package nsis)"
[[ -f "$build/src/gui/tandrel.exe" ]] || fail "no $build/src/gui/tandrel.exe: the installer needs the window program"
# shellcheck source=/dev/null
source "$build/installer/build.env"

rm -f "$build"/tandrel-*-win64-setup.exe "$build"/tandrel-*-win64-relink.zip
(cd "$build" && cpack -G NSIS >/dev/null) || fail "cpack -G NSIS failed (see $build/_CPack_Packages/win64/NSIS/NSISOutput.log)"
installer="$build/tandrel-$version-win64-setup.exe"
[[ -f "$installer" ]] || fail "cpack made no $installer"

# The link step as ninja runs it: ": && LINK && POST-BUILD STEPS && :".
link=$(ninja -C "$build" -t commands src/gui/tandrel.exe | tail -n 1)
link=${link#": && "}
link=${link%%" && "*}
[[ "$link" != *[\"\']* ]] || fail "the link command quotes its words; this script splits it at spaces: $link"

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
name="tandrel-$version-win64-relink"
mkdir -p "$stage/$name/obj"
qt_root=$(realpath "$qt")
words=()
read -ra parts <<<"$link"
for ((i = 0; i < ${#parts[@]}; ++i)); do
  word=${parts[i]}
  if ((i == 0)); then
    words+=('"$CXX"')
  elif [[ "$word" == -o ]]; then
    words+=(-o tandrel.exe)
    ((++i))
  elif [[ "$word" == -Wl,--out-implib,* ]]; then
    continue
  elif [[ "$word" == /* && -e "$word" && $(realpath "$word") == "$qt_root"/* ]]; then
    words+=("\"\$QT/$(realpath --relative-to="$qt_root" "$word")\"")
  elif [[ "$word" != -* && "$word" != /* && -f "$build/$word" ]]; then
    mkdir -p "$stage/$name/obj/$(dirname "$word")"
    cp "$build/$word" "$stage/$name/obj/$word"
    words+=("obj/$word")
  else
    words+=("$word")
  fi
done

echo "$link" >"$stage/$name/link-command.txt"
{
  echo '#!/bin/sh'
  echo '# Links tandrel.exe again from the objects in obj/, against the static Qt'
  echo '# for MinGW-w64 in $QT (a folder with lib/ and plugins/), with $CXX.'
  echo 'set -e'
  echo 'cd "$(dirname "$0")"'
  echo ': "${QT:?set QT to the folder of a static Qt for MinGW-w64}"'
  echo 'CXX=${CXX:-x86_64-w64-mingw32-g++-posix}'
  echo "${words[*]}"
} >"$stage/$name/relink.sh"
chmod +x "$stage/$name/relink.sh"
# The licence texts, notices and Qt's source material, as the installer
# lays them out under licenses\.
cmake --install "$build" --prefix "$stage/installed" >/dev/null
cp -r "$stage/installed/licenses" "$stage/$name/licenses"
[[ -f "$stage/$name/licenses/Qt/source/SHA256SUMS" ]] || fail "the install put no Qt source checksums under licenses"
sed -e "s/@VERSION@/$version/g" -e "s/@QT_VERSION@/$qt_version/g" \
  "$top/packaging/windows/relink-README.txt.in" >"$stage/$name/README.txt"
(cd "$stage" && cmake -E tar cf "$build/$name.zip" --format=zip "$name")

echo "windows-package: $installer ($(stat -c %s "$installer") bytes)"
echo "windows-package: $build/$name.zip ($(stat -c %s "$build/$name.zip") bytes)"
