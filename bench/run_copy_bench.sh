#!/usr/bin/env bash
# Copy throughput of `tandrel-cli copy --to destination --lists 3` into an
# empty destination, against `cp -a` of the same tree in the same run, and
# against `cp -a` followed by `sync -f` (what the flush at the end of a copy
# run costs for the same data).
#
#   bench/run_copy_bench.sh [WORK_FOLDER]
#   BASE_REV=main bench/run_copy_bench.sh   # also times tandrel-cli as of BASE_REV
#
# Builds a Release tandrel-cli, makes a tree of 20,000 small files and a tree
# of three 300 MB files in WORK_FOLDER (default: a new folder under /var/tmp,
# removed at the end), then times both programs with hyperfine, each run
# starting from an empty destination. The source trees stay in the page
# cache, so this compares the programs, not the disk's read speed.
# Environment: SMALL_FILES (20000), LARGE_FILES (3), LARGE_MB (300), RUNS (3),
# BASE_REV (unset: no earlier build is timed; else a commit of this repository,
# exported with git archive and built beside the current one).
#
# Both sides are not doing the same work: tandrel-cli first compares the two
# trees, and it writes every file to a temporary name, flushes it to disk
# (fsync) only when it replaces an existing file, renames it into place, and
# flushes the destination's file system once (syncfs) before it reports the
# end of the run; cp -a writes in place and never flushes.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
small_files=${SMALL_FILES:-20000}
large_files=${LARGE_FILES:-3}
large_mb=${LARGE_MB:-300}
runs=${RUNS:-3}

for tool in cmake ninja hyperfine python3; do
    command -v "$tool" >/dev/null || { echo "run_copy_bench: $tool is needed" >&2; exit 2; }
done

# A Release tandrel-cli of the tree in $1, built in $2.
build_cli() {
    cmake -S "$1" -B "$2" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_CORE_ONLY=ON -DTANDREL_BENCH=OFF >/dev/null
    ninja -C "$2" -j2 tandrel-cli >/dev/null
}
build="$here/build-copybench"
build_cli "$here" "$build"
cli="$build/src/cli/tandrel-cli"
base_cli=""
if [[ -n "${BASE_REV:-}" ]]; then
    base_src="$here/build-copybench-base/src-$BASE_REV"
    rm -rf "$base_src"
    mkdir -p "$base_src"
    git -C "$here" archive "$BASE_REV" | tar -x -C "$base_src"
    build_cli "$base_src" "$here/build-copybench-base/build"
    base_cli="$here/build-copybench-base/build/src/cli/tandrel-cli"
fi

if [[ $# -ge 1 ]]; then
    work="$1"
    mkdir -p "$work"
    cleanup=false
else
    work="$(mktemp -d /var/tmp/tandrel-copybench.XXXXXX)"
    cleanup=true
fi
finish() {
    if $cleanup; then rm -rf "$work"; else rm -rf "$work/dst"; fi
}
trap finish EXIT

echo "Making the trees in $work ..."
python3 - "$work/small" "$small_files" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20261207)
per_folder = 100
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // per_folder))
    if i % per_folder == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file%05d.dat" % i), "wb") as f:
        f.write(rng.randbytes(rng.randint(512, 8192)))
EOF
mkdir -p "$work/large"
for i in $(seq 1 "$large_files"); do
    [[ -f "$work/large/big$i.bin" ]] || head -c "$((large_mb * 1024 * 1024))" /dev/urandom >"$work/large/big$i.bin"
done

# Median seconds of each command, through hyperfine's JSON export.
measure() {
    local name="$1" src="$2" json="$work/$1.json"
    local dst="$work/dst"
    local base=()
    [[ -n "$base_cli" ]] && base=(-n "tandrel-cli $BASE_REV" "'$base_cli' copy --to destination --lists 3 '$src' '$dst'")
    # The prepare step flushes the removal of the last copy, so that no run
    # pays for its predecessor's writes.
    hyperfine --style basic --runs "$runs" --export-json "$json" \
        --prepare "rm -rf '$dst' && mkdir '$dst' && sync -f '$work' && find '$src' -type f -exec cat {} + >/dev/null" \
        -n "cp -a" "cp -a '$src/.' '$dst/'" \
        -n "cp -a + sync -f" "cp -a '$src/.' '$dst/' && sync -f '$dst'" \
        "${base[@]}" \
        -n "tandrel-cli" "'$cli' copy --to destination --lists 3 '$src' '$dst'" >&2
    # Check the last copy really is complete before trusting its time.
    "$cli" compare --summary "$src" "$dst" | grep -q "^Can not find destination: 0$" || {
        echo "run_copy_bench: the copy of $name is incomplete" >&2
        exit 1
    }
    python3 - "$json" "$name" "$src" <<'EOF'
import json, os, sys
path, name, src = sys.argv[1:4]
results = {r["command"]: r["median"] for r in json.load(open(path))["results"]}
total = 0
files = 0
for base, _, names in os.walk(src):
    for n in names:
        total += os.path.getsize(os.path.join(base, n))
        files += 1
mb = total / 1e6
print(f"{name}: {files} files, {mb:.1f} MB")
for command, seconds in results.items():
    print(f"  {command:22} {seconds:8.3f} s  {mb / seconds:9.1f} MB/s  {files / seconds:9.0f} files/s")
cp, tdl = results["cp -a"], results["tandrel-cli"]
print(f"  flush cost for this data (cp -a + sync -f minus cp -a): {results['cp -a + sync -f'] - cp:.3f} s")
print(f"  throughput ratio tandrel-cli / cp -a: {cp / tdl:.2f}")
EOF
}

measure small "$work/small"
measure large "$work/large"
