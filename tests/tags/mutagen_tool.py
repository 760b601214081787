#!/usr/bin/python3
"""The tag tests' peer: mutagen tags a file first and reads it back, ffprobe/ffmpeg measure it.

  mutagen_tool.py prepare FILE   title, artist, album, track 1/10, genre, a main comment, a
                                 second comment, a composer, a front and a back cover
  mutagen_tool.py dump FILE      JSON: "model" (the fields as mutagen reads them under the
                                 names other programs use), "others" (every other key),
                                 "length" (mutagen, s), "ffprobe" (s), "audio" (MD5 of the
                                 audio packets, copied, not decoded)
"""
import base64
import hashlib
import json
import struct
import subprocess
import sys

import mutagen
from mutagen.apev2 import APEv2, APEValue, BINARY
from mutagen.asf import ASF, ASFByteArrayAttribute
from mutagen.flac import FLAC, Picture
from mutagen.id3 import APIC, COMM, ID3, TALB, TCOM, TCON, TIT2, TPE1, TRCK
from mutagen.mp4 import MP4, MP4Cover

FRONT = b"\xff\xd8\xff\xe0" + bytes(range(200))  # JPEG-looking front cover
BACK = b"\x89PNG\r\n\x1a\n" + bytes(range(100, 180))


def md5(b):
    return hashlib.md5(bytes(b)).hexdigest()


def kind(m):
    name = type(m).__name__
    if name in ("FLAC", "OggVorbis", "OggOpus"):
        return "xiph"
    if name == "MP4":
        return "mp4"
    if name == "ASF":
        return "asf"
    if name in ("MonkeysAudio", "WavPack", "Musepack"):
        return "ape"
    return "id3"


def picture_block(data, mime, ptype, desc=""):
    p = Picture()
    p.type, p.mime, p.desc, p.data = ptype, mime, desc, data
    return p


def asf_picture(data, mime, ptype, desc=""):
    enc = lambda s: s.encode("utf-16-le") + b"\x00\x00"
    return ASFByteArrayAttribute(struct.pack("<bI", ptype, len(data)) + enc(mime) + enc(desc) + data)


def prepare(path):
    m = mutagen.File(path)
    k = kind(m)
    if k == "xiph":
        if m.tags is None:
            m.add_tags()
        m.tags.update({"TITLE": "Old Title", "ARTIST": "Old Artist", "ALBUM": "Old Album", "TRACKNUMBER": "1",
                       "TRACKTOTAL": "10", "GENRE": "Jazz", "COMMENT": "old comment",
                       "DESCRIPTION": "second comment", "COMPOSER": "Comp"})
        front, back = picture_block(FRONT, "image/jpeg", 3), picture_block(BACK, "image/png", 4, "back")
        if isinstance(m, FLAC):
            m.add_picture(front)
            m.add_picture(back)
        else:
            m.tags["METADATA_BLOCK_PICTURE"] = [base64.b64encode(p.write()).decode() for p in (front, back)]
    elif k == "mp4":
        m.tags.update({"\xa9nam": "Old Title", "\xa9ART": "Old Artist", "\xa9alb": "Old Album", "trkn": [(1, 10)],
                       "\xa9gen": "Jazz", "\xa9cmt": "old comment", "\xa9wrt": "Comp",
                       "----:com.apple.iTunes:NOTES": [b"second comment"],
                       "covr": [MP4Cover(FRONT, MP4Cover.FORMAT_JPEG), MP4Cover(BACK, MP4Cover.FORMAT_PNG)]})
    elif k == "asf":
        m.tags.update({"Title": "Old Title", "Author": "Old Artist", "WM/AlbumTitle": "Old Album",
                       "WM/TrackNumber": "1", "WM/Genre": "Jazz", "Description": "old comment",
                       "WM/Composer": "Comp", "WM/Picture": [asf_picture(FRONT, "image/jpeg", 3),
                                                             asf_picture(BACK, "image/png", 4, "back")]})
    elif k == "ape":
        t = APEv2()
        t.update({"Title": "Old Title", "Artist": "Old Artist", "Album": "Old Album", "Track": "1/10",
                  "Genre": "Jazz", "Comment": "old comment", "Notes": "second comment", "Composer": "Comp"})
        t["Cover Art (Front)"] = APEValue(b"front.jpg\x00" + FRONT, BINARY)
        t["Cover Art (Back)"] = APEValue(b"back.png\x00" + BACK, BINARY)
        t.save(path)
        return
    else:
        tags = ID3() if path.endswith(".mp3") else None
        if tags is None:
            if m.tags is None:
                m.add_tags()
            tags = m.tags
        for f in (TIT2(encoding=3, text="Old Title"), TPE1(encoding=3, text="Old Artist"),
                  TALB(encoding=3, text="Old Album"), TRCK(encoding=3, text="1/10"), TCON(encoding=3, text="Jazz"),
                  COMM(encoding=3, lang="eng", desc="", text="old comment"),
                  COMM(encoding=3, lang="eng", desc="Notes", text="second comment"), TCOM(encoding=3, text="Comp"),
                  APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=FRONT),
                  APIC(encoding=0, mime="image/png", type=4, desc="back", data=BACK)):
            tags.add(f)
        if path.endswith(".mp3"):
            tags.save(path, v2_version=3)
            return
        m.save(v2_version=3)
        return
    m.save()


