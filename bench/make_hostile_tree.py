#!/usr/bin/env python3
"""Makes FOLDER/src and FOLDER/dst, two trees of about ENTRIES entries each
with hostile names, for the hostile-names scale run:

    make_hostile_tree.py FOLDER [ENTRIES] [SEED]

Names hold newlines, tabs, backslashes and wildcards, bytes that are not
UTF-8, leading dashes, and 255 bytes; one chain of folders makes paths longer
than 4,096 bytes, with files along it; src holds a 5 GiB sparse file. dst is
src with differences: entries and whole folders missing on either side,
files newer, older and changed in size only. Most files are empty, so the
trees cost inodes rather than blocks. Everything is made relative to open
folders, since the long paths cannot be named whole. Prints the counts.
"""

import os
import random
import sys

HOSTILE = [b"line\nbreak", b"tab\there", b"back\\slash", b"star*?", b"bad\xff\xfeutf8", b"-rf", b"--lists",
           b"-", b"sp ace ", b"\xc3\x28latin", b"semi;colon", b"quote'\"", b"new\nline\n"]
T0 = 1_600_000_000


class Maker:
    def __init__(self, rng):
        self.rng = rng
        self.counts = dict(entries=0, newer=0, older=0, size=0, only_src=0, only_dst=0)

    def name(self, i):
        pick = i % 40
        if pick < len(HOSTILE):
            return HOSTILE[pick] + str(i).encode()
        if pick == len(HOSTILE):
            return (b"L%d" % i).ljust(255, b"x")
        return b"f%d.dat" % i

    def file(self, fd, name, content, mtime):
        out = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644, dir_fd=fd)
        if content:
            os.write(out, content)
        os.close(out)
        os.utime(name, ns=(mtime, mtime), dir_fd=fd, follow_symlinks=False)
        self.counts["entries"] += 1

    def folder(self, fd, name):
        os.mkdir(name, 0o755, dir_fd=fd)
        self.counts["entries"] += 1
        return os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)

    def files(self, src, dst, count, start):
        """`count` files in a pair of folders; either may be None (missing on that side)."""
        rng = self.rng
        for i in range(start, start + count):
            name = self.name(i)
            content = b"" if rng.random() < 0.9 else rng.randbytes(rng.randrange(1, 200))
            mtime = T0 + rng.randrange(10**6) * 10**9 + rng.randrange(10**9)
            r = rng.random()
            if dst is None or (src is not None and r < 0.03):
                self.file(src, name, content, mtime)
                self.counts["only_src"] += 1
            elif src is None or r < 0.06:
                self.file(dst, name, content, mtime)
                self.counts["only_dst"] += 1
            else:
                self.file(src, name, content, mtime)
                if r < 0.08:
                    self.file(dst, name, content + b"old", mtime - 3600 * 10**9)
                    self.counts["newer"] += 1
                elif r < 0.10:
                    self.file(dst, name, content + b"new", mtime + 3600 * 10**9)
                    self.counts["older"] += 1
                elif r < 0.11:
                    self.file(dst, name, content + b"size", mtime)
                    self.counts["size"] += 1
                else:
                    self.file(dst, name, content, mtime)

    def long_chain(self, src, dst):
        """Folders of 250-byte names, 20 deep: paths past 4,096 bytes."""
        fds = []
        for level in range(20):
            name = (b"deep%d-\n-" % level).ljust(250, b"d")
            src = self.folder(src, name)
            dst = self.folder(dst, name) if level < 17 else None  # the bottom only in src
            fds += [src] + ([dst] if dst is not None else [])
            self.files(src, dst, 5, level * 100)
        for fd in fds:
            os.close(fd)


def main():
    root = sys.argv[1]
    target = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    m = Maker(rng)
    os.makedirs(root)
    top = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    src, dst = m.folder(top, b"src"), m.folder(top, b"dst")
    m.long_chain(src, dst)
    big = os.open(b"sparse-5GiB.bin", os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=src)
    os.truncate(big, 5 << 30)
    os.pwrite(big, b"end", (5 << 30) - 3)
    os.close(big)
    m.counts["entries"] += 1
    m.counts["only_src"] += 1
    per_folder = 98
    i = 0
    while m.counts["entries"] < target * 2:
        name = m.name(i)[:250] + b"-dir"
        r = rng.random()
        s = m.folder(src, name) if r >= 0.005 else None  # whole folders missing on one side
        d = m.folder(dst, name) if r < 0.005 or r >= 0.01 else None
        m.files(s, d, per_folder, 0)
        for fd in (s, d):
            if fd is not None:
                os.close(fd)
        i += 1
    print(" ".join(f"{k}={v}" for k, v in m.counts.items()))


if __name__ == "__main__":
    main()
