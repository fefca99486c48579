#!/usr/bin/env bash
# Builds the Debian package of Tandrel in build-package/, installs it with
# apt-get as a user would, checks the installed programs from outside, then
# removes it again and checks that nothing of it is left. Needs root (it
# installs a package); packages that the install pulled in are removed again.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

say() { echo "check-install: $*"; }
fail() { echo "check-install: FAILED: $*" >&2; exit 1; }

if [[ $(id -u) -ne 0 ]]; then
  fail "installing a package needs root"
fi

# One check at a time on a machine: they install and remove the same package.
exec 9>/var/lock/tandrel-check-install.lock
flock 9
if dpkg-query -W -f='${Status}' tandrel 2>/dev/null | grep -q "installed"; then
  fail "a tandrel package is installed already; remove it first, this check would replace it"
fi

apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"; }
installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }

work=$(mktemp -d)
# A private X server of our own rather than xvfb-run: it is started without
# access control (it listens on no network port), so no cookie file has to be
# written and locked, and the display is known to answer before the program
# starts. A display number another server holds, here or in another sandbox of
# the same network, is skipped.
xvfb_pid=
display_taken() { [[ -e /tmp/.X$1-lock || -e /tmp/.X11-unix/X$1 ]] || grep -q "/tmp/.X11-unix/X$1\$" /proc/net/unix; }
start_display() {
  local n tries=0
  for n in $(seq 99 140); do
    ! display_taken "$n" || continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -ac -noreset >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 50); do
      if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
        export DISPLAY=":$n"
        unset XAUTHORITY WAYLAND_DISPLAY
        say "X server on $DISPLAY"
        return 0
      fi
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.2
    done
    stop_display
    say "no X server on :$n:"; tail -n 5 "$work/xvfb.log" >&2
    ((++tries < 3)) || break
  done
  return 1
}
stop_display() {
  [[ -n "$xvfb_pid" ]] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}

cleanup() {
  local status=$?
  stop_display
  if dpkg-query -W -f='${Status}' tandrel 2>/dev/null | grep -q "installed"; then
    apt_get remove --purge tandrel >/dev/null || true
  fi
  if [[ -f "$work/before" ]]; then
    # Only what apt installed automatically since: a package someone else
    # installs by name meanwhile on this machine is theirs to keep.
    local added
    pulled_in() { comm -12 <(comm -13 "$work/before" <(installed_packages)) <(apt-mark showauto | sort) | tr '\n' ' '; }
    added=$(pulled_in)
    if [[ -n "$added" ]]; then
      say "removing what the install pulled in: $added"
      # shellcheck disable=SC2086
      apt_get remove --purge $added >/dev/null || true
      added=$(pulled_in)
      if [[ -n "$added" ]]; then
        echo "check-install: FAILED: could not remove again: $added" >&2
        ((status != 0)) || status=1
      fi
    fi
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

# --- The package ---------------------------------------------------------
say "building the package in build-package/"
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build build-package --target tandrel tandrel-cli tandrel_install_files
rm -f build-package/tandrel_*.deb
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/tandrel_*.deb)
say "built $deb"
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libqt6widgets6* && "$depends" == *libc6* ]] ||
  fail "the package's dependencies were not worked out by dpkg-shlibdeps: '$depends'"

# --- Install ---------------------------------------------------------------
installed_packages >"$work/before"
apt_get install "$top/$deb" >/dev/null
dpkg -L tandrel | sort >"$work/files"
say "installed $(wc -l <"$work/files") paths"

id=$(sed -n 's/.*kDesktopId\[\] = "\(.*\)";/\1/p' src/desktop/DesktopId.h)
desktop=/usr/share/applications/$id.desktop
metainfo=/usr/share/metainfo/$id.metainfo.xml
for f in /usr/bin/tandrel /usr/bin/tandrel-cli "$desktop" "$metainfo" \
         /usr/share/tandrel/skin.qss /usr/share/tandrel/help/index.html \
         /usr/share/man/man1/tandrel.1.gz /usr/share/man/man1/tandrel-cli.1.gz \
         /usr/share/bash-completion/completions/tandrel-cli \
         /usr/share/zsh/vendor-completions/_tandrel-cli /usr/share/fish/vendor_completions.d/tandrel-cli.fish \
         "/usr/share/kio/servicemenus/$id.compare.desktop" "/usr/share/nemo/actions/$id.compare.nemo_action"; do
  grep -qx "$f" "$work/files" || fail "$f is not in the package"
  [[ -f "$f" ]] || fail "$f was not installed"
done
[[ -d /usr/share/tandrel/Daylark ]] || fail "the companion's folder /usr/share/tandrel/Daylark is missing"

desktop-file-validate "$desktop" || fail "desktop-file-validate: $desktop"
# File managers offer the program for folders, and start it with the ones picked.
grep -qx 'MimeType=inode/directory;' "$desktop" || fail "the desktop entry does not take folders"
for entry in "/usr/share/kio/servicemenus/$id.compare.desktop" "/usr/share/nemo/actions/$id.compare.nemo_action"; do
  grep -qx 'Exec=tandrel %F' "$entry" || fail "$entry does not start tandrel with the folders picked"
