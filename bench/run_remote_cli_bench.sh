#!/usr/bin/env bash
# tandrel-cli against rsync with one side on another machine, over the same
# sshd on 127.0.0.1, at added round trips of 0, 10 and 50 ms
# (../shared/tools/delay-proxy.py as ssh's ProxyCommand for both programs,
# holding each byte back half the round trip each way). Medians of RUNS runs of:
#
#   copy     the 20,000-file tree into an empty remote folder
#            (tandrel-cli copy --to destination --lists 3 | rsync -a)
#   compare  the tree against a remote copy of it where 1 % of the files
#            differ (tandrel-cli compare | rsync -a -n -i)
#   delete   the remote tree's 20,000 files, against a source that holds one
#            file (tandrel-cli delete --lists 4 | rsync -a --delete)
#   big      3 files of 300 MB into an empty remote folder
#            (tandrel-cli copy --to destination --lists 3 | rsync -a)
#   sshfs    the same big copy by tandrel-cli into an sshfs mount of the
#            remote folder, the way a remote side was reached before
#
#   bench/run_remote_cli_bench.sh [WORK_FOLDER]
#
# Environment: SMALL_FILES (20000), BIG_MB (300), RUNS (3), DELAYS
# ("0 10 50"), WORK (which of "copy compare delete big sshfs" to run).
# Prints one line per measurement as it finishes, then the table.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/loopback_sshd.sh
source "$here/bench/loopback_sshd.sh"
small_files=${SMALL_FILES:-20000}
big_mb=${BIG_MB:-300}
runs=${RUNS:-3}
delays=${DELAYS:-"0 10 50"}
work_kinds=${WORK:-"copy compare delete big sshfs"}
proxy="$here/../shared/tools/delay-proxy.py"
sshd_bin="$(command -v sshd || echo /usr/sbin/sshd)"

for tool in cmake ninja hyperfine python3 rsync jq "$sshd_bin"; do
    command -v "$tool" >/dev/null || { echo "run_remote_cli_bench: $tool is needed" >&2; exit 2; }
done
[[ -f "$proxy" ]] || { echo "run_remote_cli_bench: $proxy is needed" >&2; exit 2; }
wanted() { [[ " $work_kinds " == *" $1 "* ]]; }
if wanted sshfs && ! command -v sshfs >/dev/null; then
    echo "run_remote_cli_bench: sshfs is missing, the sshfs row is left out" >&2
    work_kinds="${work_kinds//sshfs/}"
fi

build="$here/build-remotebench"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_CORE_ONLY=ON >/dev/null
ninja -C "$build" -j2 tandrel-cli >/dev/null
cli="$build/src/cli/tandrel-cli"

