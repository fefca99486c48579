#!/usr/bin/env bash
# The crash and churn trials with the destination on a server: an sshd of
# their own on 127.0.0.1 (keys made for the run) serves the trials' folders,
# and the program reaches the destination over SFTP.
#
#   tools/remote_trials.sh CRASH_CLI CHURN_CLI [SEED] [CRASH_TRIALS] [CHURN_ROUNDS]
#
# Skips, and says why, where no sshd is installed or it cannot start.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
crash_cli="$(realpath "$1")"
churn_cli="$(realpath "$2")"
seed=${3:-1}
crash_trials=${4:-20}
churn_rounds=${5:-10}
sshd_bin="$(command -v sshd || echo /usr/sbin/sshd)"
if [[ ! -x "$sshd_bin" ]] || ! command -v ssh >/dev/null; then
    echo "Skipping the remote crash and churn trials: no sshd or ssh is installed."
    exit 0
fi
if ! mkdir -p /run/sshd 2>/dev/null; then
    echo "Skipping the remote crash and churn trials: sshd needs /run/sshd, which this user cannot make."
    exit 0
fi

cleanup_steps=()
finish() {
    for ((i = ${#cleanup_steps[@]} - 1; i >= 0; i--)); do eval "${cleanup_steps[i]}" || true; done
}
trap finish EXIT
# shellcheck source=bench/loopback_sshd.sh
source "$here/bench/loopback_sshd.sh"
start_loopback_sshd /tmp/tandrel-remote-trials-ssh.XXXXXX
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$ssh_dir/host_key.pub")" >"$ssh_dir/known_hosts"
cat >"$ssh_dir/config" <<CONFIG
Host *
  IdentitiesOnly yes
  IdentityFile $ssh_dir/user_key
  UserKnownHostsFile $ssh_dir/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  LogLevel ERROR
CONFIG
remote=(--remote "$user@127.0.0.1:$port" --ssh-config "$ssh_dir/config")

status=0
python3 -u "$here/tools/crash_trials/crash_trials.py" --cli "$crash_cli" --trials "$crash_trials" --big-mib 0 \
    --seed "$seed" "${remote[@]}" || status=1
python3 -u "$here/tools/churn_trials/churn_trials.py" --cli "$churn_cli" --rounds "$churn_rounds" \
    --seed "$seed" "${remote[@]}" || status=1
exit "$status"
