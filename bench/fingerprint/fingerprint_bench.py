#!/usr/bin/python3
"""Fingerprints of many four-minute files: `tunora-cli fingerprint` against `fpcalc -plain`.

Usage: fingerprint_bench.py TUNORA_CLI [--files 100] [--distinct 10] [--seconds 240]
                            [--rounds 3] [--workdir DIR]

Makes (unless --workdir holds them from an earlier run) --distinct MP3 files of --seconds each (pink noise over a tone, one seed each, 192 kbit/s
by ffmpeg's LAME encoder) and copies them under --files names; with a warm page cache, then
measures in the same run, alternating, --rounds times each:
  - tunora-cli fingerprint over all files (one process, one decode per file on every core),
  - fpcalc -plain once per file (the way a script runs it over a folder).
Checks first that both give the same fingerprints; prints the median wall and CPU times, the
load average (other work on the machine takes cores from tunora-cli) and the ratios
fpcalc / tunora-cli (higher = tunora-cli faster).
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def make_files(work, count, distinct, seconds):
    files = [os.path.join(work, "track%03d.mp3" % i) for i in range(count)]
    if all(os.path.isfile(f) for f in files):
        return files  # a --workdir of an earlier run
    sources = []
    for n in range(distinct):
        path = os.path.join(work, "source%02d.mp3" % n)
        subprocess.run(["ffmpeg", "-v", "error", "-y",
                        "-f", "lavfi", "-i", "anoisesrc=d=%d:c=pink:seed=%d:a=0.3" % (seconds, n + 1),
                        "-f", "lavfi", "-i", "sine=f=%d:d=%d" % (220 + 30 * n, seconds),
                        "-filter_complex", "[0][1]amerge=inputs=2", "-ac", "2", "-ar", "44100",
                        "-c:a", "libmp3lame", "-b:a", "192k", path], check=True)
        sources.append(path)
    for i, path in enumerate(files):
        shutil.copyfile(sources[i % distinct], path)
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
    """Wall time and the CPU time (user + system) of the processes it ran."""
    cpu0 = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    result = fn(*args)
    wall = time.perf_counter() - start
    cpu1 = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, cpu1.ru_utime + cpu1.ru_stime - cpu0.ru_utime - cpu0.ru_stime


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
        tunora, fpcalc, tunora_cpu, fpcalc_cpu = [], [], [], []
        load = os.getloadavg()[0]
        for _ in range(args.rounds):
            wall, cpu = timed(run_tunora, args.cli, files)
            tunora.append(wall)
            tunora_cpu.append(cpu)
            wall, cpu = timed(run_fpcalc, files)
            fpcalc.append(wall)
            fpcalc_cpu.append(cpu)
        t, f = statistics.median(tunora), statistics.median(fpcalc)
        # Other work on the machine takes cores from the parallel contender: say how much.
        print("cores: %d, load average before: %.2f, after: %.2f" % (os.cpu_count(), load, os.getloadavg()[0]))
        print("tunora-cli fingerprint: %.2f s (rounds: %s), CPU %.2f s" %
              (t, ", ".join("%.2f" % x for x in tunora), statistics.median(tunora_cpu)))
        print("fpcalc per file:        %.2f s (rounds: %s), CPU %.2f s" %
              (f, ", ".join("%.2f" % x for x in fpcalc), statistics.median(fpcalc_cpu)))
        print("ratio fpcalc / tunora-cli: %.2fx (wall), %.2fx (CPU)" %
              (f / t, statistics.median(fpcalc_cpu) / statistics.median(tunora_cpu)))
        return 0
    finally:
        if not args.workdir:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
