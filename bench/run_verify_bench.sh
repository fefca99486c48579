#!/usr/bin/env bash
# Content check of two identical trees: `tandrel-cli verify` (the comparison
# and then the reading of every equal pair) against `diff -rq` and
# `rsync -n -r -c`, with the files in the page cache (warm) and
# with the page cache dropped before every run (cold; needs the right to write
# /proc/sys/vm/drop_caches, skipped otherwise).
#
#   bench/run_verify_bench.sh [WORK_FOLDER]
#
# The tree holds files of mixed sizes, about 1 GiB a side by default: one
# large file, a few medium ones, a hundred-odd of 1 MiB and thousands of small
# ones. Every pair is equal, so every program has to read every byte.
# Environment: LARGE_MB (256), MEDIUM_FILES (8), MEDIUM_MB (64), MIB_FILES
# (128), SMALL_FILES (4000), RUNS (5), COLD (1; 0 skips the cold runs).
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
large_mb=${LARGE_MB:-256}
medium_files=${MEDIUM_FILES:-8}
medium_mb=${MEDIUM_MB:-64}
mib_files=${MIB_FILES:-128}
small_files=${SMALL_FILES:-4000}
runs=${RUNS:-5}
cold=${COLD:-1}

for tool in cmake ninja hyperfine python3 diff rsync; do
    command -v "$tool" >/dev/null || { echo "run_verify_bench: $tool is needed" >&2; exit 2; }
done

build="$here/build-verifybench"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_CORE_ONLY=ON -DTANDREL_BENCH=OFF >/dev/null
ninja -C "$build" -j2 tandrel-cli >/dev/null
cli="$build/src/cli/tandrel-cli"

if [[ $# -ge 1 ]]; then
    work="$1"
    mkdir -p "$work"
    cleanup=false
else
    work="$(mktemp -d /var/tmp/tandrel-verifybench.XXXXXX)"
    cleanup=true
fi
finish() { if $cleanup; then rm -rf "$work"; fi; }
trap finish EXIT

if [[ ! -d "$work/src" ]]; then
    echo "Making the trees in $work ..."
    python3 - "$work/src" "$large_mb" "$medium_files" "$medium_mb" "$mib_files" "$small_files" <<'EOF'
import os, random, sys
root = sys.argv[1]
large_mb, medium_files, medium_mb, mib_files, small_files = map(int, sys.argv[2:])
rng = random.Random(20261207)
block = rng.randbytes(1 << 20)
def write(path, size):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        salt = rng.randbytes(16)
        while size > 0:
            n = min(size, len(block))
            f.write(salt + block[16:n] if n > 16 else block[:n])
            size -= n
write(os.path.join(root, "large", "large.bin"), large_mb << 20)
for i in range(medium_files):
    write(os.path.join(root, "medium", "m%02d.bin" % i), medium_mb << 20)
for i in range(mib_files):
    write(os.path.join(root, "mib", "d%02d" % (i // 32), "f%03d.bin" % i), 1 << 20)
for i in range(small_files):
    write(os.path.join(root, "small", "d%03d" % (i // 100), "s%05d.dat" % i), rng.randint(512, 65536))
EOF
    cp -a --reflink=never "$work/src" "$work/dst"
fi
du -sh "$work/src" "$work/dst"

commands=(
    "$cli verify --quiet $work/src $work/dst"
    "diff -rq $work/src $work/dst"
    "rsync -n -r -c $work/src/ $work/dst/"
)
names=(tandrel diff rsync)

report() {
    python3 - "$1" "$2" <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))["results"]
ours = data[0]
print(f"{sys.argv[2]} (ratio: their time / ours, above 1 means ours is faster; cpu: user + system, mean):")
for r in data:
    print(f"  {r['command'].split()[0].rsplit('/', 1)[-1]:14s} mean {r['mean']:7.3f} s  range {r['min']:7.3f} .. {r['max']:7.3f} s"
          f"  ratio to ours {r['mean'] / ours['mean']:5.2f} (range {r['min'] / ours['max']:5.2f} .. {r['max'] / ours['min']:5.2f})"
          f"  cpu {r['user'] + r['system']:6.2f} s")
EOF
}

echo "Warm cache ($runs runs each):"
hyperfine --style basic --warmup 1 --runs "$runs" -i --export-json "$work/warm.json" \
    -n "${names[0]}" "${commands[0]}" -n "${names[1]}" "${commands[1]}" -n "${names[2]}" "${commands[2]}" >/dev/null
report "$work/warm.json" "warm cache"

if [[ $cold == 0 ]]; then
    echo "Cold cache: skipped (COLD=0)"
elif sync && echo 3 2>/dev/null > /proc/sys/vm/drop_caches; then
    echo "Cold cache ($runs runs each, page cache dropped before each):"
    hyperfine --style basic --runs "$runs" -i --export-json "$work/cold.json" \
        --prepare 'sync; echo 3 > /proc/sys/vm/drop_caches' \
        -n "${names[0]}" "${commands[0]}" -n "${names[1]}" "${commands[1]}" -n "${names[2]}" "${commands[2]}" >/dev/null
    report "$work/cold.json" "cold cache"
else
    echo "Cold cache: skipped (no right to drop the page cache)"
fi
