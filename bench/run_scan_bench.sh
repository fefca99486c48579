#!/usr/bin/env bash
# Speed of a whole comparison, `tandrel-cli compare --summary SRC DST`, on two
# trees of about 200,000 files each, against a dry run of rsync over the same
# pair and against the bare listing of both trees by find.
#
#   bench/run_scan_bench.sh [WORK_FOLDER]
#
# Builds Release binaries in build-bench, makes the trees with make_tree in
# WORK_FOLDER (default /tmp/tandrel-scanbench; kept for the next run, made
# again only when incomplete), checks that the program's counts equal the
# generator's, then times the three commands with hyperfine on a warm cache
# and prints the ratios. Finally it prints the memory cost of result rows.
# Environment: FILES (200000), RUNS (5), WARMUP (2).
#
# The three commands do not do the same work: find only lists and stats both
# trees; rsync -an also pairs the files by name and compares size and time;
# tandrel-cli pairs them, classifies every difference into its five lists and
# prints the counts.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
files=${FILES:-200000}
runs=${RUNS:-5}
warmup=${WARMUP:-2}
work="${1:-/tmp/tandrel-scanbench}"

for tool in cmake ninja hyperfine rsync find jq; do
    command -v "$tool" >/dev/null || { echo "run_scan_bench: $tool is needed" >&2; exit 2; }
done

build="$here/build-bench"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_CORE_ONLY=ON >/dev/null
if ! log="$(ninja -C "$build" -j2 tandrel-cli make_tree row_memory 2>&1)"; then
    echo "$log" >&2
    echo "run_scan_bench: the build failed" >&2
    exit 1
fi
cli="$build/src/cli/tandrel-cli"

if [[ ! -f "$work/.complete" ]]; then
    echo "Making two trees of about $files files in $work ..."
    rm -rf "$work/src" "$work/dst"
    "$build/bench/make_tree" "$work" "$files"
fi
src="$work/src"
dst="$work/dst"

# The answer must be right before its time means anything.
if ! diff <("$cli" compare --summary "$src" "$dst") "$work/.complete" >/dev/null; then
    echo "run_scan_bench: tandrel-cli's counts differ from the generator's:" >&2
    diff <("$cli" compare --summary "$src" "$dst") "$work/.complete" >&2 || true
    exit 1
fi
echo "Counts agree with the generator:"
sed 's/^/  /' "$work/.complete"
echo "Source files: $(find "$src" -type f | wc -l), destination files: $(find "$dst" -type f | wc -l)"

json="$(mktemp /tmp/tandrel-scanbench.XXXXXX.json)"
trap 'rm -f "$json"' EXIT
hyperfine --style basic --warmup "$warmup" --runs "$runs" --export-json "$json" \
    -n "tandrel-cli" "'$cli' compare --summary '$src' '$dst'" \
    -n "rsync -an" "rsync -an --delete '$src/' '$dst/'" \
    -n "find" "find '$src' '$dst' -printf '%s %T@\n' > /dev/null"

echo
jq -r '
  (.results | map({(.command): .}) | add) as $r
  | "Median (mean ± sd) in seconds:",
    ( .results[] | "  \(.command | . + "            " | .[0:12]) \(.median | tostring | .[0:6]) (\(.mean | tostring | .[0:6]) ± \(.stddev | tostring | .[0:6]))" ),
    "Ratios of the medians:",
    "  tandrel-cli / find      \(($r["tandrel-cli"].median / $r["find"].median) * 100 | round / 100)",
    "  rsync -an / find        \(($r["rsync -an"].median / $r["find"].median) * 100 | round / 100)",
    "  tandrel-cli / rsync -an \(($r["tandrel-cli"].median / $r["rsync -an"].median) * 100 | round / 100)"
' "$json"

echo
echo "Memory of result rows:"
"$build/bench/row_memory" | sed 's/^/  /'
