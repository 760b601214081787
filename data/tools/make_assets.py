#!/usr/bin/env python3
"""Makes the program's own assets: styles.dat (ID3v1 genre names, genre 147 first),
the seven page icons (one picture per scale) and the burner button picture under skin/,
the program's icon in hicolor sizes and as SVG under icons/, and VMsound.wav."""
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


def ico(images):
    """An icon file holding one PNG picture per size, so every scale finds its own."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, png_bytes in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png_bytes), offset + len(data))
        data += png_bytes
    return header + entries + data


def rasterize(inside, colour_at, size, units, samples=4):
    """Draws shapes given in a square of `units` at `size` pixels; each pixel's alpha is the
    share of its samples inside, so small and large sizes both have clean edges."""
    px = [0] * (size * size * 4)
    step = units / size
    for y in range(size):
        for x in range(size):
            hits, total = 0, [0, 0, 0]
            for j in range(samples):
                for i in range(samples):
                    u, v = (x + (i + 0.5) / samples) * step, (y + (j + 0.5) / samples) * step
                    if inside(u, v):
                        hits += 1
                        total = [t + c for t, c in zip(total, colour_at(u, v))]
            if hits:
                k = (y * size + x) * 4
                px[k:k + 4] = [round(t / hits) for t in total] + [round(255 * hits / (samples * samples))]
    return png(size, size, px)


def page_shape(shape):
    """Inside test of a page icon's shape, in a 32-unit square."""
    def inside(x, y):
        dx, dy = x - 16, y - 16
        r = math.hypot(dx, dy)
        if shape == "disc":
            return 4 < r < 14
        if shape == "list":
            return 6 <= x < 26 and 5 <= y < 27 and (y - 5) % 6 < 3
        if shape == "sweep":
            return abs(dx - dy) < 3 and r < 13 or (dy > 6 and abs(dx + 6) < 7 and dy < 13)
        if shape == "note":
            return math.hypot(dx + 5, dy - 7) < 5 or (15 <= x < 18 and -12 < dy < 7) or (15 <= x < 26 and 3 <= y < 7)
        if shape == "cd":
            return 5 < r < 15
        if shape == "gear":
            return (r < 10 + 3 * (math.cos(8 * math.atan2(dy, dx)) > 0)) and r > 4
        if shape == "info":
            return r < 14 and not ((abs(dx) < 2 and -2 < dy < 9) or math.hypot(dx, dy + 6) < 2.2)
        return False
    return inside


def draw(shape, colour, size=32):
    return rasterize(page_shape(shape), lambda x, y: colour, size, 32)


# The page buttons show 32 px icons: 1x, 1.5x and 2x each get a picture of their own.
PAGE_ICON_SIZES = (16, 24, 32, 48, 64)

# The program's icon, in a 256-unit square: a blue disc with two beamed notes.
# (kind, colour, geometry): circle (cx, cy, r), ellipse (cx, cy, rx, ry), rect (x, y, w, h).
APP_ICON = [
    ("circle", "#2a5ac8", (128, 128, 120)),
    ("circle", "#3f73e0", (128, 128, 100)),
    ("ellipse", "#ffffff", (96, 180, 28, 20)),
    ("ellipse", "#ffffff", (168, 164, 28, 20)),
    ("rect", "#ffffff", (110, 60, 14, 120)),
    ("rect", "#ffffff", (182, 60, 14, 104)),
    ("rect", "#ffffff", (110, 60, 86, 22)),
]
APP_ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def app_icon_colour(x, y):
    """Colour of the topmost shape at (x, y), or None outside the icon."""
    found = None
    for kind, colour, g in APP_ICON:
        if kind == "circle":
            hit = math.hypot(x - g[0], y - g[1]) < g[2]
        elif kind == "ellipse":
            hit = ((x - g[0]) / g[2]) ** 2 + ((y - g[1]) / g[3]) ** 2 < 1
        else:
            hit = g[0] <= x < g[0] + g[2] and g[1] <= y < g[1] + g[3]
        if hit:
            found = colour
    return None if found is None else tuple(int(found[i:i + 2], 16) for i in (1, 3, 5))


def app_icon_svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">']
    for kind, colour, g in APP_ICON:
        if kind == "circle":
            parts.append(f'  <circle cx="{g[0]}" cy="{g[1]}" r="{g[2]}" fill="{colour}"/>')
        elif kind == "ellipse":
            parts.append(f'  <ellipse cx="{g[0]}" cy="{g[1]}" rx="{g[2]}" ry="{g[3]}" fill="{colour}"/>')
        else:
            parts.append(f'  <rect x="{g[0]}" y="{g[1]}" width="{g[2]}" height="{g[3]}" fill="{colour}"/>')
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def write_app_icon():
    base = os.path.join(OUT, "icons", "hicolor")
    for size in APP_ICON_SIZES:
        folder = os.path.join(base, f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "tunora.png"), "wb") as f:
            f.write(rasterize(lambda x, y: app_icon_colour(x, y) is not None, app_icon_colour, size, 256, 3))
    folder = os.path.join(base, "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "tunora.svg"), "w", encoding="utf-8") as f:
        f.write(app_icon_svg())


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
            f.write(ico([(size, draw(shape, colour, size)) for size in PAGE_ICON_SIZES]))
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
    write_app_icon()
    write_sound()
