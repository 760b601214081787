#!/usr/bin/python3
"""Seeds for the MP3 and tag-rewrite fuzz targets in the shapes real files take.

   tests/fuzz/make_seeds.py OUT     writes OUT/mp3/* and OUT/id3write/* (scripts/fuzz.sh runs it)

lame encodes short tones (MPEG-1, -2 and -2.5, CBR and VBR); mutagen tags them in ID3v2.3 and
v2.4 with pictures, comments, chapters and people lists; the script itself adds what mutagen
never writes: v2.2 tags, unsynchronisation (whole tag and per frame), extended headers, APEv2
and Lyrics3v2 tails and ID3v1. An id3write seed is one flags byte and the file."""

import io
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

from mutagen.apev2 import APEv2
from mutagen.id3 import (APIC, CHAP, COMM, CTOC, ID3, PRIV, TALB, TDRC, TIPL, TIT2, TPE1, TRCK, TXXX, USLT,
                         CTOCFlags)


def tone(path, rate, seconds=0.15):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(i / 7))) for i in range(int(rate * seconds))))


def lame(tmp, rate, *args):
    src, out = os.path.join(tmp, "tone.wav"), os.path.join(tmp, "tone.mp3")
    tone(src, rate)
    subprocess.run(["lame", "--quiet", "--resample", str(rate / 1000), *args, src, out], check=True)
    with open(out, "rb") as f:
        return f.read()


def syncsafe(n):
    return bytes([(n >> 21) & 127, (n >> 14) & 127, (n >> 7) & 127, n & 127])


def unsync(data):
    out = bytearray()
    for i, b in enumerate(data):
        out.append(b)
        if b == 0xFF and (i + 1 == len(data) or data[i + 1] >= 0xE0 or data[i + 1] == 0):
            out.append(0)
    return bytes(out)


def tag_size(tag):
    return 10 + sum(b << (7 * (3 - i)) for i, b in enumerate(tag[6:10]))


def frames_of(tag):
    """(id, flags, data) of a v2.3/v2.4 tag mutagen wrote (no extended header)."""
    v4 = tag[3] == 4
    body = tag[10:tag_size(tag)]
    at, out = 0, []
    while at + 10 <= len(body) and body[at:at + 4] != b"\0\0\0\0":
        n = body[at + 4:at + 8]
        size = sum(b << (7 * (3 - i)) for i, b in enumerate(n)) if v4 else int.from_bytes(n, "big")
        out.append((body[at:at + 4], body[at + 8:at + 10], body[at + 10:at + 10 + size]))
        at += 10 + size
    return out


def v23_frame(fid, data, flags=b"\0\0"):
    return fid + len(data).to_bytes(4, "big") + flags + data


def v24_frame(fid, data, flags=b"\0\0"):
    return fid + syncsafe(len(data)) + flags + data


def header(major, flags, body):
    return b"ID3" + bytes([major, 0, flags]) + syncsafe(len(body)) + body


def mutagen_tag(tmp, version, picture):
    path = os.path.join(tmp, "tag.mp3")
    open(path, "wb").close()
    t = ID3()
    enc = 3 if version == 4 else 1
    t.add(TIT2(encoding=enc, text="Caf\u00e9 \u6771\u4eac"))
    t.add(TPE1(encoding=0, text="Band"))
    t.add(TALB(encoding=enc, text="Record"))
    t.add(TRCK(encoding=0, text="3/12"))
    t.add(TDRC(encoding=enc, text="2004-05-06T07:08"))
    t.add(COMM(encoding=enc, lang="eng", desc="Comments", text="old"))
    t.add(COMM(encoding=enc, lang="fra", desc="", text="gard\u00e9"))
    t.add(TXXX(encoding=enc, desc="MOOD", text="calm"))
    t.add(USLT(encoding=enc, lang="eng", desc="", text="la la"))
    t.add(APIC(encoding=enc, mime="image/jpeg", type=3, desc="front", data=picture))
    t.add(APIC(encoding=0, mime="image/png", type=4, desc="back", data=b"\x89PNG\r\n\x1a\n\xff\xfb"))
    t.add(PRIV(owner="org.example", data=b"\x00\xff\xfb\xff"))
    if version == 4:
        t.add(TIPL(encoding=enc, people=[["producer", "P"]]))
        t.add(CHAP(element_id="ch0", start_time=0, end_time=1000, sub_frames=[TIT2(encoding=3, text="Intro")]))
        t.add(CTOC(element_id="toc", flags=CTOCFlags.TOP_LEVEL, child_element_ids=["ch0"], sub_frames=[]))
    t.save(path, v2_version=version, v1=0, padding=lambda info: 16)
    with open(path, "rb") as f:
        return f.read()


