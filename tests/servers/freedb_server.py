#!/usr/bin/python3
"""A loopback stand-in for the CDDB web site and CDDB servers, for the tests.

It answers HTTP/1.0 requests, whether their request line names a path ("GET /x") or a whole
URL as a proxy sees it ("GET http://host/x"), so the program's real host names can stay in
its URLs. Every request head is logged, base64-encoded, one per line, to --log.

Paths:
  /freedb_search.php?words=W...  search page: fixtures/search/<first word>.html (else
                                 default.html); "{PREFIX}" becomes the result-link prefix
                                 for the Host the request named
  /search/<words>                the newer search page: fixtures/gnudb/<first word>.html,
                                 else a page with no hits
  /~cddb/cddb.cgi?cmd=...        "cddb read CAT ID" from fixtures/xmcd/CAT/ID;
                                 "cddb query ID N OFFSETS... SECONDS" from fixtures/query/ID
                                 (the whole CDDB answer), else "202 No match found";
                                 "search" with artist=A&album=B from fixtures/cddbsearch/
                                 artist/A, album/B or both/A - B (lower case; the whole
                                 answer), else "202 No match found."
                                 Levels 5 and 6; at level 5 a UTF-8 entry is sent in Latin-1.
  /chain/N                       N redirects ("302", Location with a leading space), then 200
  /loop                          redirects to itself for ever
  /redirect?code=N&to=URL        a redirect with status N to URL
  /r301, /404                    those statuses
  /raw?hex=HEX                   exactly the bytes given, then close
  /drip                          a 200 response sent one byte every 50 ms for a minute
  /endless                       a 200 response that never ends
  /big?size=N                    a 200 response with N bytes of body
  /echo                          a 200 response "hello"
Search words beginning with "forbidden" get "403 Forbidden" from both search pages.
Hello user names "banned" and "refused" are refused with "500 Unknown developer email"
and "403 No such user" (HTTP 200 around them, as the service does); "level5" plays an older
server that refuses level 6 ("501 Illegal protocol level."), "nosearch" one that does not
know the search command ("500 Unrecognized command"), and "silent" one that reads the
request and never answers.
"""

import argparse
import base64
import binascii
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")
LOG_LOCK = threading.Lock()
ARGS = None


def log_request(head):
    if not ARGS.log:
        return
    with LOG_LOCK:
        with open(ARGS.log, "ab") as f:
            f.write(base64.b64encode(head) + b"\n")
            f.flush()


def read_fixture(*parts):
    """A fixture file from --extra (fixtures a test made) or from fixtures/."""
    for base in ([ARGS.extra] if ARGS.extra else []) + [FIXTURES]:
        real = os.path.realpath(os.path.join(base, *parts))
        if real.startswith(os.path.realpath(base) + os.sep) and os.path.isfile(real):
            with open(real, "rb") as f:
                return f.read()
    return None


def ok(body, content_type=b"text/html"):
    return (b"HTTP/1.0 200 OK\r\nContent-Type: " + content_type + b"\r\nContent-Length: " +
            str(len(body)).encode() + b"\r\n\r\n" + body)


