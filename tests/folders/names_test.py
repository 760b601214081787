#!/usr/bin/python3
"""File names of any bytes, end to end: tunora-cli is given the names as argv bytes (a Latin-1
name and one with bytes 0x80-0x9F), and Python reads the folders back as bytes, mutagen the tags.
Usage: names_test.py BUILT_APP_DIR"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

import mutagen
import mutagen.id3

APP = sys.argv.pop(1)
CLI = os.path.join(APP, "tunora-cli")
LATIN1 = b"caf\xe9.mp3"           # "café.mp3" from an old Windows disk
C1 = b"x\x80\x9f y.mp3"           # "x€Ÿ y.mp3" in Windows-1252, control bytes in Latin-1
XMCD = """# xmcd
#
# Track frame offsets:
#\t150
#\t300
#
# Disc length: 6 seconds
#
DISCID=05000402
DTITLE=Some Artist / Some Album
DYEAR=1999
DGENRE=Jazz
TTITLE0=One
TTITLE1=Two
EXTD=
PLAYORDER=
"""


def mp3(path, seconds):
    """A real MP3 of a sine, made by lame."""
    wav = path + b".wav"
    with wave.open(os.fsdecode(wav), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(44100)
        w.writeframes(bytes(
            (i * 7 % 256 if i % 2 else 0) for i in range(44100 * 2 * seconds)))
    subprocess.run(["lame", "--quiet", "-b", "128", wav, path], check=True)
    os.unlink(wav)


class Names(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp().encode()
        app = os.path.join(self.root, b"app")
        os.mkdir(app)
        for n in os.listdir(APP.encode()):  # the data files, not the programs
            src = os.path.join(APP.encode(), n)
            if n in (b"tunora", b"tunora-cli") or n.startswith(b"libDorvane"):
                continue
            (shutil.copytree if os.path.isdir(src) else shutil.copy)(src, os.path.join(app, n))
        self.env = dict(os.environ, TUNORA_APP_FOLDER=app, TUNORA_REGISTRY=os.path.join(self.root, b"reg.reg"),
                        XDG_CACHE_HOME=os.path.join(self.root, b"cache"))
        self.addCleanup(shutil.rmtree, self.root)

    def cli(self, *args, rc=0):
        r = subprocess.run([CLI, *args], env=self.env, stdin=subprocess.DEVNULL, capture_output=True)
        self.assertEqual(r.returncode, rc, r.stderr)
        return r.stdout

    def folder(self, name, files):
        d = os.path.join(self.root, name)
        os.mkdir(d)
        for i, f in enumerate(files):
            mp3(os.path.join(d, f), 2 + i)
        return d

    def test_length_tag_and_fingerprint_by_argv_bytes(self):
        d = self.folder(b"one", [LATIN1, C1])
        paths = [os.path.join(d, LATIN1), os.path.join(d, C1)]
        clean = os.path.join(d, b"clean.mp3")
        shutil.copy(paths[0], clean)
        ms = self.cli("length", clean).split(b"\t")[0]
        out = self.cli("length", *paths)
        self.assertEqual(out.splitlines()[0], ms + b"\t" + paths[0])
        self.assertTrue(out.splitlines()[1].endswith(b"\t" + paths[1]))
        self.cli("tag", "--title", "Tést", "--artist", "Bånd", *paths)
        for p in paths:
            tags = mutagen.id3.ID3(p)
            self.assertEqual(str(tags["TIT2"]), "Tést")
            self.assertEqual(str(tags["TPE1"]), "Bånd")
        self.assertTrue(self.cli("fingerprint", paths[1]).endswith(b"\t" + paths[1] + b"\n"))
        # Through TagLib too: a FLAC file of a Latin-1 name.
        flac = os.path.join(d, b"caf\xe9.flac")
        subprocess.run(["ffmpeg", "-loglevel", "error", "-i", paths[0], flac], check=True)
        self.cli("tag", "--title", "Tést", flac)
        self.assertEqual(mutagen.File(flac)["title"], ["Tést"])

    def test_album_renames_to_utf8_and_undo_gives_back_the_bytes(self):
        d = self.folder(b"\xc4lbum", [b"01 " + LATIN1, b"02 " + C1])  # a Latin-1 folder too
        disc = os.path.join(self.root, b"disc.xmcd")
        with open(disc, "w") as f:
            f.write(XMCD)
        journal = os.path.join(self.root, b"j.json")
        self.cli("album", d, "--xmcd", disc, "--journal", journal)
        self.assertEqual(sorted(os.listdir(d)), [b"Some Album.m3u", b"Some Artist - Some Album - 01 - One.mp3",
                                                 b"Some Artist - Some Album - 02 - Two.mp3"])
        self.assertEqual(str(mutagen.id3.ID3(os.path.join(d, b"Some Artist - Some Album - 02 - Two.mp3"))["TIT2"]),
                         "Two")
        with open(journal, "rb") as f:  # a header, then a record a line; names also as their bytes
            steps = [json.loads(line) for line in f.read().splitlines()[1:]]
        olds = [base64.b64decode(e["old64"]) for e in steps if "old64" in e]
        self.assertIn(os.path.join(d, b"01 " + LATIN1), olds)
        self.assertIn(os.path.join(d, b"02 " + C1), olds)
        out = self.cli("undo", journal)
        self.assertIn(b"restored\t" + os.path.join(d, b"02 " + C1), out.splitlines())
        self.assertEqual(sorted(n for n in os.listdir(d) if n.endswith(b".mp3")), [b"01 " + LATIN1, b"02 " + C1])

    def test_bulk_rename_and_undo_by_bytes(self):
        d = self.folder(b"b\xfclk", [LATIN1, C1])
        self.cli("rename", "--case", "uc", d)
        self.assertEqual(sorted(os.listdir(d)), sorted([b"CAF\xc3\x89.mp3", "X€Ÿ Y.mp3".encode()]))
        self.assertIn(b"\t" + os.path.join(d, C1) + b" -> ", self.cli("journal"))
        self.cli("undo")
        self.assertEqual(sorted(os.listdir(d)), sorted([LATIN1, C1]))

    def test_listing_and_playlist_hold_the_raw_bytes(self):
        d = self.folder(b"list", [LATIN1, C1])
        listing = os.path.join(self.root, b"listing.txt")
        self.cli("list", d, "--pattern", "%1%2", "--output", listing)
        with open(listing, "rb") as f:
            lines = f.read().split(b"\r\n")
        self.assertIn(LATIN1, lines)
        self.assertIn(C1, lines)
        playlist = os.path.join(self.root, b"p.m3u")
        self.cli("playlist", "--output", playlist, d)
        with open(playlist, "rb") as f:
            self.assertEqual(sorted(f.read().split(b"\r\n")[:-1]), sorted([b"list/" + LATIN1, b"list/" + C1]))


if __name__ == "__main__":
    unittest.main()