def v22_tag(picture):
    def frame(fid, data):
        return fid + len(data).to_bytes(3, "big") + data
    body = (frame(b"TT2", b"\0Old") + frame(b"TP1", b"\x01\xff\xfeB\0a\0") + frame(b"COM", b"\0engnote\0body") +
            frame(b"PIC", b"\0JPG\x03cover\0" + picture) + frame(b"CNT", b"\0\0\0\x05") + frame(b"UFI", b"o\0id") +
            b"\0" * 10)
    return header(2, 0, body)


def ape_tail(tmp, audio):
    path = os.path.join(tmp, "ape.mp3")
    with open(path, "wb") as f:
        f.write(audio)
    a = APEv2()
    a["Title"] = "Ape title"
    a["Artist"] = "Ape \u00e9"
    a.save(path)
    with open(path, "rb") as f:
        return f.read()[len(audio):]


def lyrics3(text=b"[00:01]la la"):
    fields = b"IND0000210" + b"LYR" + b"%05d" % len(text) + text
    body = b"LYRICSBEGIN" + fields
    return body + b"%06d" % len(body) + b"LYRICS200"


def id3v1(title=b"Old v1"):
    return b"TAG" + title.ljust(30, b" ") + b"Band".ljust(30, b" ") + b"Rec".ljust(30, b" ") + b"1999" + \
        b"c".ljust(28, b" ") + b"\0\x03\x11"


def main():
    out = sys.argv[1]
    for d in ("mp3", "id3write"):
        os.makedirs(os.path.join(out, d), exist_ok=True)
    picture = b"\xff\xd8\xff\xe0" + b"\xff\xfb\x90\x64\xff\x00" * 200
    with tempfile.TemporaryDirectory() as tmp:
        audio = {
            "mpeg1-cbr": lame(tmp, 44100, "-b", "64", "-m", "m"),
            "mpeg1-vbr": lame(tmp, 32000, "-V", "5", "-m", "m"),
            "mpeg2-cbr": lame(tmp, 22050, "-b", "32", "-m", "m"),
            "mpeg25-vbr": lame(tmp, 8000, "-V", "7", "-m", "m"),
        }
        v23 = mutagen_tag(tmp, 3, picture)
        v24 = mutagen_tag(tmp, 4, picture)
        f23, f24 = frames_of(v23), frames_of(v24)
        body23 = b"".join(v23_frame(i, d, fl) for i, fl, d in f23) + b"\0" * 8
        tags = {
            "v22": v22_tag(picture),
            "v23": v23[:tag_size(v23)],
            "v24": v24[:tag_size(v24)],
            # Whole-tag unsynchronisation of v2.3, and v2.4's per frame behind a data length.
            "v23-unsync": header(3, 0x80, unsync(body23)),
            "v24-unsync-frames": header(4, 0, b"".join(
                v24_frame(i, syncsafe(len(d)) + unsync(d), b"\0\x03") for i, _, d in f24) + b"\0" * 8),
            "v24-unsync-tag": header(4, 0x80, b"".join(v24_frame(i, unsync(d)) for i, _, d in f24)),
            # Extended headers: v2.3 counts the bytes after its size field, v2.4 itself.
            "v23-extended": header(3, 0x40, b"\0\0\0\x06\0\0\0\0\0\x08" + body23),
            "v24-extended": header(4, 0x40, syncsafe(6) + b"\x01\0" + b"".join(v24_frame(i, d) for i, _, d in f24)),
            "v24-footer": header(4, 0x10, b"".join(v24_frame(i, d) for i, _, d in f24[:4])),
            # Frame sizes written as plain numbers, as some old taggers did in v2.4.
            "v24-plain-sizes": header(4, 0, b"".join(i + len(d).to_bytes(4, "big") + b"\0\0" + d for i, _, d in f24)),
        }
        tags["v24-footer"] += b"3DI" + tags["v24-footer"][3:10]
        ape = ape_tail(tmp, audio["mpeg1-cbr"])
        n = 0
        for tname, tag in tags.items():
            for aname, a in audio.items():
                tails = {"": b"", "-ape": ape, "-lyrics3-v1": lyrics3() + id3v1(), "-v1": id3v1()}
                for tail_name, tail in tails.items():
                    if aname != "mpeg1-cbr" and tail_name:
                        continue
                    whole = tag + a + tail
                    name = f"{tname}-{aname}{tail_name}"
                    with open(os.path.join(out, "mp3", name + ".mp3"), "wb") as f:
                        f.write(whole)
                    flags = 3 if tail_name == "-v1" else 1 if "unsync" in tname else 2 if tail_name else 0
                    with open(os.path.join(out, "id3write", name + ".bin"), "wb") as f:
                        f.write(bytes([flags]) + whole)
                    n += 1
        for aname, a in audio.items():
            with open(os.path.join(out, "mp3", aname + "-bare.mp3"), "wb") as f:
                f.write(a + ape + lyrics3() + id3v1())
    print(f"seeds: {n} tagged files in {out}")


if __name__ == "__main__":
    main()
