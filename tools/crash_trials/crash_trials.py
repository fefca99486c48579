#!/usr/bin/env python3
"""Kills tandrel-cli copy and delete runs at random moments and checks that no
user data was lost.

Each trial makes a fresh pair of trees (seeded), asks `compare` for the lists
and checks them against what was made, starts one copy or delete, sends it
SIGKILL after a random delay, then checks both trees: every file is either
its old contents or the complete new contents with the source's time, nothing
outside the acted rows changed, and the only leftovers are Tandrel's own
temporary files. Then `compare` and the same command again must finish the
job, leave no temporary file behind and leave the acted lists empty.

    crash_trials.py --cli build/src/cli/tandrel-cli [--seed N] [--trials N]
                    [--big-mib N] [--work DIR] [--keep] [--rows-in-flight N]

With --rows-in-flight N the runs work on N rows at once, as they do on a
network target (TANDREL_ROWS_IN_FLIGHT), so that kills land with rows in flight.

With --remote USER@HOST:PORT --ssh-config FILE the destination is named to
the program as sftp://USER@HOST:PORT/<its folder>: an sshd on this machine
serves the trees' own folder, so that the checks read what the server wrote.

Every row a killed run reports done (--json) must be done on disk.
"""

import json

import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import stat
import subprocess
import sys
import time

TEMP_NAME = re.compile(rb"^\.tandrel-tmp-\d+-\d+-[0-9a-f]{8}\.tmp$")
FOLDERS = ["", "a/", "a/b/", "src/", "src/docs/", "c/a/b/"]
CAPTIONS = ["Newer than destination", "Older than destination", "Can not find destination",
            "Can not find source", "Only size changed"]

# name: (command arguments, acted lists, side written or deleted, Overwriting)
SCENARIOS = {
    "copy-to-destination": (["copy", "--to", "destination", "--lists", "1,2,3,5"], {1, 2, 3, 5}, "d", True),
    "copy-to-source": (["copy", "--to", "source", "--lists", "1,2,4,5"], {1, 2, 4, 5}, "s", None),
    "copy-overwriting-off": (["copy", "--to", "destination", "--lists", "1,2,3,5"], {1, 2, 3, 5}, "d", False),
    "delete": (["delete", "--lists", "3,4"], {3, 4}, None, True),
}


def settings_file(path, overwriting):
    lines = ["[Source]", "", "[Destination]", "", "[Project]", "", "", "[Option]", "IgnoreTime=0",
             "IgnoreType=0", "IgnoreArchive=0", "IgnoreHidden=1", "IgnoreReadonly=0", "IgnoreSystem=1",
             "Overwriting=" + ("True" if overwriting else "False"), "IgnoreError=True", "PlaySound=False", "",
             "[IgnoreFile]"]
    with open(path, "w", newline="") as f:
        f.write("".join(line + "\r\n" for line in lines))