cleanup_steps=()
if [[ $# -ge 1 ]]; then
    work="$1"
    mkdir -p "$work"
    cleanup_steps+=("rm -rf '$work/dst'")
else
    work="$(mktemp -d /var/tmp/tandrel-remote-cli-bench.XXXXXX)"
    cleanup_steps+=("rm -rf '$work'")
fi
finish() {
    for ((i = ${#cleanup_steps[@]} - 1; i >= 0; i--)); do eval "${cleanup_steps[i]}" || true; done
}
trap finish EXIT

if [[ ! -f "$work/small.complete" ]]; then
    echo "Making the tree in $work/small ..."
    rm -rf "$work/small"
    python3 - "$work/small" "$small_files" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20261207)
per_folder = 20
for i in range(count):
    leaf = i // per_folder
    folder = os.path.join(root, "a%02d" % (leaf // 100), "b%02d" % (leaf // 10 % 10), "c%02d" % (leaf % 10))
    if i % per_folder == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file%05d.dat" % i), "wb") as f:
        f.write(rng.randbytes(rng.randint(0, 300)))
PY
    touch "$work/small.complete"
fi
if (wanted big || wanted sshfs) && [[ ! -f "$work/big.complete" ]]; then
    echo "Making 3 files of $big_mb MB in $work/big ..."
    rm -rf "$work/big" && mkdir -p "$work/big"
    for i in 1 2 3; do
        head -c "$((big_mb * 1024 * 1024))" /dev/urandom >"$work/big/file$i.bin"
    done
    touch "$work/big.complete"
fi
# The delete's source: a folder holding one file, so that the delete is not
# refused as one against an empty side.
mkdir -p "$work/one"
echo one >"$work/one/only.txt"

start_loopback_sshd /tmp/tandrel-remote-cli-bench-ssh.XXXXXX
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$ssh_dir/host_key.pub")" >"$ssh_dir/known_hosts"
dst="$work/dst"
url="sftp://$user@127.0.0.1:$port$dst"
rows=()

median() { jq '.results[0].median' "$1"; }
ratio() { awk -v o="$1" -v r="$2" 'BEGIN { printf "%.2f", o / r }'; }
# Changes 1 % of the files of the copy in $dst: new bytes of another size.
change_one_percent() {
    python3 - "$dst" <<'PY'
import os, sys
root = sys.argv[1]
paths = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs)
for p in paths[::100]:
    with open(p, "ab") as f:
        f.write(b"changed")
PY
}
# Times the two commands (prepared alike), prints and keeps the row.
measure() {
    local delay="$1" name="$2" prepare="$3" ours="$4" theirs="$5" o r
    hyperfine --runs "$runs" --export-json "$work/ours.json" --prepare "$prepare" "$ours" >/dev/null
    o=$(median "$work/ours.json")
    if [[ -n "$theirs" ]]; then
        hyperfine --runs "$runs" --export-json "$work/theirs.json" --prepare "$prepare" "$theirs" >/dev/null
        r=$(median "$work/theirs.json")
        rows+=("$(printf '| %s | %s ms | %.2f | %.2f | %s |' "$name" "$delay" "$o" "$r" "$(ratio "$o" "$r")")")
    else
        rows+=("$(printf '| %s | %s ms | %.2f | | |' "$name" "$delay" "$o")")
    fi
    echo "${rows[-1]}   (load $(cut -d' ' -f1-3 /proc/loadavg))"
}

for delay in $delays; do
    config="$ssh_dir/config-$delay"
    {
        echo "Host *"
        echo "  IdentitiesOnly yes"
        echo "  IdentityFile $ssh_dir/user_key"
        echo "  UserKnownHostsFile $ssh_dir/known_hosts"
        echo "  StrictHostKeyChecking yes"
        echo "  BatchMode yes"
        echo "  LogLevel ERROR"
        [[ "$delay" == 0 ]] || echo "  ProxyCommand python3 $proxy $(awk -v d="$delay" 'BEGIN { print d / 2 }') %h %p"
    } >"$config"
    rsync_ssh="ssh -F $config -p $port"
    remote="$user@127.0.0.1:$dst/"
    cli_run() { echo "'$cli' $1 --quiet --ssh-config '$config'"; }

    if wanted copy; then
        measure "$delay" "copy $small_files files" "rm -rf '$dst' && mkdir '$dst'" \
            "$(cli_run copy) --to destination --lists 3 '$work/small' '$url'" \
            "rsync -a -e '$rsync_ssh' '$work/small/' '$remote'"
    fi
    if wanted compare; then
        rm -rf "$dst" && cp -a "$work/small" "$dst" && change_one_percent
        measure "$delay" "compare, 1 % differs" "true" \
            "$(cli_run compare) --summary '$work/small' '$url' || [ \$? -eq 1 ]" \
            "rsync -a -n -i -e '$rsync_ssh' '$work/small/' '$remote'"
    fi
    if wanted delete; then
        measure "$delay" "delete $small_files files" "rm -rf '$dst' && cp -a '$work/small' '$dst'" \
            "$(cli_run delete) --lists 4 '$work/one' '$url'" \
            "rsync -a --delete -e '$rsync_ssh' '$work/one/' '$remote'"
    fi
    if wanted big; then
        measure "$delay" "copy 3 x $big_mb MB" "rm -rf '$dst' && mkdir '$dst'" \
            "$(cli_run copy) --to destination --lists 3 '$work/big' '$url'" \
            "rsync -a -e '$rsync_ssh' '$work/big/' '$remote'"
    fi
    if wanted sshfs; then
        mkdir -p "$mnt" "$dst"
        sshfs -o "ssh_command=ssh -F $config,port=$port" "$user@127.0.0.1:$dst" "$mnt"
        measure "$delay" "copy 3 x $big_mb MB, sshfs" "rm -rf '$mnt'/* && sync" \
            "'$cli' copy --quiet --to destination --lists 3 '$work/big' '$mnt'" ""
        fusermount -u "$mnt" 2>/dev/null || umount "$mnt"
    fi
done

echo
echo "| work | round trip | tandrel-cli s | rsync s | ratio |"
echo "|---|---|---:|---:|---:|"
printf '%s\n' "${rows[@]}"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
