#!/usr/bin/python3
"""Retagging MP3 files that have room: Tunora (in place) against mutagen's save() and
TagLib's MPEG::File::save() on the same files, and against a rewrite (files without room).

Usage: retag_bench.py TUNORA_CLI --taglib TAGLIB_RETAG [--files 1000] [--size-mb 10]
                      [--rewrite-files 100] [--sizes 1,100 --size-files 20] [--repeat 3]
                      [--workdir DIR]

Each file: an ID3v2.3 tag with 4 KiB of padding, MPEG frames, an ID3v1 tag. Every contender
changes the same seven texts (title, artist, album, year, genre, track, comment) of every
file in one process, a different word each round; rounds alternate the contenders.
Before each timed run the page cache is written back (os.sync, not timed), so a contender
that syncs does not pay for the writes another left unsynced. Prints the time per file (median of the rounds), the ratios, the per-file time for small and
large files, and the fsync/fdatasync/syncfs calls per file (strace -f -c).
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MUTAGEN = r"""
import sys
from mutagen.id3 import ID3, TIT2, TPE1, TALB, TYER, TCON, TRCK, COMM
w = sys.argv[1]
for i, p in enumerate(sys.argv[2:]):
    t = ID3(p)
    for f in (TIT2(encoding=0, text='Title ' + w), TPE1(encoding=0, text='Artist ' + w),
              TALB(encoding=0, text='Album ' + w), TYER(encoding=0, text='2001'),
              TCON(encoding=0, text='Rock'), TRCK(encoding=0, text=str(i + 1)),
              COMM(encoding=0, lang='eng', desc='', text='Comment ' + w)):
        t.add(f)
    t.save(p, v2_version=3)