done
grep -qx 'MimeType=inode/directory;' "/usr/share/kio/servicemenus/$id.compare.desktop" ||
  fail "the service menu is not offered for folders"
grep -qx 'Extensions=dir;' "/usr/share/nemo/actions/$id.compare.nemo_action" || fail "the Nemo action is not offered for folders"
appstreamcli validate --no-net "$metainfo" >"$work/appstream" ||
  { cat "$work/appstream"; fail "appstreamcli validate: $metainfo"; }

# The icon at each size of the theme, as a PNG of that size.
for size in 16 22 24 32 48 64 128 256; do
  icon=/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
  [[ -f "$icon" ]] || fail "icon missing: $icon"
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$icon")
  (( (w1 << 24 | w2 << 16 | w3 << 8 | w4) == size && (h1 << 24 | h2 << 16 | h3 << 8 | h4) == size )) ||
    fail "$icon is not $size x $size"
done

# Manual pages: found by man, and free of formatting warnings.
[[ $(man -w tandrel-cli) == /usr/share/man/man1/tandrel-cli.1.gz ]] || fail "man -w tandrel-cli"
[[ $(man -w tandrel) == /usr/share/man/man1/tandrel.1.gz ]] || fail "man -w tandrel"
for page in tandrel tandrel-cli; do
  warnings=$(MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null)
  [[ -z "$warnings" ]] || fail "man $page: $warnings"
done

# Bash completion of commands and option values.
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion
           source /usr/share/bash-completion/completions/tandrel-cli
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _tandrel_cli; printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$@"
}
[[ $(complete_words tandrel-cli co) == "compare copy " ]] || fail "completion of 'tandrel-cli co'"
[[ $(complete_words tandrel-cli copy --to "") == "destination source " ]] || fail "completion of '--to'"
[[ $(complete_words tandrel-cli compare --for) == "--format " ]] || fail "completion of 'compare --for'"

# The same in zsh and fish, from where those shells look for completions.
cat >"$work/zsh-complete.zsh" <<'EOF'
# Prints what zsh completes for the line given, the words on one line.
zmodload zsh/zpty
zpty z zsh -f -i
zpty -w z 'autoload -Uz compinit; compinit -u -D'
zpty -w z 'compadd () { builtin compadd -O __hits "$@"; print -l -- "<<${^__hits[@]}>>"; builtin compadd "$@" }'
zpty -w z 'PROMPT=""; bindkey "^I" complete-word; echo READY'
zpty -r z line '*READY*'; zpty -r z line '*READY*'
zpty -w -n z "$1"$'\t'
sleep 1
zpty -w z $'\C-c'
while zpty -r -t z line; do print -r -- "$line"; done | grep -o '<<[^>]*>>' | tr -d '<>' | sort -u | tr '\n' ' '
zpty -d z
EOF
zsh_words() { timeout 30 zsh -f "$work/zsh-complete.zsh" "$1"; }
fish_words() { fish -c "complete -C '$1'" | cut -f1 | sort | tr '\n' ' '; }
for shell in zsh fish; do
  [[ $("${shell}_words" "tandrel-cli co") == "compare copy " ]] || fail "$shell completion of 'tandrel-cli co'"
  [[ $("${shell}_words" "tandrel-cli copy --to ") == "destination source " ]] || fail "$shell completion of '--to'"
  [[ $("${shell}_words" "tandrel-cli delete --max") == "--max-delete " ]] || fail "$shell completion of 'delete --max'"
done

# --- The command line, from the installed tree ---------------------------------
export HOME="$work/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
data="$HOME/.local/share/Orvessa Software/Tandrel"
cd "$work"
[[ $(tandrel-cli --version) == "tandrel-cli $(dpkg-deb -f "$top/$deb" Version)" ]] || fail "tandrel-cli --version"
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY tandrel --version) == "Tandrel $(dpkg-deb -f "$top/$deb" Version)" ]] ||
  fail "tandrel --version without a display"
env -u DISPLAY -u WAYLAND_DISPLAY tandrel --help | grep -q "SOURCE" || fail "tandrel --help"

mkdir -p src/both dst/both
echo same >src/both/same.txt
cp -p src/both/same.txt dst/both/same.txt
echo new >src/only-in-source.txt
echo old >dst/only-in-destination.txt
status=0
tandrel-cli compare --summary src dst >"$work/summary" || status=$?
((status == 1)) || fail "tandrel-cli compare of two differing trees ended with status $status, not 1"
grep -qx "Can not find destination: 1" "$work/summary" &&
  grep -qx "Can not find source: 1" "$work/summary" &&
  grep -qx "Newer than destination: 0" "$work/summary" ||
  { cat "$work/summary"; fail "tandrel-cli compare did not find the two differences"; }

# --- The window, started as the desktop starts it -----------------------------
# The Exec line of the desktop entry, its field code %F replaced by the two
# folders. A stand-in xdg-open records what the program asks the desktop to open.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ "$exec_line" == *"%F"* ]] || fail "the desktop entry's Exec line takes no files: $exec_line"
mkdir -p "$work/path"
cat >"$work/path/xdg-open" <<EOF
#!/bin/sh
echo "\$@" >>"$work/opened"
EOF
chmod +x "$work/path/xdg-open"

