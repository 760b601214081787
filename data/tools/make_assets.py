#!/usr/bin/env python3
"""Makes the program's own assets: styles.dat (ID3v1 genre names, genre 147 first),
the seven page icons and the burner button picture under skin/, and VMsound.wav."""
import math
import os
import struct
import subprocess
import wave
import zlib

OUT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

GENRES = [
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop",
    "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game",
    "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative",
    "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial",
    "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychedelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka",
    "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing",
    "Fast Fusion", "Bebop", "Latin", "Revival", "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock",
    "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", "Slow Rock", "Big Band", "Chorus",
    "Easy Listening", "Acoustic", "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata",
    "Symphony", "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo",
    "A capella", "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror",
    "Indie", "BritPop", "Afro-Punk", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal",
    "Black Metal", "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa",
    "Thrash Metal", "Anime", "JPop", "Synthpop",
]
assert len(GENRES) == 148


def write_styles():
    lines = list(reversed(GENRES))  # line 1 names genre 147, line 148 genre 0
    with open(os.path.join(OUT, "styles.dat"), "w", encoding="utf-8", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def png(width, height, pixels):
    raw = b"".join(b"\x00" + bytes(pixels[y * width * 4:(y + 1) * width * 4]) for y in range(height))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(png_bytes, size):
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png_bytes), 6 + 16)
    return header + entry + png_bytes


def draw(shape, colour, size=32):
    px = [0] * (size * size * 4)
    c = size / 2

    def put(x, y, rgb, a=255):
        if 0 <= x < size and 0 <= y < size:
            i = (y * size + x) * 4
            px[i:i + 4] = [rgb[0], rgb[1], rgb[2], a]

    for y in range(size):
        for x in range(size):
            dx, dy = x + 0.5 - c, y + 0.5 - c
            r = math.hypot(dx, dy)
            inside = False
            if shape == "disc":
                inside = 4 < r < 14
            elif shape == "list":
                inside = 6 <= x < 26 and 5 <= y < 27 and (y - 5) % 6 < 3
            elif shape == "sweep":
                inside = abs(dx - dy) < 3 and r < 13 or (dy > 6 and abs(dx + 6) < 7 and dy < 13)
            elif shape == "note":
                inside = math.hypot(dx + 5, dy - 7) < 5 or (4 <= x - 10 < 3 + 4 and -12 < dy < 7 and x in (15, 16, 17)) \
                    or (15 <= x < 26 and 3 <= y < 7)
            elif shape == "cd":
                inside = (3 < r < 15) and not (r < 5)
            elif shape == "gear":
                ang = math.atan2(dy, dx)
                inside = (r < 10 + 3 * (math.cos(8 * ang) > 0)) and r > 4
            elif shape == "info":
                inside = r < 14 and not ((abs(dx) < 2 and -2 < dy < 9) or math.hypot(dx, dy + 6) < 2.2)
            if inside:
                put(x, y, colour)
    return png(size, size, px)


def write_skin():
    skin = os.path.join(OUT, "skin")
    os.makedirs(skin, exist_ok=True)
    icons = {
        "Desktop.ico": ("disc", (40, 90, 200)),
        "file_liste.ico": ("list", (30, 140, 60)),
        "sweep disk.ico": ("sweep", (180, 110, 20)),
        "playlist.ico": ("note", (150, 40, 160)),
        "mp3cda.ico": ("cd", (200, 40, 40)),
        "ico456.ico": ("gear", (90, 90, 90)),
        "vminst.ico": ("info", (20, 120, 170)),
    }
    for name, (shape, colour) in icons.items():
        with open(os.path.join(skin, name), "wb") as f:
            f.write(ico(draw(shape, colour), 32))
    picture = os.path.join(skin, "c2dvd.png")
    with open(picture, "wb") as f:
        f.write(draw("cd", (60, 60, 160), 32))
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", picture, os.path.join(skin, "c2dvd.gif")], check=True)
    os.remove(picture)


def write_sound():
    rate = 22050
    frames = bytearray()
    notes = [(660, 0.12), (880, 0.12), (1320, 0.3)]
    for freq, dur in notes:
        n = int(rate * dur)
        for i in range(n):
            env = min(1.0, i / 200) * (1 - i / n)
            v = int(12000 * env * math.sin(2 * math.pi * freq * i / rate))
            frames += struct.pack("<h", v)
    with wave.open(os.path.join(OUT, "VMsound.wav"), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


if __name__ == "__main__":
    write_styles()
    write_skin()
    write_sound()
