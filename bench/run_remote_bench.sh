#!/usr/bin/env bash
# Copying a tree of 20,000 small files (0 to 300 bytes, in about 1,000
# nested folders) into an empty remote folder through the program's own SFTP
# client (bench/remote_tree.cpp, many requests in flight), against `rsync -a`
# over ssh to the same sshd on 127.0.0.1, at added one-way delays of 0, 10
# and 50 ms (../shared/tools/delay-proxy.py as ssh's ProxyCommand; a round
# trip costs twice the delay). Also the listing of the copied tree
# (remote_tree list) against `rsync -a -n -i` of the same tree, which sends
# the file list and reports nothing to do, and a whole comparison of the
# local tree against the remote copy (`tandrel-cli compare`, which reads the
# remote tree and compares it) against that same rsync.
#
#   bench/run_remote_bench.sh [WORK_FOLDER]
#
# Environment: SMALL_FILES (20000), RUNS (3), DELAYS ("0 10 50"), WINDOW
# (requests in flight, 256), CHANNELS (SSH connections the files are spread
# over, 4), WORK (which of "copy list compare" to run; without copy, the
# remote copy is made with cp -a). Prints the median of RUNS runs for each.
# Both sides write every file under a temporary name and rename it into
# place with its times and permission bits (rsync -a); ours also flushes
# each file on the server (fsync@openssh.com) before its rename, which rsync
# never does. The column "no flush" is ours on one channel without that
# flush, to show what the protocol costs and what the flushes cost.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=bench/loopback_sshd.sh
source "$here/bench/loopback_sshd.sh"
small_files=${SMALL_FILES:-20000}
runs=${RUNS:-3}
delays=${DELAYS:-"0 10 50"}
window=${WINDOW:-256}
channels=${CHANNELS:-4}
work_kinds=${WORK:-"copy list compare"}
proxy="$here/../shared/tools/delay-proxy.py"
sshd_bin="$(command -v sshd || echo /usr/sbin/sshd)"

for tool in cmake ninja hyperfine python3 rsync jq "$sshd_bin"; do
    command -v "$tool" >/dev/null || { echo "run_remote_bench: $tool is needed" >&2; exit 2; }
done
[[ -f "$proxy" ]] || { echo "run_remote_bench: $proxy is needed" >&2; exit 2; }

build="$here/build-remotebench"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTANDREL_CORE_ONLY=ON >/dev/null
ninja -C "$build" -j2 remote_tree tandrel-cli >/dev/null
tool="$build/bench/remote_tree"
cli="$build/src/cli/tandrel-cli"

cleanup_steps=()
if [[ $# -ge 1 ]]; then
    work="$1"
    mkdir -p "$work"
    cleanup_steps+=("rm -rf '$work/dst'")
else
    work="$(mktemp -d /var/tmp/tandrel-remote-bench.XXXXXX)"
    cleanup_steps+=("rm -rf '$work'")
fi
finish() {
    for ((i = ${#cleanup_steps[@]} - 1; i >= 0; i--)); do eval "${cleanup_steps[i]}" || true; done
}
trap finish EXIT

if [[ ! -f "$work/small/.complete" ]]; then
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
    touch "$work/small/.complete"
fi

start_loopback_sshd /tmp/tandrel-remote-bench-ssh.XXXXXX
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$ssh_dir/host_key.pub")" >"$ssh_dir/known_hosts"
base_args=(-F none -oBatchMode=yes -oIdentitiesOnly=yes "-oIdentityFile=$ssh_dir/user_key"
    "-oUserKnownHostsFile=$ssh_dir/known_hosts" -oStrictHostKeyChecking=yes -oLogLevel=ERROR)
dst="$work/dst"

median() { jq '.results[0].median' "$1"; }
wanted() { [[ " $work_kinds " == *" $1 "* ]]; }
ratio() { awk -v o="$1" -v r="$2" 'BEGIN { print o / r }'; }
if ! wanted copy; then
    rm -rf "$dst" && cp -a "$work/small" "$dst"
fi

printf '%-6s %-6s %10s %10s %8s %10s %8s\n' "delay" "work" "rsync s" "ours s" "ratio" "no flush" "ratio"
for delay in $delays; do
    args=("${base_args[@]}")
    if [[ "$delay" != 0 ]]; then
        args+=("-oProxyCommand=python3 $proxy $delay %h %p")
    fi
    rsync_ssh="ssh -p $port"
    for a in "${args[@]}"; do rsync_ssh+=" '$a'"; done
    ours_args=""
    for a in "${args[@]}"; do ours_args+=" '$a'"; done
    url="sftp://$user@127.0.0.1:$port$dst"

    if wanted copy; then
        hyperfine --runs "$runs" --export-json "$work/rsync-copy.json" \
            --prepare "rm -rf '$dst' && mkdir '$dst'" \
            "rsync -a -e \"$rsync_ssh\" '$work/small/' '$user@127.0.0.1:$dst/'" >/dev/null
        hyperfine --runs "$runs" --export-json "$work/ours-copy.json" \
            --prepare "rm -rf '$dst' && mkdir '$dst'" \
            "'$tool' copy '$work/small' '$url' --window $window --channels $channels --$ours_args" >/dev/null
        hyperfine --runs "$runs" --export-json "$work/ours-noflush.json" \
            --prepare "rm -rf '$dst' && mkdir '$dst'" \
            "'$tool' copy '$work/small' '$url' --window $window --no-flush --$ours_args" >/dev/null
        r=$(median "$work/rsync-copy.json")
        o=$(median "$work/ours-copy.json")
        n=$(median "$work/ours-noflush.json")
        printf '%-6s %-6s %10.2f %10.2f %8.2f %10.2f %8.2f\n' "${delay}ms" copy "$r" "$o" \
            "$(ratio "$o" "$r")" "$n" "$(ratio "$n" "$r")"
    fi

    # The tree is now in place: list it, against rsync finding nothing to do.
    hyperfine --runs "$runs" --export-json "$work/rsync-list.json" \
        "rsync -a -n -i -e \"$rsync_ssh\" '$work/small/' '$user@127.0.0.1:$dst/'" >/dev/null
    r=$(median "$work/rsync-list.json")
    if wanted list; then
        hyperfine --runs "$runs" --export-json "$work/ours-list.json" \
            "'$tool' list '$url' --window $window --$ours_args" >/dev/null
        o=$(median "$work/ours-list.json")
        printf '%-6s %-6s %10.2f %10.2f %8.2f\n' "${delay}ms" list "$r" "$o" "$(ratio "$o" "$r")"
    fi
    if wanted compare; then
        # The same ssh options for the program, as an ssh configuration file.
        config="$ssh_dir/config-$delay"
        {
            echo "Host *"
            echo "  IdentitiesOnly yes"
            echo "  IdentityFile $ssh_dir/user_key"
            echo "  UserKnownHostsFile $ssh_dir/known_hosts"
            echo "  StrictHostKeyChecking yes"
            echo "  BatchMode yes"
            echo "  LogLevel ERROR"
            [[ "$delay" == 0 ]] || echo "  ProxyCommand python3 $proxy $delay %h %p"
        } >"$config"
        hyperfine --runs "$runs" --export-json "$work/ours-compare.json" \
            "'$cli' compare --summary --quiet --no-filters --ssh-config '$config' '$work/small' '$url'" >/dev/null
        o=$(median "$work/ours-compare.json")
        printf '%-6s %-6s %10.2f %10.2f %8.2f\n' "${delay}ms" compare "$r" "$o" "$(ratio "$o" "$r")"
    fi
done
