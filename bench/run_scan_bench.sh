#!/usr/bin/env bash
# Speed of a whole comparison, `tandrel-cli compare --summary SRC DST`,
# against a dry run of rsync over the same pair and against the bare listing
# of both trees by find, in three settings, each as ratios of the medians:
#
#   1. local, warm cache (FILES files per side, default 200,000);
#   2. local, cold cache: `sync; echo 3 > /proc/sys/vm/drop_caches` before
#      every timed run (skipped, with a line saying so, where that is not
#      allowed);
#   3. network: both trees through sshfs from an sshd this script starts on
#      127.0.0.1 with a throwaway key (NET_FILES files per side, default
#      20,000); both are mounted afresh before every timed run, so nothing is
#      cached on the client side; the server reads from its warm cache. Skipped
#      with a line saying so where sshd, sshfs or /dev/fuse are missing;
#   4. pause: the longest time the scan leaves its window without a turn, and
#      the time it takes to stop once the run flag goes down 0.2 s in
#      (bench/scan_pause), over PAUSE_FOLDERS folders of PAUSE_FILES files a
#      side (default 4 and 60,000; made in WORK_FOLDER/pause), locally and,
#      when the network setting runs, through sshfs mounted afresh before every run.
#
#   bench/run_scan_bench.sh [WORK_FOLDER]
#
# Builds Release binaries in build-bench, makes the trees with make_tree in
# WORK_FOLDER (default /tmp/tandrel-scanbench; kept for the next run, made
# again only when incomplete), checks that the program's counts equal the
# generator's, then times the three commands with hyperfine. The scanner picks
# its reading threads from the file system type (see the "threads" lines).
# Finally it prints the memory cost of result rows.
# Environment: FILES (200000), NET_FILES (20000), RUNS (5), COLD_RUNS (3),
# NET_RUNS (3), WARMUP (2), PAUSE_FILES (60000), PAUSE_FOLDERS (4),
# PAUSE_RUNS (3), SETTINGS ("warm cold network pause": any of them),
# BASE_CLI (another build of tandrel-cli, timed beside this one as "before"),
# BASE_PAUSE (another build of scan_pause, run after this one as "before").
#
# The three commands do not do the same work: find only lists and stats both
# trees; rsync -n also pairs the files by name and compares size and time;
# tandrel-cli pairs them, classifies every difference into its five lists and
# prints the counts.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/loopback_sshd.sh
source "$here/bench/loopback_sshd.sh"
files=${FILES:-200000}
net_files=${NET_FILES:-20000}
runs=${RUNS:-5}
cold_runs=${COLD_RUNS:-3}
net_runs=${NET_RUNS:-3}
warmup=${WARMUP:-2}
pause_files=${PAUSE_FILES:-60000}
pause_folders=${PAUSE_FOLDERS:-4}
pause_runs=${PAUSE_RUNS:-3}
settings=${SETTINGS:-"warm cold network pause"}
work="${1:-/tmp/tandrel-scanbench}"

for tool in cmake ninja hyperfine rsync find jq; do
    command -v "$tool" >/dev/null || { echo "run_scan_bench: $tool is needed" >&2; exit 2; }
done

build="$here/build-bench"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_CORE_ONLY=ON >/dev/null
if ! log="$(ninja -C "$build" -j2 tandrel-cli make_tree row_memory scan_pause 2>&1)"; then
    echo "$log" >&2
    echo "run_scan_bench: the build failed" >&2
    exit 1
fi
cli="$build/src/cli/tandrel-cli"

# make_tree FOLDER FILES: the pair of trees, made once and kept.
make_pair() {
    if [[ ! -f "$1/.complete" ]]; then
        echo "Making two trees of about $2 files in $1 ..."
        rm -rf "$1/src" "$1/dst"
        mkdir -p "$1"
        "$build/bench/make_tree" "$1" "$2" >/dev/null
    fi
}