def pair(n, t=None):
    n = str(n or "")
    if t:
        return f"{n.split('/')[0]}/{t}"
    return n


def model_and_others(m):
    k = kind(m)
    tags = m.tags or {}
    model, others = {}, {}
    first = lambda key: (list(tags[key]) or [""])[0] if key in tags else ""
    if k == "xiph":
        names = {"title": "title", "artist": "artist", "album": "album", "year": "date", "comment": "comment",
                 "genre": "genre", "albumartist": "albumartist"}
        for field, key in names.items():
            model[field] = first(key)
        model["track"] = pair(first("tracknumber"), first("tracktotal"))
        model["disc"] = pair(first("discnumber"), first("disctotal"))
        pics = list(m.pictures) if isinstance(m, FLAC) else [
            Picture(base64.b64decode(v)) for v in tags.get("metadata_block_picture", [])]
        set_keys = set(names.values()) | {"tracknumber", "tracktotal", "discnumber", "disctotal",
                                          "metadata_block_picture"}
        for key, values in tags.items():
            if key.lower() not in set_keys:
                others[key.lower()] = list(values)
        for p in pics:
            if p.type == 3:
                model["cover"] = f"{p.mime} {len(p.data)}"
            else:
                others[f"picture{p.type}"] = md5(p.data)
    elif k == "mp4":
        names = {"title": "\xa9nam", "artist": "\xa9ART", "album": "\xa9alb", "year": "\xa9day",
                 "comment": "\xa9cmt", "genre": "\xa9gen", "albumartist": "aART"}
        for field, key in names.items():
            model[field] = str(first(key))
        for field, key in (("track", "trkn"), ("disc", "disk")):
            n, t = first(key) or (0, 0)
            model[field] = pair(n, t) if n else ""
        covers = list(tags.get("covr", []))
        if covers:
            model["cover"] = f"{'image/png' if covers[0].imageformat == MP4Cover.FORMAT_PNG else 'image/jpeg'} {len(covers[0])}"
        for key, values in tags.items():
            if key not in set(names.values()) | {"trkn", "disk", "covr"}:
                others[key] = [str(v) if not isinstance(v, bytes) else md5(v) for v in values]
        others["covr[1:]"] = [md5(c) for c in covers[1:]]
    elif k == "asf":
        names = {"title": "Title", "artist": "Author", "album": "WM/AlbumTitle", "year": "WM/Year",
                 "comment": "Description", "genre": "WM/Genre", "albumartist": "WM/AlbumArtist"}
        for field, key in names.items():
            model[field] = str(first(key).value) if key in tags else ""
        track = str(first("WM/TrackNumber").value) if "WM/TrackNumber" in tags else ""
        model["track"] = pair(track, str(first("TrackTotal").value) if "TrackTotal" in tags else None)
        model["disc"] = str(first("WM/PartOfSet").value) if "WM/PartOfSet" in tags else ""
        for key, values in tags.items():
            if key == "WM/Picture":
                for v in values:
                    b = bytes(v.value)
                    ptype, size = struct.unpack("<bI", b[:5])
                    rest = b[5:]
                    mime_end = next(i for i in range(0, len(rest), 2) if rest[i:i + 2] == b"\x00\x00")
                    mime = rest[:mime_end].decode("utf-16-le")
                    if ptype == 3:
                        model["cover"] = f"{mime} {size}"
                    else:
                        others[f"picture{ptype}"] = md5(b[-size:])
            elif key not in set(names.values()) | {"WM/TrackNumber", "TrackTotal", "WM/PartOfSet"}:
                others[key] = [str(v.value) if not isinstance(v.value, bytes) else md5(v.value) for v in values]
    elif k == "ape":
        names = {"title": "Title", "artist": "Artist", "album": "Album", "year": "Year", "comment": "Comment",
                 "genre": "Genre", "albumartist": "Album Artist", "track": "Track", "disc": "Disc"}
        for field, key in names.items():
            model[field] = str(tags[key]) if key in tags else ""
        for key, v in tags.items():
            if key.lower() == "cover art (front)":
                data = bytes(v.value).split(b"\x00", 1)[1]
                mime = "image/png" if data.startswith(BACK[:4]) else "image/jpeg"
                model["cover"] = f"{mime} {len(data)}"
            elif key.lower() not in {n.lower() for n in names.values()}:
                others[key.lower()] = str(v) if v.kind != BINARY else md5(v.value)
    else:
        names = {"title": "TIT2", "artist": "TPE1", "album": "TALB", "year": "TDRC", "genre": "TCON",
                 "albumartist": "TPE2", "track": "TRCK", "disc": "TPOS"}
        for field, key in names.items():
            model[field] = str(tags[key]) if key in tags else ""
        comments = {f.desc: str(f) for f in tags.getall("COMM")}
        model["comment"] = comments.get("", comments.get("Comments", ""))
        for key, f in tags.items():
            if f.FrameID == "APIC" and f.type == 3:
                model["cover"] = f"{f.mime} {len(f.data)}"
            elif f.FrameID == "APIC":
                others[key] = md5(f.data)
            elif f.FrameID == "COMM" and f.desc in ("", "Comments"):
                continue
            elif f.FrameID not in names.values() and f.FrameID not in ("TYER", "TDAT"):
                others[key] = str(f)
    model = {k2: v for k2, v in model.items() if v}
    return model, others


def ffprobe_length(path):
    if path.endswith(".mpc"):
        # The SV8 demuxer's header duration is a third short; count the decoded samples.
        pcm = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "1", "-ar", "44100", "-"],
                             capture_output=True, check=True).stdout
        return len(pcm) / 2 / 44100
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path],
                         capture_output=True, text=True, check=True).stdout
    return float(out.strip())


def audio_md5(path):
    out = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "md5", "-"],
                         capture_output=True, text=True)
    return out.stdout.strip() if out.returncode == 0 else "unreadable: " + out.stderr.strip()[-200:]


def dump(path):
    m = mutagen.File(path)
    if path.endswith(".mp3"):
        m.tags = ID3(path, load_v1=False)
    model, others = model_and_others(m)
    print(json.dumps({"format": type(m).__name__, "model": model, "others": others, "length": m.info.length,
                      "ffprobe": ffprobe_length(path), "audio": audio_md5(path)}, ensure_ascii=False))


if __name__ == "__main__":
    {"prepare": prepare, "dump": dump}[sys.argv[1]](sys.argv[2])