"""


def syncsafe(n):
    return bytes(((n >> s) & 0x7F) for s in (21, 14, 7, 0))


def make_file(path, size, room):
    frame = b"\xff\xfb\x90\x64" + bytes((i * 37) & 0xFF for i in range(413))
    title = b"TIT2" + (4).to_bytes(4, "big") + b"\x00\x00" + b"\x00Old"
    tag = b"ID3\x03\x00\x00" + syncsafe(len(title) + 4096) + title + b"\x00" * 4096 if room else b""
    v1 = b"TAG" + b"Old".ljust(30, b"\x00") + b"\x00" * 94 + b"\xff" if room else b""
    chunk = frame * 2048
    with open(path, "wb") as f:
        f.write(tag)
        left = size - len(tag) - len(v1)
        while left > 0:
            part = chunk[:left]
            f.write(part)
            left -= len(part)
        f.write(v1)


def files(workdir, name, n, size, room):
    d = os.path.join(workdir, name)
    os.makedirs(d, exist_ok=True)
    out = []
    for i in range(n):
        p = os.path.join(d, f"{i:04d}.mp3")
        make_file(p, size, room)
        out.append(p)
    os.sync()  # the new files on disk: a contender's sync pays for its own writes only
    return out


def tunora(cli, word, paths):
    return [cli, "tag", "--title", "Title " + word, "--artist", "Artist " + word, "--album", "Album " + word,
            "--year", "2001", "--genre", "Rock", "--track", "1", "--comment", "Comment " + word] + paths


def timed(cmd, env=None):
    # What the contender before left dirty goes to disk first: a contender that syncs would
    # otherwise pay for the writes of one that does not.
    os.sync()
    t0 = time.perf_counter()
    subprocess.run(cmd, check=True, env=env, stdout=subprocess.DEVNULL)
    return time.perf_counter() - t0


def syncs(cmd, env):
    r = subprocess.run(["strace", "-f", "-c", "-e", "trace=fsync,fdatasync,syncfs"] + cmd, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    return sum(int(m.group(1)) for m in re.finditer(r"^\s*[\d.]+\s+[\d.]+\s+\d+\s+(\d+)\s+(?:\d+\s+)?(?:fsync|fdatasync|syncfs)$",
                                                    r.stderr, re.M))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--taglib", required=True)
    ap.add_argument("--files", type=int, default=1000)
    ap.add_argument("--size-mb", type=int, default=10)
    # The rewrite costs the same per file however many there are; fewer keep the disk free.
    ap.add_argument("--rewrite-files", type=int, default=100)
    ap.add_argument("--sizes", default="1,100")
    ap.add_argument("--size-files", type=int, default=20)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--workdir")
    a = ap.parse_args()
    workdir = a.workdir or tempfile.mkdtemp(prefix="tunora-retag-bench-")
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0",
               XDG_CACHE_HOME=os.path.join(workdir, "cache"), TUNORA_APP_FOLDER=os.path.join(workdir, "app"))
    app = os.path.join(workdir, "app")
    os.makedirs(app, exist_ok=True)
    open(os.path.join(app, "installed-from-package"), "w").close()  # the journal goes to the cache folder
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(a.cli)), "styles.dat"), app)
    size = a.size_mb * 1000 * 1000
    room = files(workdir, "room", a.files, size, True)
    bare = files(workdir, "bare", min(a.files, a.rewrite_files), size, False)
    n = len(room)

    t_tun, t_mut, t_tl = [], [], []
    for r in range(a.repeat):
        t_tun.append(timed(tunora(a.cli, f"t{r}", room), env))
        t_mut.append(timed(["/usr/bin/python3", "-c", MUTAGEN, f"m{r}"] + room))
        t_tl.append(timed([a.taglib, f"l{r}"] + room))
    # Files without room: rewritten (today's way for every file), once each.
    t_rew = timed(tunora(a.cli, "rw", bare), env)
    tun, mut, tl = (statistics.median(x) / n * 1000 for x in (t_tun, t_mut, t_tl))
    rew = t_rew / len(bare) * 1000
    shutil.rmtree(os.path.dirname(bare[0]))
    print(f"{n} files of {a.size_mb} MB with room, median of {a.repeat} rounds, ms per file")
    print(f"tunora-cli tag (in place) : {tun:8.2f}")
    print(f"mutagen save()            : {mut:8.2f}   tunora / mutagen = {tun / mut:5.2f}")
    print(f"TagLib MPEG::File::save() : {tl:8.2f}   tunora / taglib  = {tun / tl:5.2f}")
    print(f"tunora-cli tag (rewrite, {len(bare)} files): {rew:8.2f}   rewrite / in place = {rew / tun:5.1f}")

    # Small and large files side by side, the rounds alternating, so the disk's moods fall on both.
    sets = {mb: files(workdir, f"size{mb}", a.size_files, mb * 1000 * 1000, True)
            for mb in (int(x) for x in a.sizes.split(","))}
    rounds = {mb: [] for mb in sets}
    for r in range(a.repeat):
        for mb, ps in sets.items():
            rounds[mb].append(timed(tunora(a.cli, f"s{r}", ps), env))
    per = {}
    for mb, ps in sets.items():
        per[mb] = statistics.median(rounds[mb]) / len(ps) * 1000
        print(f"{mb:4d} MB files ({len(ps)}): {per[mb]:8.2f} ms per file")
        shutil.rmtree(os.path.dirname(ps[0]))
    ks = sorted(per)
    if len(ks) >= 2:
        print(f"largest / smallest: {per[ks[-1]] / per[ks[0]]:5.2f}")

    few = room[:20]
    print("fsync + fdatasync + syncfs calls per file (20 files in one run, strace -f -c):")
    print(f"  tunora in place : {syncs(tunora(a.cli, 'sy', few), env) / len(few):5.2f}")
    print(f"  tunora rewrite  : {syncs(tunora(a.cli, 'sy', files(workdir, 'bare2', 20, size, False)), env) / 20:5.2f}")
    print(f"  mutagen         : {syncs(['/usr/bin/python3', '-c', MUTAGEN, 'sy'] + few, env) / len(few):5.2f}")
    print(f"  TagLib          : {syncs([a.taglib, 'sy'] + few, env) / len(few):5.2f}")
    if not a.workdir:
        shutil.rmtree(workdir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