cat >"$work/session.sh" <<'EOF'
#!/usr/bin/env bash
# Runs on the private X server: drives the installed program through its windows.
set -euo pipefail
work=$1; shift
wait_window() { # title pattern; prints the window id
  for _ in $(seq 1 100); do
    if id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [[ -n "$id" ]]; then
      echo "$id"; return 0
    fi
    sleep 0.2
  done
  echo "no window titled $1" >&2; return 1
}
wait_file() { for _ in $(seq 1 100); do [[ -s "$1" ]] && return 0; sleep 0.2; done; echo "no $1" >&2; return 1; }
press() { xdotool windowfocus --sync "$1"; sleep 0.3; xdotool key "$2"; }

# 1. Two folders: the main window and the filled dialog; Compare with Enter
#    writes the recent folders into the settings file.
"$@" "$work/src" "$work/dst" &
pid=$!
wait_window '^Tandrel$' >/dev/null
guide=$(wait_window '^New Comparison$')
press "$guide" Return
wait_file "$work/home/.local/share/Orvessa Software/Tandrel/tdl.ini"
sleep 0.5
kill "$pid"; wait "$pid" || true

# 2. No folders: close the dialog, take a picture of the main window (for its
#    skin), then Help -> Contents (F1) opens the help pages where the
#    installed program found them.
"$@" &
pid=$!
main=$(wait_window '^Tandrel$')
guide=$(wait_window '^New Comparison$')
press "$guide" Escape
sleep 0.5
xwd -id "$main" -silent >"$work/main.xwd"
xprop -id "$main" WM_CLASS >"$work/wm-class"
press "$main" F1
wait_file "$work/opened"
kill "$pid"; wait "$pid" || true
EOF
chmod +x "$work/session.sh"
# shellcheck disable=SC2206
program=(${exec_line%%%F*})
window_session() {
  PATH="$work/path:$PATH" QT_QPA_PLATFORM=xcb "$work/session.sh" "$work" "${program[@]}" ||
    { tail -n 20 "$work/xvfb.log" >&2; fail "the window session on $DISPLAY"; }
  stop_display

  settings="$data/tdl.ini"
  [[ -f "$settings" ]] || fail "no settings file in the per-user data folder ($settings)"
  grep -qF "$work/src" "$settings" || fail "the folders given on the command line were not the compared ones"
  [[ -d "$data/Report" ]] || fail "no Report folder in the per-user data folder"
  [[ "$(cat "$work/opened")" == "file:///usr/share/tandrel/help/index.html" ]] ||
    fail "help opened '$(cat "$work/opened")', not the installed help pages"
  # The skin paints the menu bar pale blue; without it, it is Fusion's grey.
  xwd_field() { od -An -tu1 -j"$2" -N4 "$1" | awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4 }'; }
  pixel() { # XWD-FILE X Y: "R G B" of a 32-bit TrueColor dump, as xwd writes of a 24-bit screen
    local header colours line order
    header=$(xwd_field "$1" 0); colours=$(xwd_field "$1" 76); line=$(xwd_field "$1" 48); order=$(xwd_field "$1" 28)
    od -An -tu1 -j$((header + colours * 12 + $3 * line + $2 * 4)) -N4 "$1" |
      awk -v lsb="$((order == 0))" '{ if (lsb) print $3, $2, $1; else print $2, $3, $4 }'
  }
  read -r red green blue < <(pixel "$work/main.xwd" $(($(xwd_field "$work/main.xwd" 16) - 20)) 10)
  ((blue - red >= 8)) || fail "the main window's menu bar is not skinned (colour $red $green $blue): skin.qss not found"
  # The desktop matches the window to its entry by the window class.
  wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
  grep -q "\"$wm_class\"\$" "$work/wm-class" || fail "window class $(cat "$work/wm-class") is not StartupWMClass=$wm_class"
  for f in /usr/bin/tdl.ini /usr/bin/Report /usr/share/tandrel/tdl.ini /usr/share/tandrel/Report; do
    [[ ! -e "$f" ]] || fail "the installed program wrote $f"
  done
  say "the installed window program found its skin and help pages and kept its settings in $data"
}
# A machine whose sandbox lets no X client connect cannot run this part; it
# says so plainly rather than failing the package checks that did run.
if start_display; then
  window_session
else
  say "SKIPPED: the window session: no X server answered on this machine"
fi
cd "$top"

# --- Remove ------------------------------------------------------------------
apt_get remove --purge tandrel >/dev/null
left=()
while read -r path; do
  [[ "$path" != "/." ]] || continue
  [[ -e "$path" || -L "$path" ]] || continue
  # A folder that other packages share stays, as it should.
  if [[ -d "$path" && ! -L "$path" ]] && dpkg-query -S "$path" >/dev/null 2>&1; then
    continue
  fi
  left+=("$path")
done <"$work/files"
((${#left[@]} == 0)) || fail "left behind after removal: ${left[*]}"
say "installed, checked and removed again: all good"
