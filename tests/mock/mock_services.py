#!/usr/bin/env python3
"""Local stand-ins for the three web services the lookups use, in one server.

Routes by path (every service path is distinct), so the location, range-search and echo
host names can all point at this one server; the Host header is only logged.

  /ips138.asp?ip=X&action=2   location page, GBK, one distinct answer per address
  /ip.php?<keywords>[&N]      range-search result page N (0-based), UTF-8; keywords
                              holding NOWHERE find nothing
  /ip-<address>.htm           range-search detail page, UTF-8
  /ic.asp                     echo page, GBK: <center>...caller's address...</center>

Misbehaviour on request, either per address (a location query for "mock-<action>[-ms]")
or by rule: GET /__mock/rule?match=<text>&action=<action>[&ms=N][&times=K] makes every
request whose path contains <text> misbehave (K times, or always). /__mock/clear drops the
rules. Actions: slow (answer after ms, then normally), silent (no answer at all until the
client hangs up), reset (RST, no answer), empty (200 with no body), 404, big (5 MB of
filler before the page), nul (a NUL byte before the markers), nomarker (a page without the
markers), huge (a location page whose answer is HUGE_BYTES long, see huge_location_text).
A slow or silent request whose client hangs up meanwhile gets no answer.

Location requests under way are counted: /__mock/inflight answers "<now> <most>",
/__mock/reset-inflight starts the most anew. A request stops counting once answered or
once its client has hung up.

Every request is appended to the log file as one JSON object per line.
"""
import argparse
import contextlib
import json
import select
import socket
import struct
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ACTIONS = {"slow", "silent", "reset", "empty", "404", "big", "nul", "nomarker", "huge"}
PAGES = 3  # every keyword search has three result pages
DETAIL_ENTRIES = True  # every result page but the last has an entry with a detail page
NOWHERE = "火星"  # keywords holding this find nothing
SILENT_LIMIT_S = 600  # a silent request is let go after this, client or not
HUGE_BYTES = 1024 * 1024


def location_text(address):
    return "模拟省" + address + "市 电信"


