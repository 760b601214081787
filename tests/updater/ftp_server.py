"""A read-only FTP server on 127.0.0.1 for the update tests.

usage: ftp_server.py ROOT LOGFILE [RATE]

Serves ROOT to the user "anonymous" with the program's password only, writes every login
attempt ("user password") to LOGFILE, and prints the chosen port on its first line.
RATE (bytes per second) throttles downloads so that a transfer lasts long enough to be
interrupted. The server ends when its standard input closes.
"""
import os
import sys
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

root, log = sys.argv[1], sys.argv[2]
rate = int(sys.argv[3]) if len(sys.argv) > 3 else 0


class LoggingAuthorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        with open(log, "a") as f:
            f.write("%s %s\n" % (username, password))
        if username != "anonymous" or password != "zuvo_vanta":
            raise AuthenticationFailed("Authentication failed.")


authorizer = LoggingAuthorizer()
authorizer.add_anonymous(root)  # read-only: "elr"


class Handler(FTPHandler):
    pass


Handler.authorizer = authorizer
Handler.passive_ports = None
if rate:
    class Throttled(ThrottledDTPHandler):
        read_limit = rate
        write_limit = rate
    Handler.dtp_handler = Throttled

def exit_with_parent():
    # The test holds our stdin open; when it ends, even by a crash, the server ends too.
    sys.stdin.read()
    os._exit(0)


threading.Thread(target=exit_with_parent, daemon=True).start()

server = FTPServer(("127.0.0.1", 0), Handler)
print(server.address[1], flush=True)
server.serve_forever()
