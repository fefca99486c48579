#!/usr/bin/env python3
"""Runs tandrel-cli compare, copy and delete while another process keeps
changing both trees: creating, deleting and renaming files and folders,
swapping a folder for a symbolic link (to a folder outside the roots) and
back, and changing permissions.

Both run as user nobody when started as root, so that permissions count. Each round is one
command. A round fails on a crash or a sanitizer report, on a hang (time
limit), when anything outside the two roots changed (a sentinel tree and the
link targets are checked after every round), or when a printed row names a
path outside the roots.

    churn_trials.py --cli build-asan/src/cli/tandrel-cli [--rounds N] [--seed N] [--rows-in-flight N]

With --rows-in-flight N copies and deletes work on N rows at once, as on a
network target (TANDREL_ROWS_IN_FLIGHT).

With --remote USER@HOST:PORT --ssh-config FILE the destination is named to
the program as sftp://USER@HOST:PORT/<its folder>, served by an sshd on this
machine, and both processes run as the user who started the trials (the
server writes as the user it logged in, and ssh reads that user's key).
"""

import argparse
import multiprocessing
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

UNREADABLE = ": Cannot read the folder '"

# Who the program and the other process run as: nobody when we are root.
USER, GROUP = (65534, 65534) if os.geteuid() == 0 else (os.geteuid(), os.getegid())
SANITIZER = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer")
COMMANDS = [
    ["compare"],
    ["copy", "--to", "destination", "--lists", "1,2,3,5"],
    ["copy", "--to", "source", "--lists", "1,2,4,5"],
    ["delete", "--lists", "4"],
    ["delete", "--lists", "3"],
]