# The answer must be right before its time means anything.
check_counts() { # SRC DST EXPECTED
    if ! diff <("$cli" compare --summary "$1" "$2" | head -n 5) "$3" >/dev/null; then
        echo "run_scan_bench: tandrel-cli's counts differ from the generator's:" >&2
        diff <("$cli" compare --summary "$1" "$2" | head -n 5) "$3" >&2 || true
        exit 1
    fi
}

threads_for() { # FOLDER: what the scanner chooses there
    case "$(stat -f -c %T "$1")" in
        nfs*|smb*|cifs|fuseblk|fuse*|ceph|afs|coda|v9fs|9p|lustre|gpfs|gfs*|ocfs2) echo "16 reading threads + the walk" ;;
        *) echo "4 reading threads + the walk" ;;
    esac
}

json="$(mktemp /tmp/tandrel-scanbench.XXXXXX.json)"
cleanup_steps=("rm -f '$json'")
cleanup() {
    for ((i = ${#cleanup_steps[@]} - 1; i >= 0; i--)); do eval "${cleanup_steps[i]}" || true; done
}
trap cleanup EXIT

# time_three LABEL SRC DST RUNS [PREPARE]
time_three() {
    local label="$1" src="$2" dst="$3" n="$4" prepare="${5:-}"
    local args=(--style basic --runs "$n" --export-json "$json")
    if [[ -n "$prepare" ]]; then
        args+=(--prepare "$prepare")
    else
        args+=(--warmup "$warmup")
    fi
    echo
    echo "== $label: $src and $dst ($(threads_for "$src")); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    # compare ends with status 1 when the trees differ, as they do here; only
    # a status above 1 (trouble) fails the run.
    local before=()
    if [[ -n "${BASE_CLI:-}" ]]; then
        before=(-n "before" "'$BASE_CLI' compare --summary '$src' '$dst'; test \$? -le 1")
    fi
    hyperfine "${args[@]}" "${before[@]}" \
        -n "tandrel-cli" "'$cli' compare --summary '$src' '$dst'; test \$? -le 1" \
        -n "rsync" "rsync -n -r -t -i --delete --no-perms '$src/' '$dst/'" \
        -n "find" "find '$src' '$dst' -printf '%s %T@\n' > /dev/null" >/dev/null
    jq -r --arg name "$label" '
      (.results | map({(.command): .}) | add) as $r
      | ( .results[] | "  \(.command | . + "            " | .[0:12]) median \(.median | tostring | .[0:6]) s (min \(.min | tostring | .[0:6]), max \(.max | tostring | .[0:6])), processor time \((.user + .system) | tostring | .[0:6]) s" ),
        "  \($name): tandrel-cli / find  \(($r["tandrel-cli"].median / $r["find"].median) * 100 | round / 100)",
        "  \($name): tandrel-cli / rsync \(($r["tandrel-cli"].median / $r["rsync"].median) * 100 | round / 100)",
        "  \($name): rsync / find        \(($r["rsync"].median / $r["find"].median) * 100 | round / 100)",
        if $r["before"] then "  \($name): tandrel-cli / before \(($r["tandrel-cli"].median / $r["before"].median) * 100 | round / 100)" else empty end
    ' "$json"
}

local_pair="$work/local"
make_pair "$local_pair" "$files"
check_counts "$local_pair/src" "$local_pair/dst" "$local_pair/.complete"
echo "Counts agree with the generator ($files files per side):"
sed 's/^/  /' "$local_pair/.complete"

if [[ " $settings " == *" warm "* ]]; then
    time_three "local warm" "$local_pair/src" "$local_pair/dst" "$runs"
fi

if [[ " $settings " == *" cold "* ]]; then
    if (sync && echo 3 > /proc/sys/vm/drop_caches) 2>/dev/null; then
        time_three "local cold" "$local_pair/src" "$local_pair/dst" "$cold_runs" \
            "sync; echo 3 > /proc/sys/vm/drop_caches"
    else
        echo
        echo "== local cold: skipped, the page cache cannot be dropped here (needs root and a writable /proc/sys/vm/drop_caches)"
    fi
fi

pause_pair="$work/pause"
pause_args=(--files "$pause_files" --folders "$pause_folders" --runs "$pause_runs")
if [[ " $settings " == *" pause "* ]]; then
    echo
    echo "== pause, local warm: $pause_folders folders of $pause_files files a side; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    "$build/bench/scan_pause" "${pause_args[@]}" "$pause_pair" | sed 's/^/  /'
    if [[ -n "${BASE_PAUSE:-}" ]]; then
        echo "  before:"
        "$BASE_PAUSE" "${pause_args[@]}" "$pause_pair" | sed 's/^/    /'
    fi
fi

network_skip() {
    echo
    echo "== network: skipped, $1"
}

if [[ " $settings " == *" network "* ]]; then
    sshd_bin="$(command -v sshd || echo /usr/sbin/sshd)"
    if [[ ! -x "$sshd_bin" ]] || ! command -v sshfs >/dev/null || ! command -v ssh-keygen >/dev/null; then
        network_skip "sshd, ssh-keygen and sshfs are needed (Debian openssh-server, sshfs)"
    elif [[ ! -c /dev/fuse ]]; then
        network_skip "there is no /dev/fuse"
    else
        net_pair="$work/net"
        make_pair "$net_pair" "$net_files"
        start_loopback_sshd /tmp/tandrel-sshbench.XXXXXX
        mkdir -p "$mnt/src" "$mnt/dst"
        mount_cmd="fusermount -u -q '$mnt/src' 2>/dev/null; fusermount -u -q '$mnt/dst' 2>/dev/null; \
sshfs -o '$ssh_opts' '$user@127.0.0.1:$net_pair/src' '$mnt/src' && \
sshfs -o '$ssh_opts' '$user@127.0.0.1:$net_pair/dst' '$mnt/dst'"
        cleanup_steps+=("fusermount -u -q '$mnt/src'; fusermount -u -q '$mnt/dst'")
        for _ in 1 2 3 4 5 6 7 8 9 10; do
            [[ -f "$ssh_dir/sshd.pid" ]] && break
            sleep 0.2
        done
        if ! bash -c "$mount_cmd" 2>"$ssh_dir/mount.log"; then
            network_skip "sshfs could not mount from the local sshd: $(head -c 300 "$ssh_dir/mount.log")"
        else
            check_counts "$mnt/src" "$mnt/dst" "$net_pair/.complete"
            echo
            echo "Counts through sshfs agree with the generator ($net_files files per side)."
            time_three "network (sshfs)" "$mnt/src" "$mnt/dst" "$net_runs" "$mount_cmd"
            if [[ " $settings " == *" pause "* ]]; then
                pmnt="$ssh_dir/pause"
                mkdir -p "$pmnt/src" "$pmnt/dst"
                pause_mount="fusermount -u -q '$pmnt/src' 2>/dev/null; fusermount -u -q '$pmnt/dst' 2>/dev/null; \
sshfs -o '$ssh_opts' '$user@127.0.0.1:$pause_pair/src' '$pmnt/src' && \
sshfs -o '$ssh_opts' '$user@127.0.0.1:$pause_pair/dst' '$pmnt/dst'"
                cleanup_steps+=("fusermount -u -q '$pmnt/src'; fusermount -u -q '$pmnt/dst'")
                echo
                echo "== pause, network (sshfs): $pause_folders folders of $pause_files files a side; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
                "$build/bench/scan_pause" "${pause_args[@]}" --prepare "$pause_mount" "$pmnt/src" "$pmnt/dst" |
                    sed 's/^/  /'
                if [[ -n "${BASE_PAUSE:-}" ]]; then
                    echo "  before:"
                    "$BASE_PAUSE" "${pause_args[@]}" --prepare "$pause_mount" "$pmnt/src" "$pmnt/dst" |
                        sed 's/^/    /'
                fi
            fi
        fi
    fi
fi

echo
echo "Memory of result rows:"
"$build/bench/row_memory" | sed 's/^/  /'
