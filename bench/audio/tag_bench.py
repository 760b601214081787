#!/usr/bin/python3
"""Rewriting a large file for a new ID3v2 tag against copying it.

Usage: tag_bench.py TUNORA_CLI [--size-mb 200] [--workdir DIR] [--repeat 5]

Builds one file of the given size (an old ID3v2 tag, then MPEG frames), and measures in
the same run, alternating the contenders so that both see the same cache state:
  - tunora-cli tag --v2 on the file (rewrite through a temporary file, fsync, rename),
  - cp of the same file to a new name in the same folder,
  - cp followed by `sync FILE` (cp with the same durability as the tag writer).
Prints medians and the ratios tag / cp and tag / (cp + sync); the target is tag / cp <= 1.3.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def make_file(path, size):
    frame = b"\xff\xfb\x90\x64" + bytes((i * 37) & 0xFF for i in range(413))
    old_tag = b"ID3\x03\x00\x00\x00\x00\x10\x00" + b"\x00" * 2048
    chunk = frame * 2048
    with open(path, "wb") as f:
        f.write(old_tag)
        left = size - len(old_tag)
        while left > 0:
            part = chunk[:left]
            f.write(part)
            left -= len(part)


def run(cmd):
    t0 = time.perf_counter()
    subprocess.run(cmd, check=True)
    return time.perf_counter() - t0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--size-mb", type=int, default=200)
    ap.add_argument("--workdir")
    ap.add_argument("--repeat", type=int, default=9)
    a = ap.parse_args()
    workdir = a.workdir or tempfile.mkdtemp(prefix="tunora-tag-bench-")
    os.makedirs(workdir, exist_ok=True)
    src = os.path.join(workdir, "big.mp3")
    make_file(src, a.size_mb * 1000 * 1000)
    dst = os.path.join(workdir, "copy.mp3")
    subprocess.run(["cat", src], check=True, stdout=subprocess.DEVNULL)  # warm the cache

    tag, cp, cpsync = [], [], []
    for i in range(a.repeat):
        tag.append(run([a.cli, "tag", "--v2", "--title", f"Run {i}", src]))
        cp.append(run(["cp", src, dst]))
        os.remove(dst)
        t0 = time.perf_counter()
        subprocess.run(["cp", src, dst], check=True)
        subprocess.run(["sync", dst], check=True)
        cpsync.append(time.perf_counter() - t0)
        os.remove(dst)
    m_tag, m_cp, m_cpsync = (statistics.median(x) for x in (tag, cp, cpsync))
    print(f"file: {a.size_mb} MB (workdir {workdir}), median of {a.repeat}")
    print(f"tunora-cli tag --v2 : {m_tag * 1000:8.1f} ms")
    print(f"cp                  : {m_cp * 1000:8.1f} ms   tag / cp        = {m_tag / m_cp:5.2f}")
    print(f"cp + sync FILE      : {m_cpsync * 1000:8.1f} ms   tag / (cp+sync) = {m_tag / m_cpsync:5.2f}")
    if not a.workdir:
        shutil.rmtree(workdir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
