#!/usr/bin/env python3
"""The mock services of tests/mock with what the robustness runs need on top:

  - a location service that fails in rotation: with /__robust/soak?every=N&stall_every=M,
    every N-th row (by the row number the address 10.a.b.c encodes: a*65536 + b*256 + c)
    gets one of the mock's own misbehaviours in turn; every M-th such failure is a 3 s
    stall instead (a stall is answered in the end);
  - result lists of any length: /__robust/pages?n=N[&details=0] (details=0: one range a
    page, no detail pages);
  - an answer delay that a run changes on the fly: /__robust/delay?ms=N;
  - the number of location requests in flight at once, the most seen (the stock mock's
    count): /__robust/inflight answers "<now> <most>"; /__robust/reset-inflight starts anew.

Everything else (routes, pages, rules, the request log) is the stock mock's.
"""
import argparse
import os
import sys
import threading
import urllib.parse
from http.server import ThreadingHTTPServer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mock"))
import mock_services as mock  # noqa: E402

# The rotation of failures; which of them still give the row its answer is in EXPECT.
ROTATION = ["reset", "404", "empty", "nomarker", "nul", "big"]
STALL = "slow"
STALL_MS = 3000
# Whether a row that met the misbehaviour ends with its location written.
ANSWERED = {"reset": False, "404": False, "empty": False, "nomarker": False, "nul": False,
            "big": True, "slow": True}


def row_of(address):
    """The row number an address 10.a.b.c stands for, or None."""
    parts = address.split(".")
    if len(parts) != 4 or parts[0] != "10" or not all(p.isdigit() for p in parts):
        return None
    a, b, c = (int(p) for p in parts[1:])
    return a * 65536 + b * 256 + c


def address_of(row):
    return "10.%d.%d.%d" % (row // 65536 % 256, row // 256 % 256, row % 256)


def soak_action(row, every, stall_every):
    """The misbehaviour row `row` meets in a soak, or None for a plain answer."""
    if every <= 0 or row % every != every - 1:
        return None
    failure = row // every
    if stall_every > 0 and failure % stall_every == stall_every // 2:
        return STALL
    return ROTATION[failure % len(ROTATION)]


class Handler(mock.Handler):
    def serve(self, path):
        if path.startswith("/__robust/"):
            self.record()
            return self.robust_control(path)
        if not path.startswith("/ips138.asp"):
            return super().serve(path)
        state = self.server.state
        row = row_of(self.query_address(path))
        action = None
        if row is not None:
            action = soak_action(row, state.every, state.stall_every)
        if action is None:
            if state.delay_ms and not self.hold(state.delay_ms / 1000.0):
                return self.hang_up()
            return super().serve(path)
        self.record()
        body, charset = self.route(path)
        self.misbehave(action, STALL_MS, body, charset)

    def robust_control(self, path):
        url = urllib.parse.urlsplit(path)
        query = dict(urllib.parse.parse_qsl(url.query))
        state = self.server.state
        answer = "ok"
        with state.lock:
            if url.path == "/__robust/soak":
                state.every = int(query.get("every", "5"))
                state.stall_every = int(query.get("stall_every", "0"))
            elif url.path == "/__robust/pages":
                mock.PAGES = int(query.get("n", "3"))
                mock.DETAIL_ENTRIES = query.get("details", "1") != "0"
            elif url.path == "/__robust/delay":
                state.delay_ms = float(query.get("ms", "0"))
            elif url.path == "/__robust/inflight":
                answer = self.server.inflight.report()
            elif url.path == "/__robust/reset-inflight":
                self.server.inflight.reset()
            else:
                return self.send(400, b"unknown control", "ascii")
        self.send(200, answer.encode("ascii"), "ascii")


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.every = 0
        self.stall_every = 0
        self.delay_ms = 0.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bind", default="127.0.0.2")
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer.request_queue_size = 128
    server = ThreadingHTTPServer((args.bind, args.port), Handler)
    server.log = open(args.log, "a", encoding="utf-8")
    server.log_lock = threading.Lock()
    server.rules = mock.Rules()
    server.inflight = mock.InFlight()
    server.delay_ms = 0  # the stock delay; ours is server.state.delay_ms
    server.state = State()
    print("robust mock on %s:%d" % (args.bind, server.server_address[1]), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