def status(code, text):
    body = b"<html><body>" + text + b"</body></html>"
    return b"HTTP/1.0 " + code + b" " + text + b"\r\nContent-Type: text/html\r\n\r\n" + body


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        head = b""
        while True:
            line = self.rfile.readline(65536)
            if not line:
                break
            head += line
            if line in (b"\r\n", b"\n"):
                break
        log_request(head)
        request_line = head.split(b"\r\n", 1)[0].split(b"\n", 1)[0]
        parts = request_line.split(b" ")
        if len(parts) < 2:
            self.wfile.write(status(b"400", b"Bad Request"))
            return
        target = parts[1].decode("utf-8", "replace")
        host = ""
        for line in head.split(b"\r\n")[1:]:
            if line.lower().startswith(b"host:"):
                host = line[5:].strip().decode("utf-8", "replace")
        if target.startswith("http://") or target.startswith("https://"):
            rest = target.split("://", 1)[1]
            slash = rest.find("/")
            if not host:
                host = rest if slash < 0 else rest[:slash]
            target = "/" if slash < 0 else rest[slash:]
        path, _, query = target.partition("?")
        try:
            self.route(host, path, query)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def send(self, data):
        self.wfile.write(data)

    def route(self, host, path, query):
        params = urllib.parse.parse_qs(query, keep_blank_values=True)
        if path == "/freedb_search.php":
            words = params.get("words", [""])[0]
            first = (words.split(" ")[0] if words else "").lower()
            if first == "forbidden":
                return self.send(status(b"403", b"Forbidden"))
            page = read_fixture("search", first + ".html") or read_fixture("search", "default.html")
            prefix = ("http://" + host + "/freedb_search_fmt.php?cat=").encode()
            self.send(ok(page.replace(b"{PREFIX}", prefix)))
        elif path.startswith("/search/"):
            words = urllib.parse.unquote(path[len("/search/"):])
            first = words.replace("+", " ").split(" ")[0].lower()
            if first == "forbidden":
                return self.send(status(b"403", b"Forbidden"))
            page = read_fixture("gnudb", first + ".html") or read_fixture("gnudb", "nohit.html")
            self.send(ok(page))
        elif path.endswith("/cddb.cgi"):
            self.cddb(params)
        elif path.startswith("/chain/"):
            n = int(path[len("/chain/"):] or "0")
            if n <= 0:
                self.send(ok(b"end of chain"))
            else:
                self.send(b"HTTP/1.0 302 Found\r\nLocation: http://" + host.encode() + b"/chain/" +
                          str(n - 1).encode() + b"\r\n\r\n")
        elif path == "/loop":
            self.send(b"HTTP/1.0 302 Found\r\nLocation: http://" + host.encode() + b"/loop\r\n\r\n")
        elif path == "/redirect":
            code = params.get("code", ["302"])[0].encode()
            self.send(b"HTTP/1.0 " + code + b" Moved\r\nLocation: " + params.get("to", [""])[0].encode() +
                      b"\r\n\r\n")
        elif path == "/r301":
            self.send(b"HTTP/1.0 301 Moved Permanently\r\nLocation: http://" + host.encode() +
                      b"/echo\r\n\r\n")
        elif path == "/404":
            self.send(status(b"404", b"Not Found"))
        elif path == "/raw":
            self.send(binascii.unhexlify(params.get("hex", [""])[0]))
        elif path == "/echo":
            self.send(ok(b"hello"))
        elif path == "/drip":
            self.send(b"HTTP/1.0 200 OK\r\n\r\n")
            for _ in range(1200):
                self.send(b"x")
                self.wfile.flush()
                time.sleep(0.05)
        elif path == "/endless":
            self.send(b"HTTP/1.0 200 OK\r\n\r\n")
            chunk = b"y" * 65536
            while True:
                self.send(chunk)
        elif path == "/big":
            size = int(params.get("size", ["0"])[0])
            self.send(b"HTTP/1.0 200 OK\r\n\r\n")
            chunk = b"z" * 65536
            while size > 0:
                self.send(chunk[:size])
                size -= len(chunk)
        else:
            self.send(status(b"404", b"Not Found"))

    def cddb(self, params):
        cmd = params.get("cmd", [""])[0].split()
        hello = params.get("hello", [""])[0].split()
        proto = params.get("proto", [""])[0]
        if len(hello) != 4:
            return self.send(ok(b"500 Command syntax error\r\n", b"text/plain"))
        if hello[0] == "silent":
            time.sleep(600)
            return None
        if hello[0] == "banned":
            return self.send(ok(b"500 Unknown developer email\r\n", b"text/plain"))
        if hello[0] == "refused":
            return self.send(ok(b"403 No such user\r\n", b"text/plain"))
        if proto not in ("5", "6") or (proto == "6" and hello[0] == "level5"):
            return self.send(ok(b"501 Illegal protocol level.\r\n", b"text/plain"))
        if cmd == ["search"]:
            if hello[0] == "nosearch":
                return self.send(ok(b"500 Unrecognized command\r\n", b"text/plain"))
            artist = params.get("artist", [""])[0].lower()
            album = params.get("album", [""])[0].lower()
            name = ("both", artist + " - " + album) if artist and album else (
                ("artist", artist) if artist else ("album", album))
            answer = read_fixture("cddbsearch", *name)
            return self.send(ok(answer if answer is not None else b"202 No match found.\r\n", b"text/plain"))
        if len(cmd) == 4 and cmd[:2] == ["cddb", "read"]:
            cat, discid = cmd[2], cmd[3]
            if cat == "http404":
                return self.send(status(b"404", b"Not Found"))
            entry = read_fixture("xmcd", cat, discid)
            if entry is None:
                return self.send(ok(("401 %s %s No such CD entry in database\r\n" % (cat, discid)).encode(),
                                    b"text/plain"))
            if proto == "5":
                try:
                    entry = entry.decode("utf-8").encode("latin-1", "replace")
                except UnicodeDecodeError:
                    pass  # a legacy entry: its bytes as they are
            head = ("210 %s %s CD database entry follows (until terminating `.')\r\n" % (cat, discid)).encode()
            return self.send(ok(head + entry + b".\r\n", b"text/plain"))
        if len(cmd) >= 5 and cmd[:2] == ["cddb", "query"]:
            answer = read_fixture("query", cmd[2])
            if answer is None:
                return self.send(ok(b"202 No match found\r\n", b"text/plain"))
            return self.send(ok(answer, b"text/plain"))
        return self.send(ok(b"500 Unrecognized command\r\n", b"text/plain"))


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", default="")
    parser.add_argument("--extra", default="")
    ARGS = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    # The test ends the server by closing its standard input (or by killing it).
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
