#!/usr/bin/python3
"""Playing time of many files: `tunora-cli length` against TagLib, mutagen and ffprobe.

Usage: length_bench.py TUNORA_CLI [--taglib TAGLIB_LENGTH] [--files 2000] [--workdir DIR]
                       [--format mp3|flac|m4a]

MP3 (the default):

Makes a set of lame-encoded files (MPEG-1 CBR, VBR and mono, MPEG-2 and 2.5, 3 to 12
seconds, a third of them with a picture tag in front and an APEv2 tag behind; each encoded
file is copied under several names up to the count), then measures in the same run, with a
warm page cache for every contender:
  - tunora-cli length over all files (one process),
  - TagLib's MPEG length with AudioProperties::Fast over all files (one process, bench/audio/
    TaglibLength.cpp),
  - mutagen's MP3(f).info.length over all files (one Python process, startup included),
  - ffprobe once per file (the way it is used on a file list).
FLAC and M4A (--format): ffmpeg-made files (FLAC 16-bit stereo; M4A with AAC and with ALAC;
3 to 12 seconds, a third tagged by mutagen with a 100 KB front cover and text fields), copied
under several names up to the count; TagLib goes through FileRef with AudioProperties::Fast,
mutagen through mutagen.File.
Prints the times and the ratios peer / tunora-cli (higher = tunora-cli faster).
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

MUTAGEN_LOOP = (
    "import sys\n"
    "from mutagen.mp3 import MP3\n"
    "total = 0.0\n"
    "for f in open(sys.argv[1], encoding='utf-8').read().splitlines():\n"
    "    total += MP3(f).info.length\n"
    "print(total)\n"
)

MUTAGEN_ANY_LOOP = (
    "import sys\n"
    "import mutagen\n"
    "total = 0.0\n"
    "for f in open(sys.argv[1], encoding='utf-8').read().splitlines():\n"
    "    total += mutagen.File(f).info.length\n"
    "print(total)\n"
)

ADD_TAGS_OTHER = (
    "import sys\n"
    "import mutagen\n"
    "from mutagen.flac import Picture\n"
    "from mutagen.mp4 import MP4Cover\n"
    "m = mutagen.File(sys.argv[1])\n"
    "image = bytes(range(256)) * 400\n"
    "if sys.argv[1].endswith('.flac'):\n"
    "    m['TITLE'] = 'Title'; m['ARTIST'] = 'Artist'\n"
    "    p = Picture(); p.type = 3; p.mime = 'image/jpeg'; p.data = image; m.add_picture(p)\n"
    "else:\n"
    "    m['\\xa9nam'] = 'Title'; m['\\xa9ART'] = 'Artist'; m['covr'] = [MP4Cover(image)]\n"
    "m.save()\n"
)

ADD_TAGS = (
    "import sys\n"
    "from mutagen.id3 import ID3, APIC, TIT2\n"
    "from mutagen.apev2 import APEv2\n"
    "t = ID3()\n"
    "t.add(TIT2(encoding=3, text='Title'))\n"
    "t.add(APIC(encoding=0, mime='image/jpeg', type=3, desc='', data=bytes(range(256)) * 400))\n"
    "t.save(sys.argv[1])\n"
    "a = APEv2()\n"
    "a['Title'] = 'Title'\n"
    "a.save(sys.argv[1])\n"
)


def make_wav(path, seconds, channels, rate=44100):
    import math
    frames = int(seconds * rate)
    data = bytearray()
    for i in range(frames):
        t = i / rate
        v = int(0.4 * 32767 * math.sin(2 * math.pi * (440 + 300 * math.sin(t * 3)) * t))
        data += struct.pack("<h", v) * channels
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt ")
        f.write(struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * channels * 2, channels * 2, 16))
        f.write(b"data" + struct.pack("<I", len(data)) + data)


def make_files(workdir, count):
    src = os.path.join(workdir, "src")
    os.makedirs(src, exist_ok=True)
    kinds = [(["-b", "128"], 2), (["-V", "2"], 2), (["-V", "0", "-m", "m"], 1), (["-b", "192"], 2),
             (["--resample", "22.05", "-V", "5"], 2), (["--resample", "8", "-b", "16", "-m", "m"], 1)]
    encoded = []
    for i, seconds in enumerate([3, 5, 8, 12]):
        for k, (args, channels) in enumerate(kinds):
            wav = os.path.join(src, f"t{i}_{k}.wav")
            mp3 = os.path.join(src, f"t{i}_{k}.mp3")
            if not os.path.exists(mp3):
                make_wav(wav, seconds, channels)
                subprocess.run(["lame", "--quiet", *args, wav, mp3], check=True)
                os.remove(wav)
                if (i + k) % 3 == 0:
                    subprocess.run(["/usr/bin/python3", "-c", ADD_TAGS, mp3], check=True)
            encoded.append(mp3)
    files_dir = os.path.join(workdir, "files")
    os.makedirs(files_dir, exist_ok=True)
    files = []
    for n in range(count):
        path = os.path.join(files_dir, f"{n:05d} track.mp3")
        if not os.path.exists(path):
            shutil.copyfile(encoded[n % len(encoded)], path)
        files.append(path)
    return files


def make_other_files(workdir, count, fmt):
    src = os.path.join(workdir, "src-" + fmt)
    os.makedirs(src, exist_ok=True)
    codecs = [["-c:a", "flac"]] if fmt == "flac" else [["-c:a", "aac", "-b:a", "128k"], ["-c:a", "alac"]]
    encoded = []
    for i, seconds in enumerate([3, 5, 8, 12]):
        for k, codec in enumerate(codecs):
            for tagged in (False, True):
                path = os.path.join(src, f"t{i}_{k}_{int(tagged)}.{fmt}")
                if not os.path.exists(path):
                    subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                                    f"sine=frequency={300 + 100 * i}:duration={seconds}", "-ac", "2", *codec, path],
                                   check=True)
                    if tagged:
                        subprocess.run(["/usr/bin/python3", "-c", ADD_TAGS_OTHER, path], check=True)
                encoded.append(path)
    files_dir = os.path.join(workdir, "files-" + fmt)
    os.makedirs(files_dir, exist_ok=True)
    files = []
    for n in range(count):
        path = os.path.join(files_dir, f"{n:05d} track.{fmt}")
        if not os.path.exists(path):
            shutil.copyfile(encoded[n % len(encoded)], path)
        files.append(path)
    return files


def timed(fn, repeat):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--taglib", help="the TagLib peer program (bench/audio/TaglibLength.cpp)")
    ap.add_argument("--files", type=int, default=2000)
    ap.add_argument("--workdir")
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--format", choices=["mp3", "flac", "m4a"], default="mp3")
    ap.add_argument("--ffprobe-files", type=int, default=0,
                    help="run ffprobe on only this many of the files and scale its time up (0 = all)")
    a = ap.parse_args()
    workdir = a.workdir or tempfile.mkdtemp(prefix="tunora-length-bench-")
    files = make_files(workdir, a.files) if a.format == "mp3" else make_other_files(workdir, a.files, a.format)
    taglib_args = [a.taglib] if a.format == "mp3" else [a.taglib, "--fileref"]
    mutagen_loop = MUTAGEN_LOOP if a.format == "mp3" else MUTAGEN_ANY_LOOP
    listing = os.path.join(workdir, "files.txt")
    with open(listing, "w", encoding="utf-8") as f:
        f.write("\n".join(files) + "\n")

    def tunora():
        subprocess.run([a.cli, "length", *files], check=True, stdout=subprocess.DEVNULL)

    def taglib():
        subprocess.run([*taglib_args, *files], check=True, stdout=subprocess.DEVNULL)

    def mutagen():
        subprocess.run(["/usr/bin/python3", "-c", mutagen_loop, listing], check=True, stdout=subprocess.DEVNULL)

    probe_files = files[:a.ffprobe_files] if a.ffprobe_files else files
    probe_scale = len(files) / len(probe_files)

    def ffprobe():
        for f in probe_files:
            subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "format=duration", "-of", "csv=p=0", f],
                           check=True, stdout=subprocess.DEVNULL)

    # Warm the page cache and check that every file is measured.
    out = subprocess.run([a.cli, "length", *files], check=True, capture_output=True, text=True).stdout
    assert len(out.splitlines()) == len(files)
    if a.taglib:
        peer = subprocess.run([*taglib_args, *files], check=True, capture_output=True, text=True).stdout
        ours = [int(line.split("\t")[0]) for line in out.splitlines()]
        theirs = [int(line.split("\t")[0]) for line in peer.splitlines()]
        agree = sum(1 for x, y in zip(ours, theirs) if abs(x - y) <= 0.01 * max(y, 1))
    t_tunora = timed(tunora, a.repeat)
    t_taglib = timed(taglib, a.repeat) if a.taglib else None
    t_mutagen = timed(mutagen, a.repeat)
    t_ffprobe = timed(ffprobe, 1) * probe_scale
    print(f"files: {len(files)} {a.format.upper()} (workdir {workdir})")
    print(f"tunora-cli length : {t_tunora * 1000:9.1f} ms  (median of {a.repeat})")
    if t_taglib is not None:
        print(f"TagLib {'MPEG' if a.format == 'mp3' else 'FileRef'} (Fast): {t_taglib * 1000:9.1f} ms  (median of {a.repeat})  ratio {t_taglib / t_tunora:6.1f}x"
              f"  (lengths within 1 %: {agree} of {len(files)})")
    print(f"mutagen length    : {t_mutagen * 1000:9.1f} ms  (median of {a.repeat})  ratio {t_mutagen / t_tunora:6.1f}x")
    print(f"ffprobe per file  : {t_ffprobe * 1000:9.1f} ms  (one run{'' if probe_scale == 1 else f', scaled from {len(probe_files)} files'})  ratio {t_ffprobe / t_tunora:6.1f}x")
    if not a.workdir:
        shutil.rmtree(workdir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