class Pool:
    """Big files of real random data, made once and hard-linked into trees:
    a copy renames a new file over a link and never writes into the pool."""

    def __init__(self, folder, mib):
        self.paths = {}
        os.makedirs(folder, exist_ok=True)
        for name, size, mtime in (("old", mib, 1_500_000_000), ("new", mib, 1_600_000_000),
                                  ("other", mib + mib // 4, 1_550_000_000)):
            path = os.path.join(folder, name)
            if not os.path.exists(path) or os.path.getsize(path) != size << 20:
                with open(path + ".part", "wb") as f:
                    for _ in range(size):
                        f.write(os.urandom(1 << 20))
                os.rename(path + ".part", path)
            os.chmod(path, 0o644)
            os.utime(path, ns=(mtime * 10**9, mtime * 10**9 + 123))
            self.paths[name] = path
            st = os.stat(path)
            _pool_hashes[(st.st_dev, st.st_ino)] = content_hash(path)


class Tree:
    """One trial's pair of trees and the list each made path belongs to."""

    def __init__(self, root, rng, pool, readonly_share):
        self.root, self.rng, self.pool, self.ro = root, rng, pool, readonly_share
        self.lists = {n: set() for n in range(1, 6)}
        self.protected = set()  # list rows whose target is read-only on the written side
        for side in "sd":
            for folder in FOLDERS:  # on both sides, so that no list holds them
                os.makedirs(os.path.join(root, side, folder), exist_ok=True)

    def put(self, side, rel, data=None, mtime=1_580_000_000, mode=0o644, link_from=None):
        path = os.path.join(self.root, side, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if link_from:
            os.link(link_from, path)
            return
        with open(path, "wb") as f:
            f.write(data if data is not None else self.data())
        os.chmod(path, mode)
        os.utime(path, ns=(mtime * 10**9, mtime * 10**9 + self.rng.randrange(10**9)))

    def data(self):
        size = self.rng.choice([0, 1, 100, 4096, 65536, self.rng.randrange(1, 300_000)])
        if self.rng.random() < 0.08:
            size = self.rng.randrange(1 << 20, 8 << 20)
        return self.rng.randbytes(size)

    def folder(self):
        return self.rng.choice(FOLDERS)

    def pair(self, lst, rel, ro_side):
        t, data = 1_580_000_000 + self.rng.randrange(10**6), self.data()
        other = data + b"!" if lst == 5 else self.data()
        ts = {1: (t + 100, t), 2: (t, t + 100), 5: (t, t)}[lst]
        modes = {side: (0o444 if side == ro_side and self.rng.random() < self.ro else 0o644) for side in "sd"}
        self.put("s", rel, data, ts[0], modes["s"])
        self.put("d", rel, other, ts[1], modes["d"])
        if modes[ro_side] == 0o444:
            self.protected.add(rel)
        self.lists[lst].add(rel)

    def make(self, big, ro_side):
        rng = self.rng
        for i in range(rng.randrange(5, 15)):  # equal on both sides
            rel, data, t = f"{self.folder()}same{i}.txt", self.data(), 1_570_000_000 + i
            self.put("s", rel, data, t)
            self.put("d", rel, data, t)
        for i in range(3):  # hidden files are filtered by default: outside every list
            self.put(rng.choice("sd"), f"{self.folder()}.hidden{i}")
            self.put("s", f".both{i}", b"s")
            self.put("d", f".both{i}", b"d" * 3)
        for lst in (1, 2, 5):
            for i in range(rng.randrange(2, 7)):
                self.pair(lst, f"{self.folder()}l{lst}-{i}.dat", ro_side)
        for lst, side in ((3, "s"), (4, "d")):
            for i in range(rng.randrange(2, 7)):
                rel = f"{self.folder()}only-{side}{i}.dat"
                self.put(side, rel, mode=0o444 if rng.random() < self.ro else 0o644)
                self.lists[lst].add(rel)
            deep = "/".join(f"new{side}{k}" for k in range(rng.randrange(2, 8)))
            for k in range(len(deep.split("/"))):
                self.lists[lst].add("/".join(deep.split("/")[:k + 1]))
            for i in range(rng.randrange(1, 4)):
                self.put(side, f"{deep}/f{i}.bin")
                self.lists[lst].add(f"{deep}/f{i}.bin")
            os.makedirs(os.path.join(self.root, side, f"empty-{side}"))
            self.lists[lst].add(f"empty-{side}")
            os.symlink(f"../pointing-at-{side}", os.path.join(self.root, side, f"link-{side}"))
            self.lists[lst].add(f"link-{side}")
        if big:
            newer, older = ("s", "d") if ro_side != "s" else ("d", "s")
            self.put(newer, "big/replace.bin", link_from=self.pool.paths["new"])
            self.put(older, "big/replace.bin", link_from=self.pool.paths["old"])
            self.lists[1 if newer == "s" else 2].add("big/replace.bin")
            side = "d" if ro_side == "s" else "s"
            self.put(side, "big/x/y/z/other.bin", link_from=self.pool.paths["other"])
            for rel in ("big/x", "big/x/y", "big/x/y/z", "big/x/y/z/other.bin"):
                self.lists[3 if side == "s" else 4].add(rel)


_pool_hashes = {}  # (device, inode) of a pool file -> its hash; pool inodes live all run long
# SFTP carries times in whole seconds and sets none on a link: with a remote
# side, times are compared to the second and a link's not at all.
_whole_seconds = False


def state_of(path):
    st = os.lstat(path)
    if stat.S_ISDIR(st.st_mode):
        return ("folder",)
    mtime = st.st_mtime_ns - st.st_mtime_ns % 10**9 if _whole_seconds else st.st_mtime_ns
    if stat.S_ISLNK(st.st_mode):
        return ("link", os.readlink(path), None if _whole_seconds else mtime)
    digest = _pool_hashes.get((st.st_dev, st.st_ino)) or content_hash(path)
    return ("file", digest, mtime, stat.S_IMODE(st.st_mode), st.st_size)


def snapshot_one(path):
    try:
        return state_of(path)
    except FileNotFoundError:
        return None


def content_hash(path):
    h = hashlib.blake2b()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            h.update(chunk)
    return h.hexdigest()


def snapshot(root):
    """relative path -> state, and the temporary files found."""
    states, temps = {}, []
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if TEMP_NAME.match(os.fsencode(name)):
                st = os.lstat(path)
                temps.append((rel, stat.S_ISREG(st.st_mode) or stat.S_ISLNK(st.st_mode)))
            else:
                states[rel] = state_of(path)
    return states, temps


def size_of(state):
    return state[4] if state[0] == "file" else 0


def with_write_bit(state):
    return state[:3] + (state[3] | 0o200,) + state[4:] if state[0] == "file" else state


def parse_lists(text, roots):
    """The five lists of a `compare` report, as relative paths."""
    lists, current, header = {n: set() for n in range(1, 6)}, None, False
    for line in re.split(r"\r?\n", text):  # CR LF on Windows, LF here
        m = re.match(r"^---(.*) \(\d+\)---$", line)
        if m:
            current, header = CAPTIONS.index(m.group(1)) + 1, True
        elif header:
            header = False
        elif line and current:
            path = line.split("\t")[0]
            if TEMP_NAME.match(os.fsencode(os.path.basename(path))):
                raise ValueError(f"a temporary file is listed: {path!r}")
            root = roots[1] if current == 4 else roots[0]
            if not path.startswith(root):
                raise ValueError(f"row outside the roots: {path!r}")
            lists[current].add(path[len(root):])
    return lists


class Trial:
    def __init__(self, cli, root, scenario, rng, pool, big, remote=None):
        self.cli, self.root, self.name = cli, root, scenario
        self.args, self.acted, self.written, self.overwriting = SCENARIOS[scenario]
        self.roots = [os.path.join(root, "s") + "/", os.path.join(root, "d") + "/"]
        if remote:
            self.roots[1] = f"sftp://{remote[0]}{self.roots[1]}"
        self.tree = Tree(root, rng, pool, 0.3)
        self.tree.make(big, self.written or "d")
        # Always a settings file of its own: without one the program takes the window's.
        settings_file(os.path.join(root, "tdl.ini"), True if self.overwriting is None else self.overwriting)
        self.extra = ["--settings", os.path.join(root, "tdl.ini")]
        if remote:
            self.extra += ["--ssh-config", remote[1]]
        self.before = {side: snapshot(os.path.join(root, side))[0] for side in "sd"}
        self.problems, self.lost, self.leftovers, self.reported = [], 0, 0, 0

    def command(self):
        return [self.cli] + self.args + self.extra + self.roots

    def rows(self):
        return set().union(*(self.tree.lists[n] for n in self.acted))

    def protected(self):
        return self.tree.protected & self.rows() if self.overwriting is False else set()

    def check_lists(self):
        out = subprocess.run([self.cli, "compare"] + self.extra + self.roots, capture_output=True)
        if out.returncode not in (0, 1):  # 1: differences found, as diff says it
            return self.fail(f"compare exited {out.returncode}: {out.stderr.decode(errors='replace')}")
        try:
            lists = parse_lists(out.stdout.decode(errors="surrogateescape"), self.roots)
        except ValueError as e:
            return self.fail(str(e))
        return lists

    def fail(self, text):
        self.problems.append(text)
        return None

    def wanted(self, side, rel, finished):
        """The states a path may have after an interrupted run, or after the recovery run."""
        old = self.before[side].get(rel)
        if rel not in self.rows() or rel in self.protected() or self.written not in (None, side):
            return [old], old
        done = None if self.written is None else self.before["d" if side == "s" else "s"].get(rel)
        if finished:
            return [done], done
        ok = [old, done]
        if old is not None and self.overwriting is not False:  # its write bit given before the copy
            ok.append(with_write_bit(old))
        return ok, done

    def check_reported(self, text):
        """Every row the run reported done is done on disk."""
        for line in text.decode(errors="surrogateescape").splitlines():
            try:
                row = json.loads(line)
            except ValueError:
                continue  # the last line, cut by the kill
            if row.get("type") != "row" or row.get("outcome") != "done":
                continue
            self.reported += 1
            rel = row["path"].rstrip("/")
            side = self.written or ("s" if row["list"] == 3 else "d")
            now = snapshot_one(os.path.join(self.root, side, rel))
            ok, done = self.wanted(side, rel, True)
            if now != done:
                self.fail(f"{side}/{rel}: reported done but {describe(now)}, expected {describe(done)}")

    def check_trees(self, finished):
        for side in "sd":
            now, temps = snapshot(os.path.join(self.root, side))
            self.leftovers += 0 if finished else len(temps)
            for rel, regular in temps:
                if not regular:
                    self.fail(f"{side}/{rel}: temporary name on something not a file")
                elif finished:
                    self.fail(f"{side}/{rel}: temporary file left after the recovery run")
            for rel in sorted(set(now) | set(self.before[side])):
                old, new = self.before[side].get(rel), now.get(rel)
                ok, done = self.wanted(side, rel, finished)
                if new in ok:
                    continue
                self.fail(f"{side}/{rel}: {describe(old)} became {describe(new)}, expected "
                          + " or ".join(describe(w) for w in ok))
                hashes = {s[1] for s in (old, done) if s is not None and s[0] == "file"}
                if old is not None and old[0] == "file" and (new is None or new[0] != "file" or new[1] not in hashes):
                    self.lost += size_of(old)

    def run(self, delay):
        made = self.check_lists()
        if made is not None and made != self.tree.lists:
            diff = {n: (sorted(made[n] - self.tree.lists[n])[:3], sorted(self.tree.lists[n] - made[n])[:3])
                    for n in made if made[n] != self.tree.lists[n]}
            self.fail(f"comparison before the run disagrees with the trees made (extra, missing): {diff}")
        with open(os.path.join(self.root, "reported"), "w+b") as out:
            proc = subprocess.Popen(self.command() + ["--json"], stdout=out, stderr=subprocess.DEVNULL)
            try:
                proc.wait(timeout=delay)
                killed = False
            except subprocess.TimeoutExpired:
                proc.send_signal(signal.SIGKILL)
                proc.wait()
                killed = True
            out.seek(0)
            self.check_reported(out.read())
        self.check_trees(False)
        if self.check_lists() is None:
            return killed
        rerun = subprocess.run(self.command(), capture_output=True)
        expected_code = 1 if self.protected() else 0
        if rerun.returncode != expected_code:
            self.fail(f"recovery run exited {rerun.returncode}, expected {expected_code}: "
                      f"{rerun.stderr.decode(errors='replace')[:300]}")
        self.check_trees(True)
        lists = self.check_lists()
        if lists is not None:
            left = set().union(*(lists[n] for n in self.acted))
            if left != self.protected():
                self.fail(f"acted lists not settled after the recovery run: {sorted(left ^ self.protected())[:5]}")
        return killed


def describe(state):
    if state is None:
        return "absent"
    if state[0] == "file":
        return f"file({state[4]} bytes, mode {state[3]:o}, mtime {state[2]}, {state[1][:8]})"
    return repr(state)


def remove(root):
    subprocess.run(["chmod", "-R", "u+w", root])
    shutil.rmtree(root)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--cli", required=True)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--trials", type=int, default=200)
    p.add_argument("--big-mib", type=int, default=200, help="size of the big files (0: small files only)")
    p.add_argument("--big-share", type=float, default=0.3, help="share of trials with big files")
    p.add_argument("--scenarios", default=",".join(SCENARIOS))
    p.add_argument("--work", default=None)
    p.add_argument("--keep", action="store_true", help="keep the trees of failed trials")
    p.add_argument("--rows-in-flight", type=int, default=0,
                   help="rows each copy or delete works on at once, as on a network target (0: as the target decides)")
    p.add_argument("--remote", metavar="USER@HOST:PORT", help="the destination through this sshd")
    p.add_argument("--ssh-config", help="ssh's configuration for --remote")
    a = p.parse_args()
    remote = (a.remote, os.path.abspath(a.ssh_config)) if a.remote else None
    global _whole_seconds
    _whole_seconds = remote is not None
    if a.rows_in_flight > 0:
        os.environ["TANDREL_ROWS_IN_FLIGHT"] = str(a.rows_in_flight)

    cli = os.path.abspath(a.cli)
    work = a.work or f"/tmp/tandrel-crash-trials-{os.getpid()}"
    os.makedirs(work, exist_ok=True)
    pool = Pool(os.path.join(work, "pool"), a.big_mib) if a.big_mib > 0 else None
    scenarios = a.scenarios.split(",")
    stats = {s: {"run": 0, "failed": 0, "lost": 0, "killed": 0, "leftovers": 0, "reported": 0} for s in scenarios}
    rng = random.Random(a.seed)
    for n in range(a.trials):
        scenario = scenarios[n % len(scenarios)]
        big = pool is not None and rng.random() < a.big_share
        seed = rng.getrandbits(64)
        root = os.path.join(work, f"trial-{n}")
        # The same trees once more, run to the end, tell how long the run takes.
        timing = Trial(cli, root + "-timing", scenario, random.Random(seed), pool, big, remote)
        start = time.monotonic()
        subprocess.run(timing.command(), capture_output=True)
        delay = random.Random(seed + 1).uniform(0, time.monotonic() - start)
        remove(timing.root)
        trial = Trial(cli, root, scenario, random.Random(seed), pool, big, remote)
        killed = trial.run(delay)
        s = stats[scenario]
        s["run"] += 1
        s["killed"] += killed
        s["lost"] += trial.lost
        s["leftovers"] += trial.leftovers
        s["reported"] += trial.reported
        if trial.problems:
            s["failed"] += 1
            print(f"FAILED trial {n} ({scenario}{', big files' if big else ''}, seed {a.seed}, "
                  f"killed after {delay:.3f} s):")
            for problem in trial.problems[:10]:
                print("   ", problem)
        if not (trial.problems and a.keep):
            remove(root)
    failed = sum(s["failed"] for s in stats.values())
    if not a.work and not (failed and a.keep):
        shutil.rmtree(work)
    print(f"{'scenario':<22}{'trials':>8}{'killed':>8}{'failed':>8}{'bytes lost':>12}{'temp files':>12}{'done rows':>11}")
    for name, s in stats.items():
        print(f"{name:<22}{s['run']:>8}{s['killed']:>8}{s['failed']:>8}{s['lost']:>12}{s['leftovers']:>12}{s['reported']:>11}")
    total = sum(s["run"] for s in stats.values())
    print(f"crash-trials: {total - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
