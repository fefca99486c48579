#!/usr/bin/env bash
# A one-way sync by tandrel-cli.exe under Wine, on two small trees with
# Windows paths: compare must list the expected rows, copy and delete must
# bring the destination into line, and compare must then find nothing.
# Run by tools/test-windows.sh after the unit tests; exits non-zero on any
# difference. Usage: tools/windows-cli-sync-check.sh [path/to/tandrel-cli.exe]
set -euo pipefail
cd "$(dirname "$0")/.."
cli="$(realpath "${1:-build-windows/src/cli/tandrel-cli.exe}")"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wineprefix}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "sync check: $*" >&2
  failures=$((failures + 1))
}

# A file with this content and modification time (seconds since 1970).
put() {
  mkdir -p "$(dirname "$work/$1")"
  printf '%s' "$2" >"$work/$1"
  touch -d "@$3" "$work/$1"
}
unicode='Ünïcödé 日本.txt'
put src/newer.txt 'new text' 1700000000
put dst/newer.txt 'old text' 1600000000
put src/older.txt 'older' 1600000000
put dst/older.txt 'newer' 1700000000
put src/only-src.txt 's' 1650000000
put "src/$unicode" 'u' 1650000000
put src/nested/deep/inner.txt 'inner' 1650000000
put src/sub/deeper/n.txt 'n2' 1700000000
put dst/sub/deeper/n.txt 'n1' 1600000000
put src/size.txt 'longer' 1650000000
put dst/size.txt 'short' 1650000000
put src/same.txt 'same' 1650000000
put dst/same.txt 'same' 1650000000
put dst/only-dst.txt 'd' 1650000000
put dst/gone/inside/f.txt 'f' 1650000000

src="$(winepath -w "$work/src")"
dst="$(winepath -w "$work/dst")"

# Runs the program; its exit status in $status, its output in $work/out and $work/err.
run() {
  status=0
  wine "$cli" "$@" >"$work/out" 2>"$work/err" || status=$?
}

# "Caption|first column|last column" for every row of a text report, sorted.
rows() {
  tr -d '\r' <"$1" | awk -F'\t' '
    /^---.*---$/ { section = $0; sub(/^---/, "", section); sub(/ \([0-9]+\)---$/, "", section); next }
    /^Name\t/ || $0 == "" { next }
    { last = NF; while (last > 1 && ($last == "" || $last ~ /^ +$/)) last--; print section "|" $1 "|" $last }
  ' | LC_ALL=C sort
}

run compare "$src" "$dst"
[[ $status -eq 1 ]] || fail "compare before the sync exited $status, not 1: $(cat "$work/err")"
rows "$work/out" >"$work/rows"
LC_ALL=C sort >"$work/expected" <<ROWS
Newer than destination|$src\\newer.txt|$dst\\newer.txt
Newer than destination|$src\\sub\\deeper\\n.txt|$dst\\sub\\deeper\\n.txt
Older than destination|$src\\older.txt|$dst\\older.txt
Can not find destination|$src\\nested|$dst\\nested
Can not find destination|$src\\nested\\deep|$dst\\nested\\deep
Can not find destination|$src\\nested\\deep\\inner.txt|$dst\\nested\\deep\\inner.txt
Can not find destination|$src\\only-src.txt|$dst\\only-src.txt
Can not find destination|$src\\$unicode|$dst\\$unicode
Can not find source|$dst\\gone|$src\\gone
Can not find source|$dst\\gone\\inside|$src\\gone\\inside
Can not find source|$dst\\gone\\inside\\f.txt|$src\\gone\\inside\\f.txt
Can not find source|$dst\\only-dst.txt|$src\\only-dst.txt
Only size changed|$src\\size.txt|$dst\\size.txt
ROWS
diff -u "$work/expected" "$work/rows" >&2 || fail "compare before the sync listed other rows (above: - expected, + listed)"
for count in '---Newer than destination (2)---' '---Older than destination (1)---' \
  '---Can not find destination (5)---' '---Can not find source (4)---' '---Only size changed (1)---'; do
  tr -d '\r' <"$work/out" | grep -qxF -- "$count" || fail "compare before the sync has no line '$count'"
done

run copy --to destination --lists 1,2,3,5 "$src" "$dst"
[[ $status -eq 0 && ! -s "$work/err" ]] || fail "copy exited $status: $(cat "$work/err")"
cat "$work/out"
run delete --lists 4 "$src" "$dst"
[[ $status -eq 0 && ! -s "$work/err" ]] || fail "delete exited $status: $(cat "$work/err")"
cat "$work/out"

run compare "$src" "$dst"
[[ $status -eq 0 ]] || fail "compare after the sync exited $status, not 0: $(cat "$work/err")"
rows "$work/out" >"$work/rows"
[[ ! -s "$work/rows" ]] || fail "compare after the sync still lists: $(cat "$work/rows")"
# Relative folders work as well, from the trees' parent folder.
status=0
(cd "$work" && wine "$cli" compare --summary src dst >"$work/out" 2>"$work/err") || status=$?
[[ $status -eq 0 && $(tr -d '\r' <"$work/out" | grep -c '^[A-Za-z ]*: 0$') -eq 5 ]] ||
  fail "compare --summary with relative folders exited $status: $(cat "$work/out" "$work/err")"

for file in older.txt size.txt "$unicode" nested/deep/inner.txt; do
  cmp -s "$work/src/$file" "$work/dst/$file" || fail "dst/$file is not a copy of src/$file"
done
[[ ! -e "$work/dst/gone" && ! -e "$work/dst/only-dst.txt" ]] || fail "the items missing in the source are still in dst"

# A settings file in the ANSI code page, as the window writes it: the file
# its ignored name Caf\xe9.txt stands for is neither listed nor deleted.
mkdir -p "$work/ansi/src" "$work/ansi/dst"
printf 'x' >"$work/ansi/dst/Café.txt"
printf '[Option]\r\nIgnoreHidden=1\r\n[IgnoreFile]\r\nCaf\xe9.txt\r\n' >"$work/ansi.ini"
run delete --lists 4 --settings "$(winepath -w "$work/ansi.ini")" "$(winepath -w "$work/ansi/src")" \
  "$(winepath -w "$work/ansi/dst")"
[[ $status -eq 0 && -e "$work/ansi/dst/Café.txt" ]] ||
  fail "an ignored name of an ANSI settings file did not keep its file (exit $status): $(cat "$work/err")"

# "/?" asks for help, as --help does.
run '/?'
[[ $status -eq 0 ]] && grep -q 'compare' "$work/out" || fail "'/?' exited $status: $(cat "$work/err")"

if ((failures > 0)); then
  echo "sync check under Wine: $failures failure(s)" >&2
  exit 1
fi
echo "sync check under Wine: compare, copy, delete and compare again as expected"
