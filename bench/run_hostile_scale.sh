#!/usr/bin/env bash
# A comparison and a one-way sync of two trees of about a million entries
# each with hostile names (see make_hostile_tree.py), checked afterwards by
# rsync and diff, with the time and peak memory of each run:
#
#   nice bench/run_hostile_scale.sh [WORK_FOLDER] [ENTRIES]
#
# WORK_FOLDER (default /tmp/tandrel-hostile) is made anew and removed at the
# end; it needs about 6 GiB (the sparse file is copied in full) and 2 GiB of
# inodes' worth of space. TANDREL_CLI picks another tandrel-cli.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-/tmp/tandrel-hostile}"
entries="${2:-1000000}"
cli="${TANDREL_CLI:-$here/build/src/cli/tandrel-cli}"
[ -x "$cli" ] || cmake --build "$here/build" --target tandrel-cli >/dev/null

rm -rf "$work"
echo "making the trees ($entries entries each)"
python3 "$here/bench/make_hostile_tree.py" "$work" "$entries"
src="$work/src" dst="$work/dst"

# Runs a command under /usr/bin/time -v and prints its status, time and peak memory.
measure() {
    local label=$1; shift
    local status=0
    /usr/bin/time -v -o "$work/time.txt" "$@" >"$work/out.txt" 2>"$work/err.txt" || status=$?
    printf '%-34s exit %d, %s s, peak %s MiB, %s lines of errors\n' "$label" "$status" \
        "$(awk -F': ' '/Elapsed/ {print $2}' "$work/time.txt")" \
        "$(awk -F': ' '/Maximum resident/ {printf "%.0f", $2 / 1024}' "$work/time.txt")" \
        "$(wc -l <"$work/err.txt")"
    head -c 2000 "$work/out.txt" | sed 's/^/    /'
    head -5 "$work/err.txt" | sed 's/^/    ! /'
}

measure "compare --summary" "$cli" compare --summary "$src" "$dst"
measure "copy --to destination --lists 1,2,3,5" "$cli" copy --to destination --lists 1,2,3,5 "$src" "$dst"
measure "delete --lists 4" "$cli" delete --lists 4 "$src" "$dst"
measure "compare --summary (after)" "$cli" compare --summary "$src" "$dst"

# rsync and diff cannot name paths past 4,096 bytes: the folder chain that
# holds them is left to the last comparison above.
echo "rsync -n, the long chain left out (lines of differences; 0 is equal):"
rsync -a -n -i -O --delete --exclude='/deep0-*' "$src/" "$dst/" >"$work/rsync.txt" 2>&1 || true
echo "    $(wc -l <"$work/rsync.txt")"
head -5 "$work/rsync.txt" | sed 's/^/    /'
echo "diff -r, the long chain left out (exit status; 0 is equal):"
status=0
diff -r --no-dereference -x 'deep0-*' "$src" "$dst" >"$work/diff.txt" 2>&1 || status=$?
echo "    $status, $(wc -l <"$work/diff.txt") lines"
head -5 "$work/diff.txt" | sed 's/^/    /'
rm -rf "$work"
