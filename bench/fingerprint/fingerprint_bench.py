#!/usr/bin/python3
"""Fingerprints of many four-minute files: `tunora-cli fingerprint` against `fpcalc -plain`.

Usage: fingerprint_bench.py TUNORA_CLI [--files 100] [--distinct 10] [--seconds 240]
                            [--rounds 3] [--workdir DIR]

Makes --distinct MP3 files of --seconds each (pink noise over a tone, one seed each, 192 kbit/s
by ffmpeg's LAME encoder) and copies them under --files names; with a warm page cache, then
measures in the same run, alternating, --rounds times each:
  - tunora-cli fingerprint over all files (one process, one decode per file on every core),
  - fpcalc -plain once per file (the way a script runs it over a folder).
Checks first that both give the same fingerprints; prints the median times and the ratio
fpcalc / tunora-cli (higher = tunora-cli faster).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def make_files(work, count, distinct, seconds):
    sources = []
    for n in range(distinct):
        path = os.path.join(work, "source%02d.mp3" % n)
        subprocess.run(["ffmpeg", "-v", "error", "-y",
                        "-f", "lavfi", "-i", "anoisesrc=d=%d:c=pink:seed=%d:a=0.3" % (seconds, n + 1),
                        "-f", "lavfi", "-i", "sine=f=%d:d=%d" % (220 + 30 * n, seconds),
                        "-filter_complex", "[0][1]amerge=inputs=2", "-ac", "2", "-ar", "44100",
                        "-c:a", "libmp3lame", "-b:a", "192k", path], check=True)
        sources.append(path)
    files = []
    for i in range(count):
        path = os.path.join(work, "track%03d.mp3" % i)
        shutil.copyfile(sources[i % distinct], path)
        files.append(path)
    for s in sources:
        os.remove(s)
    return files


def warm(files):
    for f in files:
        with open(f, "rb") as h:
            while h.read(1 << 20):
                pass


def run_tunora(cli, files):
    out = subprocess.run([cli, "fingerprint"] + files, check=True, capture_output=True, text=True).stdout
    return {line.split("\t")[2]: line.split("\t")[1] for line in out.splitlines()}


def run_fpcalc(files):
    prints = {}
    for f in files:
        # fpcalc ends with 3 after a harmless end-of-file message of its reader.
        out = subprocess.run(["fpcalc", "-plain", f], capture_output=True, text=True).stdout
        prints[f] = out.strip()
    return prints


def timed(fn, *args):
    start = time.perf_counter()
    result = fn(*args)
    return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("--files", type=int, default=100)
    parser.add_argument("--distinct", type=int, default=10)
    parser.add_argument("--seconds", type=int, default=240)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--workdir")
    args = parser.parse_args()
    work = args.workdir or tempfile.mkdtemp(prefix="tunora-fp-bench-")
    os.makedirs(work, exist_ok=True)
    try:
        print("making %d files of %d s (%d distinct) in %s" % (args.files, args.seconds, args.distinct, work))
        files = make_files(work, args.files, args.distinct, args.seconds)
        warm(files)
        sample = files[:args.distinct]
        if run_tunora(args.cli, sample) != run_fpcalc(sample):
            print("tunora-cli and fpcalc differ", file=sys.stderr)
            return 1
        tunora, fpcalc = [], []
        for _ in range(args.rounds):
            tunora.append(timed(run_tunora, args.cli, files)[0])
            fpcalc.append(timed(run_fpcalc, files)[0])
        t, f = statistics.median(tunora), statistics.median(fpcalc)
        print("cores: %d" % os.cpu_count())
        print("tunora-cli fingerprint: %.2f s (rounds: %s)" % (t, ", ".join("%.2f" % x for x in tunora)))
        print("fpcalc per file:        %.2f s (rounds: %s)" % (f, ", ".join("%.2f" % x for x in fpcalc)))
        print("ratio fpcalc / tunora-cli: %.2fx" % (f / t))
        return 0
    finally:
        if not args.workdir:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
