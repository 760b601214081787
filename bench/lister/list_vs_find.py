#!/usr/bin/python3
"""tunora-cli list --recurse over a tree of 50,000 files, against find(1) over the same tree.

Usage: list_vs_find.py TUNORA_CLI [FILES] [RUNS]
Prints both times (best of RUNS, warm cache) and their ratio.
"""
import os
import subprocess
import sys
import tempfile
import time


def make_tree(root, files):
    # 50 artists x 10 albums, each album a folder of audio files with a cover and a note.
    per_album = max(1, files // 500)
    made = 0
    exts = ["mp3", "mp3", "mp3", "MP3", "ogg", "jpg", "txt"]
    for a in range(50):
        for b in range(10):
            album = os.path.join(root, f"Artist {a:02d}", f"Album {b:02d}")
            os.makedirs(album)
            for t in range(per_album):
                ext = exts[t % len(exts)]
                with open(os.path.join(album, f"{t:02d} - Track number {t}.{ext}"), "wb") as f:
                    f.write(b"x" * (t % 7))
                made += 1
    return made


def best_of(runs, cmd):
    """Best wall time and best processor time (user + system) of the runs."""
    best = best_cpu = None
    for _ in range(runs):
        r0 = os.times()
        t0 = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
        dt = time.perf_counter() - t0
        r1 = os.times()
        cpu = (r1.children_user - r0.children_user) + (r1.children_system - r0.children_system)
        best = dt if best is None else min(best, dt)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
    return best, best_cpu


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    cli = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 50000
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    with tempfile.TemporaryDirectory(prefix="tunora-bench-lister-") as tmp:
        root = os.path.join(tmp, "music")
        made = make_tree(root, files)
        out = os.path.join(tmp, "listing.txt")
        tunora = [cli, "list", root, "--recurse", "--pattern", "%5%1%2", "--output", out]
        find = ["find", root, "-type", "f", "-iname", "*.mp3"]
        best_of(1, tunora)  # warm the cache
        best_of(1, find)
        t_tunora, c_tunora = best_of(runs, tunora)
        t_find, c_find = best_of(runs, find)
        listed = sum(1 for line in open(out, "rb") if line.strip() and not line.startswith(b"["))
        found = len(subprocess.run(find, check=True, capture_output=True).stdout.splitlines())
        print(f"tree: {made} files in 500 folders; listed {listed}, find found {found}")
        print(f"tunora-cli list --recurse --pattern %5%1%2: {t_tunora * 1000:.1f} ms wall, "
              f"{c_tunora * 1000:.0f} ms processor (best of {runs})")
        print(f"find -type f -iname '*.mp3': {t_find * 1000:.1f} ms wall, {c_find * 1000:.0f} ms processor")
        # The listing is written through a temporary file with fsync; find writes nothing.
        print(f"ratio tunora/find: {t_tunora / t_find:.2f} wall, {c_tunora / max(c_find, 1e-3):.2f} processor")
        return 0 if listed == found else 1


if __name__ == "__main__":
    sys.exit(main())
