#!/usr/bin/env bash
# Installs Tandrel with its Windows installer, silently (/S, with bin\ on the
# user's PATH and the desktop shortcut), into a fresh Wine prefix; checks what it laid out and
# registered, starts the installed programs, uninstalls silently and checks
# that nothing is left but the user's own settings.
# Usage: tools/windows-install-check.sh path/to/tandrel-<version>-win64-setup.exe
set -euo pipefail
installer=$(realpath "$1")
version=$(basename "$installer" | sed -n 's/^tandrel-\(.*\)-win64-setup\.exe$/\1/p')
export WINEDEBUG=-all
# No menu entries on the build machine's desktop for the Start menu's
# shortcuts, and no offer to install Wine's .NET or HTML engines.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
work=$(mktemp -d)
export WINEPREFIX="$work/prefix"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "install check: FAILED: $*" >&2; exit 1; }
drive="$WINEPREFIX/drive_c"
app="$drive/Program Files/Tandrel"
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Tandrel"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tandrel Setup'
user_key='HKCU\Software\Orvessa Software\Tandrel'
verb_key='HKLM\Software\Classes\Directory\shell\Tandrel'

# A registry value's data, or nothing; a missing key or value is not an error.
reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" || true; }
reg_has_key() { wine reg query "$1" >/dev/null 2>&1; }
reg_default() { wine reg query "$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *([^)]*) *REG_[A-Z_]* *//p' || true; }
reg_has_value() { wine reg query "$1" /v "$2" >/dev/null 2>&1; }
# Every file and folder under C:, but the temporary folders: Windows clears
# those itself (the uninstaller runs from a copy there).
drive_tree() { (cd "$drive" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o -print | sort); }

wineboot -i >/dev/null 2>&1
wineserver -w
drive_tree >"$work/before"

! reg_has_value 'HKCU\Environment' PATH || fail "the fresh prefix has a PATH value of the user's already"
wine "$installer" /S /PATH=user /DESKTOP || fail "the installer ended with status $?"
wineserver -w
for f in bin/tandrel.exe bin/tandrel-cli.exe share/tandrel/skin.qss share/tandrel/help/index.html \
         licenses/NOTICE.txt licenses/Qt/LGPL-3.0-only.txt licenses/Qt/GPL-3.0-only.txt Uninstall.exe; do
  [[ -f "$app/$f" ]] || fail "$f was not installed under Program Files\\Tandrel"
done
# What Qt's licence and the licences of the code built into it ask to be
# passed on: the texts, the filled-in notices (not the blank templates), the
# source's checksums, the patch, the build script and where to get the source.
lic="$app/licenses/Qt"
for f in How-Qt-was-built.txt source/SHA256SUMS source/build-qt-mingw.sh \
         source/third-party/wintab/LGPL-2.1.txt source/third-party/wintab/NOTICE-wintab.h.txt \
         source/third-party/freetype/qt_attribution.json source/third-party/harfbuzz-ng/COPYING \
         source/third-party/libpng/LICENSE source/third-party/libjpeg/LICENSE source/third-party/zlib/LICENSE \
         source/third-party/pcre2/LICENCE source/third-party/double-conversion/LICENSE source/third-party/md4c/LICENSE.md; do
  [[ -f "$lic/$f" ]] || fail "the licence material licenses\\Qt\\$f was not installed"
done
[[ -n "$(find "$lic/source" -name 'qtbase-*-mingw.patch' -size +1k)" ]] || fail "the patch to Qt's source was not installed"
[[ ! -e "$lic/BSD-3-Clause.txt" && ! -e "$lic/MIT.txt" ]] || fail "the blank licence templates are installed in licenses\\Qt"
grep -q "GNU LESSER GENERAL PUBLIC LICENSE" "$lic/source/third-party/wintab/LGPL-2.1.txt" &&
  grep -q "Version 2.1" "$lic/source/third-party/wintab/LGPL-2.1.txt" || fail "licenses\\Qt\\source\\third-party\\wintab holds no LGPL-2.1 text"
for text in "qt6-base_6.4.2+dfsg.orig.tar.xz" "SHA256SUMS" "patch -p1" "Written offer" "three years" "relink.zip"; do
  tr -d '\r' <"$app/licenses/NOTICE.txt" | tr '\n' ' ' | grep -qF "$text" || fail "licenses\\NOTICE.txt does not say '$text'"
done
(cd "$lic/source" && grep -q "qt6-base_6.4.2+dfsg.orig.tar.xz" SHA256SUMS) || fail "SHA256SUMS does not name the source tarball"
[[ -d "$app/share/tandrel/Daylark" ]] || fail "the companion's folder share\\tandrel\\Daylark is missing"
[[ -f "$menu/Tandrel.lnk" ]] || fail "no Start-menu entry Tandrel\\Tandrel.lnk"
[[ -f "$drive/users/Public/Desktop/Tandrel.lnk" ]] || fail "/DESKTOP made no desktop shortcut Tandrel.lnk"
# Explorer's entry for folders: one tandrel.exe gets the whole selection.
[[ "$(reg_default "$verb_key")" == "Compare with Tandrel" ]] ||
  fail "no Explorer entry \"Compare with Tandrel\" for folders"
[[ "$(reg_default "$verb_key\command")" == '"C:\Program Files\Tandrel\bin\tandrel.exe" "%1"' ]] || fail "the Explorer entry does not start tandrel.exe with the folder"
[[ "$(reg_value "$verb_key" MultiSelectModel)" == Player &&
   "$(reg_value "$verb_key\DropTarget" Clsid)" == '{86C86720-42A0-1069-A2E8-08002B30309D}' ]] ||
  fail "the Explorer entry does not hand a selection of folders to one tandrel.exe"
for value in "DisplayName=Tandrel" "DisplayVersion=$version" "Publisher=Orvessa Software" \
             'DisplayIcon=C:\Program Files\Tandrel\bin\tandrel.exe' \
             'UninstallString="C:\Program Files\Tandrel\Uninstall.exe"'; do
  [[ "$(reg_value "$uninstall_key" "${value%%=*}")" == "${value#*=}" ]] ||
    fail "Apps & features: ${value%%=*} is '$(reg_value "$uninstall_key" "${value%%=*}")', not '${value#*=}'"
done
[[ "$(reg_value 'HKCU\Environment' PATH)" == *'C:\Program Files\Tandrel\bin'* ]] ||
  fail "bin\\ is not on the user's PATH: '$(reg_value 'HKCU\Environment' PATH)'"

# The installed programs, tandrel-cli by its name alone, through the PATH.
[[ "$(wine "$app/bin/tandrel.exe" --version 2>&1 | tr -d '\r')" == "Tandrel $version" ]] ||
  fail "the installed tandrel.exe --version"
mkdir -p "$work/src" "$work/dst"
echo new >"$work/src/only-in-source.txt"
echo old >"$work/dst/only-in-destination.txt"
status=0
wine cmd /c tandrel-cli compare --summary "$(winepath -w "$work/src")" "$(winepath -w "$work/dst")" \
  >"$work/summary" 2>&1 || status=$?
((status == 1)) && tr -d '\r' <"$work/summary" | grep -qx "Can not find destination: 1" &&
  tr -d '\r' <"$work/summary" | grep -qx "Can not find source: 1" ||
  fail "tandrel-cli compare from the PATH (status $status): $(cat "$work/summary")"
# The window program, started once: Program Files is no place for its
# settings, they go to the user's data folder.
timeout 10 wine "$app/bin/tandrel.exe" -platform offscreen >/dev/null 2>&1 || true
wineserver -w
data=$(echo "$drive"/users/*/AppData/Local/"Orvessa Software"/Tandrel)
[[ -d "$data/Report" ]] || fail "the installed program made no Report folder in the user's data folder"
# The per-user values, as the program keeps them.
wine reg add "$user_key" /v SourceDir /d 'C:\data' /f >/dev/null

wine "$app/Uninstall.exe" /S || fail "the uninstaller ended with status $?"
wineserver -w
drive_tree >"$work/after"
left=$(comm -13 "$work/before" "$work/after" | grep -v "^\./users/[^/]*/AppData/Local/Orvessa Software" || true)
[[ -z "$left" ]] || fail "left behind under C: after uninstalling: $left"
! reg_has_key "$uninstall_key" || fail "the Apps & features entry is still there"
! reg_has_key 'HKLM\Software\Orvessa Software' || fail "HKLM\\Software\\Orvessa Software is still there"
! reg_has_value 'HKCU\Environment' PATH ||
  fail "the user's PATH value, which the installer made, is still there: '$(reg_value 'HKCU\Environment' PATH)'"
! reg_has_key "$verb_key" || fail "the Explorer entry for folders is still there"
[[ -d "$data/Report" && "$(reg_value "$user_key" SourceDir)" == 'C:\data' ]] ||
  fail "uninstalling took the user's own settings away"
echo "install check: installed $(basename "$installer") silently, ran both programs, uninstalled: only the user's settings are left"
