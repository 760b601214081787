#!/usr/bin/python3
"""A loopback stand-in for the MusicBrainz web service and the Cover Art Archive.

Both live on one port: the web service under /ws/2/, the cover archive at the root. Every
request is logged to --log as one JSON line {"t", "target", "ua", "violation"}. A request
breaks the rules, is answered "400" and carries its violation when
  - it comes less than one second after the previous request (unless --no-pace),
  - its User-Agent does not match ^Tunora/N.N.N ( contact )$,
  - a table of contents is malformed (first track not 1, track count not last, offsets not
    increasing from 150, lead-out not beyond the last offset) or the disc ID in the path is
    not the one the table of contents gives.

Paths (fixtures from fixtures/musicbrainz/, or first from --extra with the same layout):
  /ws/2/release?query=Q           search.json; a query holding "nothing" finds no release
  /ws/2/discid/ID?toc=...         discid/ID.json (exact), else toc/N.json for N tracks
                                  (fuzzy), else an empty list
  /ws/2/release/MBID?inc=...      release/MBID.json, else 404
      MBID deadbeef-0000-4000-8000-000000000001: headers, then silence (a stalled transfer)
      MBID deadbeef-0000-4000-8000-000000000002: a 17 MiB body
  /release/MBID/front-500         307 to /download/MBID.EXT when cover/MBID.EXT exists, else 404
  /download/MBID.EXT              the picture's bytes
--busy N answers request number N (from 1) with 503 and Retry-After: 1 (--retry-after VALUE
sends VALUE instead; an empty VALUE sends no Retry-After; "date+S" sends the HTTP date S
seconds ahead); --busy-count K answers K requests from N on so. --tls CERT KEY serves
https; --cover-host SCHEME://HOST:PORT sends the front cover's redirect there. The server prints "PORT n" and ends when its standard input closes.
"""

import argparse
import base64
import email.utils
import hashlib
import http.server
import json
import os
import re
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures", "musicbrainz")
USER_AGENT = re.compile(r"^Tunora/\d+\.\d+\.\d+ \( .+ \)$")
STALL_ID = "deadbeef-0000-4000-8000-000000000001"
HUGE_ID = "deadbeef-0000-4000-8000-000000000002"
LOCK = threading.Lock()
STATE = {"count": 0, "last": None}
ARGS = None


def fixture(*parts):
    for base in ([ARGS.extra] if ARGS.extra else []) + [FIXTURES]:
        real = os.path.realpath(os.path.join(base, *parts))
        if real.startswith(os.path.realpath(base) + os.sep) and os.path.isfile(real):
            with open(real, "rb") as f:
                return f.read()
    return None


def cover_file(mbid):
    for ext in ("jpg", "png", "gif", "bin"):
        if fixture("cover", mbid + "." + ext) is not None:
            return mbid + "." + ext
    return None


def disc_id(first, last, leadout, offsets):
    text = "%02X%02X" % (first, last)
    values = [leadout] + offsets + [0] * (99 - len(offsets))
    text += "".join("%08X" % v for v in values)
    digest = base64.b64encode(hashlib.sha1(text.encode("ascii")).digest()).decode("ascii")
    return digest.replace("+", ".").replace("/", "_").replace("=", "-")


