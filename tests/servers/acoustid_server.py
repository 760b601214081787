#!/usr/bin/python3
"""A loopback stand-in for the AcoustID web service's lookup.

GET /v2/lookup?client=KEY&meta=recordings+releases+tracks&duration=S&fingerprint=FP&format=json,
or the same parameters as a POST form. The fingerprints it knows come from the *.json files
of --extra, each {"fingerprint": FP, "duration": S, "results": [...]} ("results" in the
service's shape: score, recordings with releases, mediums and tracks); the answer is
{"status": "ok", "results": ...}.

Every request is logged to --log as one JSON line {"t", "method", "target", "client",
"fingerprint", "known", "violation"}. A request breaks the rules, is answered 400 with an
"error" answer and carries its violation when
  - its client key is missing or not --key (error code 4, as the service's),
  - it is the fourth within one second (more than 3 requests a second),
  - meta does not ask for recordings, releases and tracks, format is not json, duration is
    not a whole number or lies more than 2 s from the known file's.
A fingerprint it does not know is answered 400, error code 3 "invalid fingerprint" (logged
with known false, no violation). --busy N answers request number N (from 1) with 503 and
Retry-After: 1; --stall answers every request with its headers only, then silence. The server prints "PORT n" and ends when its standard input closes.
"""

import argparse
import glob
import http.server
import json
import os
import socketserver
import sys
import threading
import time
import urllib.parse

LOCK = threading.Lock()
STATE = {"count": 0, "starts": []}
ARGS = None


def known_fingerprints():
    known = {}
    for path in sorted(glob.glob(os.path.join(ARGS.extra, "*.json"))):
        with open(path, encoding="utf-8") as f:
            entry = json.load(f)
        known[entry["fingerprint"]] = entry
    return known


def error(code, message):
    return json.dumps({"status": "error", "error": {"code": code, "message": message}}).encode()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, code, body, headers=()):
        self.send_response(code)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.lookup(urllib.parse.urlsplit(self.path).query)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        form = self.rfile.read(length).decode("ascii", "replace")
        if self.headers.get("Content-Type", "") != "application/x-www-form-urlencoded":
            form = ""
        self.lookup(form)

    def lookup(self, query):
        now = time.monotonic()
        params = urllib.parse.parse_qs(query, keep_blank_values=True)
        one = lambda name: params.get(name, [""])[-1]
        with LOCK:
            STATE["count"] += 1
            number = STATE["count"]
            starts = STATE["starts"]
            starts.append(now)
            burst = len(starts) >= 4 and now - starts[-4] < 1.0
            gap = now - starts[-4] if burst else 0
        known = known_fingerprints()
        fingerprint = one("fingerprint")
        entry = known.get(fingerprint)
        violation = None
        answer, code = None, 200
        if urllib.parse.urlsplit(self.path).path != "/v2/lookup":
            violation, code, answer = "path " + self.path, 404, error(2, "not found")
        elif not one("client"):
            violation, code, answer = "no client key", 400, error(2, "missing required parameter \"client\"")
        elif one("client") != ARGS.key:
            violation, code, answer = "wrong client key %r" % one("client"), 400, error(4, "invalid API key")
        elif burst:
            violation, code, answer = "4 requests within %.3f s" % gap, 400, error(14, "too many requests")
        elif not {"recordings", "releases", "tracks"} <= set(one("meta").split(" ")) or one("format") != "json":
            violation, code, answer = "meta %r format %r" % (one("meta"), one("format")), 400, error(2, "meta")
        elif not one("duration").isdigit():
            violation, code, answer = "duration %r" % one("duration"), 400, error(8, "invalid duration")
        elif entry is None:
            code, answer = 400, error(3, "invalid fingerprint")
        elif abs(int(one("duration")) - entry["duration"]) > 2:
            violation, code, answer = "duration %s for %d" % (one("duration"), entry["duration"]), 400, \
                error(8, "invalid duration")
        else:
            answer = json.dumps({"status": "ok", "results": entry["results"]}).encode()
        with LOCK, open(ARGS.log, "a") as log:
            log.write(json.dumps({"t": now, "method": self.command, "target": self.path[:200],
                                  "client": one("client"), "fingerprint": fingerprint[:40],
                                  "known": entry is not None, "violation": violation}) + "\n")
        if ARGS.stall:
            self.send_response(200)
            self.send_header("Content-Length", "100")
            self.end_headers()
            self.wfile.flush()
            time.sleep(30)
            return
        if number == ARGS.busy and violation is None:
            return self.reply(503, error(13, "service unavailable"), [("Retry-After", "1")])
        self.reply(code, answer)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--extra", required=True)
    parser.add_argument("--key", default="tunora-test-key")
    parser.add_argument("--busy", type=int, default=0)
    parser.add_argument("--stall", action="store_true")
    ARGS = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("PORT %d" % server.server_address[1], flush=True)
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
