# Sourced by the benchmark scripts: an sshd of their own on 127.0.0.1 with
# keys made for the run, for sshfs mounts and rsync over ssh. Needs
# `sshd_bin` and the caller's `cleanup_steps`; sets ssh_dir, port, mnt, user
# and ssh_opts (the sshfs options).
start_loopback_sshd() {
    ssh_dir="$(mktemp -d "$1")"
    cleanup_steps+=("rm -rf '$ssh_dir'")
    ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/host_key"
    ssh-keygen -q -t ed25519 -N '' -f "$ssh_dir/user_key"
    cp "$ssh_dir/user_key.pub" "$ssh_dir/authorized_keys"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat > "$ssh_dir/sshd_config" <<CONFIG
ListenAddress 127.0.0.1
Port $port
HostKey $ssh_dir/host_key
AuthorizedKeysFile $ssh_dir/authorized_keys
PidFile $ssh_dir/sshd.pid
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
Subsystem sftp internal-sftp
CONFIG
    mkdir -p /run/sshd
    "$sshd_bin" -f "$ssh_dir/sshd_config" -E "$ssh_dir/sshd.log"
    cleanup_steps+=("kill \$(cat '$ssh_dir/sshd.pid') 2>/dev/null")
    mnt="$ssh_dir/mnt"
    user="$(id -un)"
    ssh_opts="port=$port,IdentityFile=$ssh_dir/user_key,StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,LogLevel=ERROR,BatchMode=yes"
}