def fill(folder, rng, files, depth=3):
    os.makedirs(folder, exist_ok=True)
    for i in range(files):
        with open(os.path.join(folder, f"f{rng.randrange(1000)}-{i}.txt"), "wb") as f:
            f.write(rng.randbytes(rng.randrange(0, 5000)))
    if depth > 0:
        for i in range(rng.randrange(1, 4)):
            fill(os.path.join(folder, f"dir{i}"), rng, files // 2 + 1, depth - 1)


def state(root):
    """Every entry below root with what it holds, links never followed."""
    out = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            held = os.readlink(path) if os.path.islink(path) else None
            if held is None and not os.path.isdir(path):
                with open(path, "rb") as f:
                    held = f.read()
            out[os.path.relpath(path, root)] = (st.st_mode, st.st_mtime_ns, held)
    return out


def churn(roots, targets, seed, stop, done, links_heavy, who):
    """The other process: changes both trees until told to stop."""
    os.setgid(who[1])
    os.setuid(who[0])
    rng = random.Random(seed)
    swapped = []  # (link path, the folder's parked name)

    def pick(kind):
        root = rng.choice(roots)
        found = []
        for folder, dirs, files in os.walk(root):
            found += [os.path.join(folder, n) for n in (dirs if kind == "dir" else files)
                      if not os.path.islink(os.path.join(folder, n))]
            if len(found) > 200:
                break
        return rng.choice(found) if found else None

    while not stop.is_set():
        try:
            # Mostly folder-for-link swaps and new files, when asked: the
            # race of a copy against a swap on its way comes up far more often.
            action = rng.choice([0, 3, 5, 5, 5, 6, 6, 6]) if links_heavy else rng.randrange(9)
            if action == 0:
                folder = pick("dir") or rng.choice(roots)
                with open(os.path.join(folder, f"new{rng.randrange(10**6)}.txt"), "wb") as f:
                    f.write(rng.randbytes(rng.randrange(0, 20000)))
            elif action == 1 and (path := pick("file")):
                os.unlink(path)
            elif action == 2 and (path := pick(rng.choice(["file", "dir"]))):
                os.rename(path, os.path.join(os.path.dirname(path), f"moved{rng.randrange(10**6)}"))
            elif action == 3:
                fill(os.path.join(pick("dir") or rng.choice(roots), f"grown{rng.randrange(10**6)}"), rng, 3, 1)
            elif action == 4 and (path := pick("dir")):
                shutil.rmtree(path, ignore_errors=True)
            elif action == 5 and (path := pick("dir")) and not os.path.islink(path):
                parked = f"{path}.parked{rng.randrange(10**6)}"
                os.rename(path, parked)
                os.symlink(rng.choice(targets), path)
                swapped.append((path, parked))
            elif action == 6 and swapped:
                link, parked = swapped.pop(rng.randrange(len(swapped)))
                if os.path.islink(link):
                    os.unlink(link)
                    os.rename(parked, link)
            elif action == 7 and (path := pick(rng.choice(["file", "dir"]))):
                os.chmod(path, rng.choice([0o000, 0o444, 0o555, 0o644, 0o755]))
            elif action == 8 and (path := pick("dir")):
                os.chmod(path, 0o755)
            done.value += 1
        except OSError:
            pass  # the other side of the race: something moved first
        time.sleep(rng.random() * 0.002)


def printed_paths(text):
    """Column 0 and the other side's column of every row of a report."""
    paths, kind = [], None
    for line in re.split(r"\r?\n", text):  # CR LF on Windows, LF here
        if line.startswith("---"):
            kind = "header"
        elif kind == "header":
            kind = "pair" if "Name (Destination)" in line else "single"
        elif line and kind:
            cells = line.split("\t")
            paths.append(cells[0])
            if len(cells) > 5 and kind == "pair":
                paths.append(cells[5])
            elif len(cells) > 3 and kind == "single":
                paths.append(cells[3])
    return paths


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--rounds", type=int, default=100)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--timeout", type=float, default=120)
    p.add_argument("--files", type=int, default=40, help="files per top folder of each tree at the start")
    p.add_argument("--work", default=None)
    p.add_argument("--links-heavy", action="store_true", help="the other process mostly swaps folders for links")
    p.add_argument("--rows-in-flight", type=int, default=0,
                   help="rows each copy or delete works on at once, as on a network target (0: as the target decides)")
    p.add_argument("--remote", metavar="USER@HOST:PORT", help="the destination through this sshd")
    p.add_argument("--ssh-config", help="ssh's configuration for --remote")
    a = p.parse_args()
    who = (os.geteuid(), os.getegid()) if a.remote else (USER, GROUP)
    if a.rows_in_flight > 0:
        os.environ["TANDREL_ROWS_IN_FLIGHT"] = str(a.rows_in_flight)

    work = a.work or f"/tmp/tandrel-churn-trials-{os.getpid()}"
    rng = random.Random(a.seed)
    roots = [os.path.join(work, "pair", side) for side in ("s", "d")]
    sentinel = os.path.join(work, "sentinel")
    for folder in roots + [sentinel]:
        fill(folder, rng, a.files)
    targets = [sentinel, os.path.join(sentinel, "dir0")]
    cli = os.path.join(work, "tandrel-cli")
    shutil.copy2(a.cli, cli)
    os.chmod(work, 0o755)
    if os.geteuid() != who[0]:
        subprocess.run(["chown", "-R", f"{who[0]}:{who[1]}", work], check=True)
    # The roots as the program is given them and prints its rows under.
    named = [roots[0] + "/", (f"sftp://{a.remote}" if a.remote else "") + roots[1] + "/"]
    ssh = ["--ssh-config", os.path.abspath(a.ssh_config)] if a.remote else []
    watched = {"sentinel": state(sentinel), "pair": sorted(os.listdir(os.path.join(work, "pair")))}

    stop, done = multiprocessing.Event(), multiprocessing.Value("l", 0)
    churner = multiprocessing.Process(target=churn, args=(roots, targets, a.seed, stop, done, a.links_heavy, who))
    churner.start()
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0", UBSAN_OPTIONS="print_stacktrace=1")
    failures, counts = [], {}
    try:
        for n in range(a.rounds):
            command = COMMANDS[n % len(COMMANDS)]
            name = " ".join(command[:3])
            counts.setdefault(name, [0, 0])[0] += 1
            problems = []
            try:
                out = subprocess.run([cli] + command + ssh + named, capture_output=True,
                                     timeout=a.timeout, env=env, user=who[0], group=who[1], cwd=work)
                stdout = out.stdout.decode(errors="replace")
                stderr = out.stderr.decode(errors="replace")
                if out.returncode < 0:
                    problems.append(f"killed by signal {-out.returncode}")
                elif out.returncode not in (0, 1) and not (out.returncode == 2 and UNREADABLE in stderr):
                    # 2 with a folder named as unreadable: a permission the
                    # other process took away, which the run must report.
                    problems.append(f"exit status {out.returncode}: {stderr[:300]}")
                if SANITIZER.search(stderr):
                    problems.append("sanitizer report:\n" + stderr[:3000])
                outside = [q for q in printed_paths(stdout) if not any(q.startswith(r) for r in named)]
                if outside:
                    problems.append(f"rows outside the roots: {outside[:5]}")
            except subprocess.TimeoutExpired:
                problems.append(f"no end after {a.timeout} s (hang)")
            now = {"sentinel": state(sentinel), "pair": sorted(os.listdir(os.path.join(work, "pair")))}
            if now != watched:
                changed = sorted(k for k in set(now["sentinel"]) | set(watched["sentinel"])
                                 if now["sentinel"].get(k) != watched["sentinel"].get(k))
                problems.append(f"written outside the roots: sentinel {changed[:5]}, beside the roots {now['pair']}")
                watched = now
            if problems:
                counts[name][1] += 1
                failures.append(n)
                print(f"FAILED round {n} ({name}, seed {a.seed}):")
                for problem in problems:
                    print("   ", problem)
    finally:
        stop.set()
        churner.join(10)
        if churner.is_alive():
            os.kill(churner.pid, signal.SIGKILL)
    subprocess.run(["chmod", "-R", "u+rwx", work])
    shutil.rmtree(work)
    print(f"changes made by the other process while the commands ran: {done.value}")
    print(f"{'command':<26}{'rounds':>8}{'failed':>8}")
    for name, (run, failed) in counts.items():
        print(f"{name:<26}{run:>8}{failed:>8}")
    print(f"churn-trials: {a.rounds - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
