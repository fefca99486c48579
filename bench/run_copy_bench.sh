#!/usr/bin/env bash
# Copy throughput of `tandrel-cli copy --to destination --lists 3` into an
# empty destination, in two settings:
#
#   local:   against `cp -a` of the same tree in the same run, and against
#            `cp -a` followed by `sync -f` (what the flush at the end of a
#            copy run costs for the same data);
#   network: onto an sshfs mount from an sshd this script starts on 127.0.0.1
#            with a throwaway key, mounted afresh before every timed run,
#            against `cp -a` onto the same mount and `rsync -a` over ssh
#            (rsync's own protocol); then the deletion of the small tree from
#            the mount (`tandrel-cli delete --lists 4` against an empty
#            source) against `rm -rf` on the mount. Skipped, with a line
#            saying so, where sshd, sshfs or /dev/fuse are missing.
#
#   bench/run_copy_bench.sh [WORK_FOLDER]
#   BASE_REV=main bench/run_copy_bench.sh   # also times tandrel-cli as of BASE_REV
#
# Builds a Release tandrel-cli, makes a tree of 20,000 small files (0 to 300
# bytes, in about 1,000 nested folders) and a tree of three 300 MB files in
# WORK_FOLDER (default: a new folder under /var/tmp, removed at the end), then
# times the programs with hyperfine, each run starting from an empty
# destination. The source trees stay in the page cache, so this compares the
# programs, not the disk's read speed.
# Environment: SMALL_FILES (20000), LARGE_FILES (3), LARGE_MB (300), RUNS (3),
# NET_RUNS (3), SETTINGS ("local network": either or both), NET_ROWS (unset;
# else a list such as "4 8 16": on the network, tandrel-cli is timed once more
# with each number of rows in flight, through TANDREL_ROWS_IN_FLIGHT), BASE_REV (unset: no
# earlier build is timed; else a commit of this repository, exported with git
# archive and built beside the current one).
#
# Both sides are not doing the same work: tandrel-cli first compares the two
# trees, and it writes every file to a temporary name, flushes it to disk
# (fsync) only when it replaces an existing file, renames it into place, and
# flushes the destination's file system once (syncfs) before it reports the
# end of the run; cp -a writes in place and never flushes.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/loopback_sshd.sh
source "$here/bench/loopback_sshd.sh"
small_files=${SMALL_FILES:-20000}
large_files=${LARGE_FILES:-3}
large_mb=${LARGE_MB:-300}
runs=${RUNS:-3}
net_runs=${NET_RUNS:-3}
settings=${SETTINGS:-"local network"}

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
cleanup_steps=()
finish() {
    for ((i = ${#cleanup_steps[@]} - 1; i >= 0; i--)); do eval "${cleanup_steps[i]}" || true; done
    if $cleanup; then rm -rf "$work"; else rm -rf "$work/dst" "$work/net"; fi
}
trap finish EXIT

echo "Making the trees in $work ..."
python3 - "$work/small" "$small_files" <<'EOF'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20261207)
# About 1,000 leaf folders, three levels deep, 20 files in each.
per_folder = 20
for i in range(count):
    leaf = i // per_folder
    folder = os.path.join(root, "a%02d" % (leaf // 100), "b%02d" % (leaf // 10 % 10), "c%02d" % (leaf % 10))
    if i % per_folder == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file%05d.dat" % i), "wb") as f:
        f.write(rng.randbytes(rng.randint(0, 300)))
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

if [[ " $settings " == *" local "* ]]; then
    echo
    echo "== local"
    measure small "$work/small"
    measure large "$work/large"
fi

network_skip() {
    echo
    echo "== network: skipped, $1"
}

# Median seconds of each command onto the sshfs mount; every run starts from
# an empty (or, for the deletion, freshly filled) destination and a new mount.
measure_net() { # NAME SRC KIND(copy|delete)
    local name="$1" src="$2" kind="$3" json="$work/net-$1-$3.json"
    local served="$work/net/dst" mounted="$mnt/dst" empty="$work/net/empty"
    local base=() rows=() fill n
    mkdir -p "$empty"
    if [[ $kind == copy ]]; then
        fill="rm -rf '$served' && mkdir '$served'"
        [[ -n "$base_cli" ]] && base=(-n "tandrel-cli $BASE_REV" "'$base_cli' copy --to destination --lists 3 '$src' '$mounted'")
        for n in ${NET_ROWS:-}; do
            rows+=(-n "tandrel-cli, $n rows" "TANDREL_ROWS_IN_FLIGHT=$n '$cli' copy --to destination --lists 3 '$src' '$mounted'")
        done
        hyperfine --style basic --runs "$net_runs" --export-json "$json" \
            --prepare "$fill && sync -f '$work' && $mount_cmd" \
            -n "cp -a" "cp -a '$src/.' '$mounted/'" \
            -n "rsync -a over ssh" "rsync -a -e \"$rsync_ssh\" '$src/' '$user@127.0.0.1:$served/'" \
            "${base[@]}" "${rows[@]}" \
            -n "tandrel-cli" "'$cli' copy --to destination --lists 3 '$src' '$mounted'" >&2
        "$cli" compare --summary "$src" "$served" | grep -q "^Can not find destination: 0$" || {
            echo "run_copy_bench: the network copy of $name is incomplete" >&2
            exit 1
        }
    else
        fill="rm -rf '$served' && cp -a '$src' '$served'"
        # The source is empty on purpose: a build that guards an empty side is told so.
        allow() { "$1" delete --help 2>/dev/null | grep -q -- --allow-empty-side && echo " --allow-empty-side"; }
        local allow_cli allow_base=""
        allow_cli=$(allow "$cli")
        [[ -n "$base_cli" ]] && allow_base=$(allow "$base_cli")
        [[ -n "$base_cli" ]] && base=(-n "tandrel-cli $BASE_REV" "'$base_cli' delete$allow_base --lists 4 '$empty' '$mounted'")
        for n in ${NET_ROWS:-}; do
            rows+=(-n "tandrel-cli, $n rows" "TANDREL_ROWS_IN_FLIGHT=$n '$cli' delete$allow_cli --lists 4 '$empty' '$mounted'")
        done
        hyperfine --style basic --runs "$net_runs" --export-json "$json" \
            --prepare "$fill && sync -f '$work' && $mount_cmd" \
            -n "rm -rf" "rm -rf '$mounted/'*" \
            "${base[@]}" "${rows[@]}" \
            -n "tandrel-cli" "'$cli' delete$allow_cli --lists 4 '$empty' '$mounted'" >&2
        [[ -z "$(ls -A "$served")" ]] || {
            echo "run_copy_bench: the network deletion of $name is incomplete" >&2
            exit 1
        }
    fi
    python3 - "$json" "$name $kind" <<'EOF'
import json, sys
path, name = sys.argv[1:3]
results = {r["command"]: r["median"] for r in json.load(open(path))["results"]}
print(f"{name} (sshfs):")
tdl = results["tandrel-cli"]
for command, seconds in results.items():
    ratio = f"  tandrel-cli / it: {tdl / seconds:5.2f}" if command != "tandrel-cli" else ""
    print(f"  {command:22} {seconds:8.3f} s{ratio}")
EOF
}

if [[ " $settings " == *" network "* ]]; then
    sshd_bin="$(command -v sshd || echo /usr/sbin/sshd)"
    if [[ ! -x "$sshd_bin" ]] || ! command -v sshfs >/dev/null || ! command -v ssh-keygen >/dev/null \
        || ! command -v rsync >/dev/null; then
        network_skip "sshd, ssh-keygen, sshfs and rsync are needed (Debian openssh-server, sshfs, rsync)"
    elif [[ ! -c /dev/fuse ]]; then
        network_skip "there is no /dev/fuse"
    else
        mkdir -p "$work/net/dst"
        start_loopback_sshd /tmp/tandrel-sshcopybench.XXXXXX
        mkdir -p "$mnt/dst"
        rsync_ssh="ssh -p $port -i $ssh_dir/user_key -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR -o BatchMode=yes"
        mount_cmd="fusermount -u -q '$mnt/dst' 2>/dev/null; sshfs -o '$ssh_opts' '$user@127.0.0.1:$work/net/dst' '$mnt/dst'"
        cleanup_steps+=("fusermount -u -q '$mnt/dst'")
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            [[ -f "$ssh_dir/sshd.pid" ]] && break
            sleep 0.2
        done
        if ! bash -c "$mount_cmd" 2>"$ssh_dir/mount.log"; then
            network_skip "sshfs could not mount from the local sshd: $(head -c 300 "$ssh_dir/mount.log")"
        else
            echo
            echo "== network (sshfs on 127.0.0.1)"
            measure_net small "$work/small" copy
            measure_net small "$work/small" delete
            measure_net large "$work/large" copy
        fi
    fi
fi