def toc_violation(path_id, toc):
    try:
        numbers = [int(n) for n in toc.split("+")]
    except ValueError:
        return "toc is not numbers: " + toc
    if len(numbers) < 4:
        return "toc too short: " + toc
    first, last, leadout, offsets = numbers[0], numbers[1], numbers[2], numbers[3:]
    if first != 1:
        return "toc: first track %d" % first
    if last != len(offsets):
        return "toc: last track %d with %d offsets" % (last, len(offsets))
    if offsets[0] < 150 or any(b <= a for a, b in zip(offsets, offsets[1:])):
        return "toc: offsets not increasing from 150"
    if leadout <= offsets[-1]:
        return "toc: lead-out %d not beyond the last offset" % leadout
    if disc_id(first, last, leadout, offsets) != path_id:
        return "disc ID %s does not match the toc" % path_id
    return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, code, body=b"", content_type="application/json", headers=()):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        now = time.monotonic()
        ua = self.headers.get("User-Agent", "")
        path, _, query = self.path.partition("?")
        params = urllib.parse.parse_qs(query, keep_blank_values=True)
        violation = None
        with LOCK:
            STATE["count"] += 1
            number = STATE["count"]
            if not ARGS.no_pace and STATE["last"] is not None and now - STATE["last"] < 1.0:
                violation = "request %.3f s after the previous one" % (now - STATE["last"])
            STATE["last"] = now
        if not USER_AGENT.match(ua):
            violation = "User-Agent %r" % ua
        if violation is None and path.startswith("/ws/2/discid/"):
            raw_toc = re.search(r"(?:^|&)toc=([^&]*)", query)
            violation = toc_violation(path[len("/ws/2/discid/"):], raw_toc.group(1) if raw_toc else "")
        with LOCK, open(ARGS.log, "a") as log:
            log.write(json.dumps({"t": now, "target": self.path, "ua": ua, "violation": violation}) + "\n")
        if violation:
            return self.reply(400, json.dumps({"error": violation}).encode())
        try:
            if ARGS.busy <= number < ARGS.busy + ARGS.busy_count:
                value = ARGS.retry_after
                if value.startswith("date+"):
                    value = email.utils.formatdate(time.time() + float(value[5:]), usegmt=True)
                wait = [("Retry-After", value)] if value else []
                return self.reply(503, b'{"error": "busy"}', headers=wait)
            self.route(path, params)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client gave up, as it should on a stall or an oversized answer

    def route(self, path, params):
        not_found = json.dumps({"error": "Not Found"}).encode()
        if path == "/ws/2/release":
            if params.get("limit") != ["25"] or params.get("fmt") != ["json"]:
                return self.reply(400, b'{"error": "limit and fmt"}')
            if "nothing" in params.get("query", [""])[0]:
                return self.reply(200, b'{"count": 0, "offset": 0, "releases": []}')
            return self.reply(200, fixture("search.json"))
        if path.startswith("/ws/2/discid/"):
            tracks = len(params.get("toc", [""])[0].split(" ")) - 3
            body = fixture("discid", path[len("/ws/2/discid/"):] + ".json") or \
                fixture("toc", "%d.json" % tracks) or b'{"release-count": 0, "releases": []}'
            return self.reply(200, body)
        if path.startswith("/ws/2/release/"):
            mbid = path[len("/ws/2/release/"):]
            incs = params.get("inc", [""])[0].split(" ")
            if "recordings" not in incs or "artist-credits" not in incs:
                return self.reply(400, b'{"error": "inc"}')
            if mbid == STALL_ID:
                self.send_response(200)
                self.send_header("Content-Length", "100")
                self.end_headers()
                self.wfile.flush()
                time.sleep(60)
                return
            if mbid == HUGE_ID:
                size = 17 << 20
                self.send_response(200)
                self.send_header("Content-Length", str(size))
                self.end_headers()
                chunk = b" " * 65536
                for _ in range(size // len(chunk)):
                    self.wfile.write(chunk)
                return
            body = fixture("release", mbid + ".json")
            return self.reply(200, body) if body else self.reply(404, not_found)
        match = re.fullmatch(r"/release/([0-9a-f-]+)/front-500", path)
        if match:
            name = cover_file(match.group(1))
            if not name:
                return self.reply(404, b"Not Found", "text/plain")
            scheme = "https" if ARGS.tls else "http"
            base = ARGS.cover_host or "%s://%s" % (scheme, self.headers.get("Host"))
            location = "%s/download/%s" % (base, name)
            return self.reply(307, b"See: " + location.encode(), "text/plain", [("Location", location)])
        if path.startswith("/download/"):
            body = fixture("cover", path[len("/download/"):])
            return self.reply(200, body, "image/jpeg") if body else self.reply(404, b"", "text/plain")
        return self.reply(404, not_found)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--extra", default="")
    parser.add_argument("--busy", type=int, default=0)
    parser.add_argument("--busy-count", type=int, default=1)
    parser.add_argument("--retry-after", default="1")
    parser.add_argument("--no-pace", action="store_true")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--cover-host", default="")
    ARGS = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    if ARGS.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.tls[0], ARGS.tls[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