def huge_location_text(address):
    """A location of HUGE_BYTES GBK bytes, one- and two-byte characters mixed, so that a
    cut by characters and a cut by bytes land in different places."""
    head = location_text(address)
    filler = "电信ab"  # 6 GBK bytes, 4 characters
    return head + filler * ((HUGE_BYTES - len(head.encode("gbk"))) // 6)


def location_page(address, text=None):
    return ('<html><head><title>位置</title></head><body><ul class="ul1">'
            "<li>本站主数据：" + (location_text(address) if text is None else text) + "</li>"
            "<li>参考数据一：参考" + address + "</li></ul></body></html>")


def single_range(page):
    return "10.%d.0.0-10.%d.0.255" % (page, page)


def detail_ranges(page):
    return ["10.%d.%d.0-10.%d.%d.255" % (page, k, page, k) for k in (1, 2, 3)]


def result_page(keywords, page):
    """Result page `page` (0-based): one single-range entry, then (but on the last page, or
    without DETAIL_ENTRIES) one entry whose ranges are on its detail page."""
    parts = ["<html><body><div class='total'>共%d页</div>" % PAGES]
    parts.append("<p class='bg'>IP %s地址：%s一区 电信</p>" % (single_range(page), keywords))
    if page < PAGES - 1 and DETAIL_ENTRIES:
        first = detail_ranges(page)[0].split("-")[0]
        parts.append("<p class='bg'>IP地址段：%s - 10.%d.3.255<br/>详细地址：%s二区 联通<br/>三段</p>"
                     % (first, page, keywords))
    parts.append("</body></html>")
    return "".join(parts)


def detail_page(address):
    for page in range(PAGES):
        ranges = detail_ranges(page)
        if ranges[0].startswith(address + "-"):
            return "<html><body><p>" + "<br/> ".join(ranges) + "</p></body></html>"
    return "<html><body>无此地址段</body></html>"


def expected_rows(keywords_per_page):
    """The rows a reverse search gives when page N was asked with keywords_per_page[N]."""
    rows = []
    for page, keywords in enumerate(keywords_per_page):
        rows.append((single_range(page), keywords + "一区 电信"))
        if page < PAGES - 1:
            rows.extend((r, keywords + "二区 联通") for r in detail_ranges(page))
    return rows


class InFlight:
    """Location requests under way now, and the most there were at once."""

    def __init__(self):
        self.lock = threading.Lock()
        self.now = 0
        self.most = 0

    @contextlib.contextmanager
    def counting(self):
        with self.lock:
            self.now += 1
            self.most = max(self.most, self.now)
        try:
            yield
        finally:
            with self.lock:
                self.now -= 1

    def report(self):
        with self.lock:
            return "%d %d" % (self.now, self.most)

    def reset(self):
        with self.lock:
            self.most = self.now


class Rules:
    def __init__(self):
        self.lock = threading.Lock()
        self.items = []  # [match, action, ms, times left or None]

    def add(self, match, action, ms, times):
        with self.lock:
            self.items.append([match, action, ms, times])

    def clear(self):
        with self.lock:
            self.items = []

    def take(self, path):
        with self.lock:
            for item in self.items:
                if item[0] in path and (item[3] is None or item[3] > 0):
                    if item[3] is not None:
                        item[3] -= 1
                    return item[1], item[2]
        return None, 0


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "mock"

    def log_message(self, fmt, *args):  # the JSON log is the record
        pass

    def record(self):
        entry = {"time": time.time(), "host": self.headers.get("Host", ""), "path": self.path,
                 "client": self.client_address[0], "agent": self.headers.get("User-Agent", "")}
        with self.server.log_lock:
            self.server.log.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self.server.log.flush()

    def do_GET(self):
        if not self.path.startswith("/ips138.asp"):
            return self.serve(self.path)
        with self.server.inflight.counting():
            return self.serve(self.path)

    def serve(self, path):
        self.record()
        if path.startswith("/__mock/"):
            return self.control(path)
        action, ms = self.server.rules.take(path)
        body, charset = self.route(path)
        if body is None:
            return self.send(404, b"<html>404 Not Found</html>", "gbk")
        if path.startswith("/ips138.asp"):
            address = self.query_address(path)
            if address.startswith("mock-"):
                bits = address.split("-")
                if bits[1] in ACTIONS:
                    action = bits[1]
                    ms = int(bits[2]) if len(bits) > 2 and bits[2].isdigit() else 1500
            if action == "huge":
                body = location_page(address, huge_location_text(address))
            if self.server.delay_ms and not self.hold(self.server.delay_ms / 1000.0):
                return self.hang_up()
        self.misbehave(action, ms, body, charset)

    def hold(self, seconds):
        """Waits `seconds`; False as soon as the client hangs up meanwhile."""
        end = time.time() + seconds
        readable, _, _ = select.select([self.connection], [], [], seconds)
        if readable:
            try:
                gone = not self.connection.recv(1, socket.MSG_PEEK)
            except OSError:
                gone = True
            if gone:
                return False
            # The client sent more than its request: nothing to watch for, only wait.
            time.sleep(max(0.0, end - time.time()))
        return True

    def hang_up(self):
        self.close_connection = True

    def query_address(self, path):
        query = path.split("?", 1)[1] if "?" in path else ""
        for piece in query.split("&"):
            if piece.startswith("ip="):
                return urllib.parse.unquote(piece[3:], encoding="gbk", errors="replace")
        return ""

    def route(self, path):
        if path.startswith("/ips138.asp"):
            return location_page(self.query_address(path)), "gbk"
        if path.startswith("/ic.asp"):
            return ("<html><body><center>您的IP是：[%s] 来自：本机回环</center></body></html>"
                    % self.client_address[0]), "gbk"
        if path.startswith("/ip.php?"):
            query = path[len("/ip.php?"):]
            page = 0
            if "&" in query:
                query, index = query.rsplit("&", 1)
                page = int(index) if index.isdigit() else 0
            keywords = urllib.parse.unquote(query, encoding="utf-8", errors="replace")
            if not keywords or page >= PAGES or NOWHERE in keywords:
                return "<html><body>没有找到</body></html>", "utf-8"
            return result_page(keywords, page), "utf-8"
        if path.startswith("/ip-") and path.endswith(".htm"):
            return detail_page(path[len("/ip-"):-len(".htm")]), "utf-8"
        return None, None

    def misbehave(self, action, ms, body, charset):
        if action == "slow":
            if not self.hold(ms / 1000.0):
                return self.hang_up()
        elif action == "silent":
            self.hold(SILENT_LIMIT_S)
            return self.hang_up()
        elif action == "reset":
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close_connection = True
            return
        elif action == "empty":
            return self.send(200, b"", charset)
        elif action == "404":
            return self.send(404, b"<html>404 Not Found</html>", charset)
        elif action == "big":
            return self.send(200, b"x" * (5 * 1024 * 1024) + body.encode(charset), charset)
        elif action == "nul":
            encoded = body.encode(charset)
            return self.send(200, encoded[:20] + b"\0" + encoded[20:], charset)
        elif action == "nomarker":
            return self.send(200, "<html><body>服务维护中</body></html>".encode(charset), charset)
        self.send(200, body.encode(charset), charset)

    def control(self, path):
        url = urllib.parse.urlsplit(path)
        query = dict(urllib.parse.parse_qsl(url.query))
        if url.path == "/__mock/rule" and query.get("action") in ACTIONS:
            times = int(query["times"]) if "times" in query else None
            self.server.rules.add(query.get("match", ""), query["action"],
                                  int(query.get("ms", "1500")), times)
        elif url.path == "/__mock/clear":
            self.server.rules.clear()
        elif url.path == "/__mock/inflight":
            return self.send(200, self.server.inflight.report().encode("ascii"), "ascii")
        elif url.path == "/__mock/reset-inflight":
            self.server.inflight.reset()
        elif url.path != "/__mock/ping":
            return self.send(400, b"unknown control", "ascii")
        self.send(200, b"ok", "ascii")

    def setup(self):
        super().setup()
        self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def send_error(self, code, message=None, explain=None):
        # The stock error answer writes its body apart from its head; ours goes in one piece.
        if self.request_version == "HTTP/0.9":  # a request line so bad it gets no head
            return super().send_error(code, message, explain)
        self.close_connection = True
        text = "<html>%d %s</html>" % (code, message or self.responses.get(code, ("",))[0])
        self.send(code, text.encode("latin-1", "replace"), "ascii")

    def send(self, code, data, charset):
        # Head and body leave in one write, as a real server's would: split, the body waits
        # for the client's delayed ACK of the head on a kept-alive connection (~40 ms).
        try:
            self.send_response(code)
            self.send_header("Content-Type", "text/html; charset=" + charset)
            self.send_header("Content-Length", str(len(data)))
            self._headers_buffer.append(b"\r\n" + data)
            self.flush_headers()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--log", required=True, help="request log, one JSON object a line")
    parser.add_argument("--delay-ms", type=float, default=0, help="delay of every location answer")
    args = parser.parse_args()
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.allow_reuse_address = True
    ThreadingHTTPServer.request_queue_size = 128
    server = ThreadingHTTPServer((args.bind, args.port), Handler)
    server.log = open(args.log, "a", encoding="utf-8")
    server.log_lock = threading.Lock()
    server.rules = Rules()
    server.inflight = InFlight()
    server.delay_ms = args.delay_ms
    print("mock services on %s:%d" % (args.bind, server.server_address[1]), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
