#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""A small threaded HTTP server for the tests: serves the files under --root on
127.0.0.1 (ephemeral port, written to --port-file once listening), counts the
requests it serves and the connections it accepts, and can misbehave on demand.

Special paths:
  /__requests               count of requests served so far (these /__ paths excluded)
  /__requests?path=/x       count of requests for the path /x (query strings ignored)
  /__connections            count of TCP connections that carried a counted request
                            (since the last reset)
  /__bytes                  bytes sent (status lines, headers and bodies) for counted
                            requests since the last reset
  /__reset                  resets the counts
  /__user-agent             the User-Agent of the last counted request
  /__style?validators=0|1&cache-control=<value>
                            how files are answered from now on: without validators (and
                            never 304), with a Cache-Control header (none when empty)
  /status/<code>/<any>      answers <code> with a small HTML body
  /stall/<any>              reads the request and never answers (until shutdown)
  /trickle/<any>            answers 200 with a 100000-byte Content-Length, then sends one
                            byte a second (until shutdown or the client goes)
  /huge/<any>               streams 64 MiB of body without a Content-Length, then closes;
                            with ?declared the Content-Length is sent as well
  /cut/<file>               sends <file>'s full Content-Length but only half its body, then closes
  /redirect/<n>/<path>      redirects n times (302, relative Location), then serves /<path>
  /goto?to=<address>        redirects (302) to any address, e.g. file:///etc/passwd
  /delay/<ms>/<rest>        waits <ms> milliseconds, then answers as /<rest> would
  /wait/<code>/<s>/<any>    answers <code> (429, 503) with "Retry-After: <s>"
Everything else is a file under --root (GET and HEAD), or 404; an absolute address
(a request sent to this server as a proxy) is answered by its path. Files carry
Last-Modified and an ETag and are answered 304 Not Modified exactly when the
validators prove the file unchanged: If-None-Match names its ETag or, without
If-None-Match, the file is not newer than If-Modified-Since to the nanosecond (so a
whole-second date never covers a file written within that second).
With --port the server binds that port (to come back where it was).
"""

import argparse
import email.utils
import mimetypes
import os
import posixpath
import signal
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HUGE_BODY_BYTES = 64 * 1024 * 1024
CHUNK = b"\0" * 65536


class Counters:
    def __init__(self):
        self.lock = threading.Lock()
        self.total = 0
        self.by_path = {}
        self.connections = 0
        self.user_agent = ""
        self.bytes = 0
        self.generation = 0  # counts since the last reset
        self.validators = True
        self.cache_control = ""

    def count_request(self, handler, path):
        """Counts a request, and its connection when it is the connection's first
        counted request since the last reset."""
        with self.lock:
            self.user_agent = handler.headers.get("User-Agent") or ""
            self.total += 1
            self.by_path[path] = self.by_path.get(path, 0) + 1
            if getattr(handler, "counted_generation", None) != self.generation:
                handler.counted_generation = self.generation
                self.connections += 1

    def reset(self):
        with self.lock:
            self.total = 0
            self.by_path = {}
            self.connections = 0
            self.user_agent = ""
            self.bytes = 0
            self.generation += 1

    def add_bytes(self, count):
        with self.lock:
            self.bytes += count


class CountingWriter:
    """The handler's output stream, counting what counted requests send."""

    def __init__(self, inner, handler):
        self.inner = inner
        self.handler = handler

    def write(self, data):
        # Counted before the bytes go out: a client that has read an answer must find
        # it counted (counted after, a test could read the count, or reset it, first).
        counting = getattr(self.handler, "counting", False)
        if counting:
            self.handler.server.counters.add_bytes(len(data))
        try:
            return self.inner.write(data)
        except Exception:
            if counting:
                self.handler.server.counters.add_bytes(-len(data))  # never sent
            raise

    def flush(self):
        self.inner.flush()

    def __getattr__(self, name):
        return getattr(self.inner, name)


class TestServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that gives up early (a cut-off or capped download) is expected.
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            super().handle_error(request, client_address)

    def __init__(self, root, port=0):
        super().__init__(("127.0.0.1", port), Handler)
        self.root = os.path.realpath(root)
        self.counters = Counters()
        self.stopping = threading.Event()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in separate writes; with Nagle's algorithm the body then
    # waits for the client's delayed ACK (about 40 ms per request on a reused connection).
    disable_nagle_algorithm = True
    server_version = "VelmoraTestServer/1.0"

    def log_message(self, format, *args):  # noqa: A002 - keep the test output quiet
        pass

    def setup(self):
        super().setup()
        self.wfile = CountingWriter(self.wfile, self)

    # --- plumbing -------------------------------------------------------------
    def send_plain(self, code, text, content_type="text/plain; charset=utf-8", head=False):
        body = text.encode("utf-8")
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def file_under_root(self, url_path):
        """The real path of url_path below the root, or None when it leaves the root."""
        relative = posixpath.normpath(urllib.parse.unquote(url_path)).lstrip("/")
        candidate = os.path.realpath(os.path.join(self.server.root, relative))
        if candidate != self.server.root and not candidate.startswith(self.server.root + os.sep):
            return None
        return candidate

    # --- request dispatch -----------------------------------------------------
    def do_HEAD(self):
        self.handle_request(head=True)

    def do_GET(self):
        self.handle_request(head=False)

    def handle_request(self, head):
        self.counting = False
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        counters = self.server.counters

        if path == "/__requests":
            with counters.lock:
                if "path" in query:
                    count = counters.by_path.get(query["path"][0], 0)
                else:
                    count = counters.total
            self.send_plain(200, "%d\n" % count, head=head)
            return
        if path == "/__connections":
            with counters.lock:
                count = counters.connections
            self.send_plain(200, "%d\n" % count, head=head)
            return
        if path == "/__user-agent":
            with counters.lock:
                user_agent = counters.user_agent
            self.send_plain(200, user_agent, head=head)
            return
        if path == "/__bytes":
            with counters.lock:
                count = counters.bytes
            self.send_plain(200, "%d\n" % count, head=head)
            return
        if path == "/__style":
            with counters.lock:
                counters.validators = query.get("validators", ["1"])[0] != "0"
                counters.cache_control = query.get("cache-control", [""])[0]
            self.send_plain(200, "0\n", head=head)
            return
        if path == "/__reset":
            counters.reset()
            self.send_plain(200, "0\n", head=head)
            return

        counters.count_request(self, path)
        self.counting = True
        self.dispatch(path, query, head)

    def dispatch(self, path, query, head):
        parts = path.split("/")
        kind = parts[1] if len(parts) > 1 else ""
        if kind == "status" and len(parts) > 2 and parts[2].isdigit():
            code = int(parts[2])
            self.send_plain(code, "<html><body><h1>%d</h1></body></html>\n" % code,
                            "text/html; charset=utf-8", head=head)
        elif kind == "delay" and len(parts) > 3 and parts[2].isdigit():
            time.sleep(int(parts[2]) / 1000.0)
            self.dispatch("/" + "/".join(parts[3:]), query, head)
        elif kind == "wait" and len(parts) > 3 and parts[2].isdigit():
            self.send_response(int(parts[2]))
            self.send_header("Retry-After", parts[3])
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif kind == "stall":
            self.server.stopping.wait()
            self.close_connection = True
        elif kind == "trickle":
            self.send_trickle(head)
        elif kind == "huge":
            self.send_huge("declared" in query, head)
        elif kind == "cut":
            self.send_file("/" + "/".join(parts[2:]), head, cut=True)
        elif kind == "goto" and "to" in query:
            self.send_response(302)
            self.send_header("Location", query["to"][0])
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif kind == "redirect" and len(parts) > 3 and parts[2].isdigit():
            remaining = int(parts[2])
            rest = "/".join(parts[3:])
            if remaining > 0:
                self.send_response(302)
                self.send_header("Location", "/redirect/%d/%s" % (remaining - 1, rest))
                self.send_header("Content-Length", "0")
                self.end_headers()
            else:
                self.send_file("/" + rest, head)
        else:
            self.send_file(path, head)

    def not_modified(self, etag, mtime_ns):
        """Whether the request's validators prove the file unchanged."""
        match = self.headers.get("If-None-Match")
        if match is not None:
            return etag in [tag.strip() for tag in match.split(",")] or match.strip() == "*"
        since = self.headers.get("If-Modified-Since")
        if since is None:
            return False
        try:
            since_s = int(email.utils.parsedate_to_datetime(since).timestamp())
        except (TypeError, ValueError):
            return False
        return mtime_ns <= since_s * 1000000000

    def send_trickle(self, head):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", "100000")
        self.end_headers()
        self.close_connection = True
        if head:
            return
        try:
            while not self.server.stopping.wait(1.0):
                self.wfile.write(b"x")
                self.wfile.flush()
        except OSError:
            pass  # the client gave up, as it should

    def send_huge(self, declared, head):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if declared:
            self.send_header("Content-Length", str(HUGE_BODY_BYTES))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        if head:
            return
        sent = 0
        try:
            while sent < HUGE_BODY_BYTES and not self.server.stopping.is_set():
                self.wfile.write(CHUNK)
                sent += len(CHUNK)
        except OSError:
            pass  # the client gave up, as it should

    def send_file(self, url_path, head, cut=False):
        file_path = self.file_under_root(url_path)
        if file_path is None or not os.path.isfile(file_path):
            self.send_plain(404, "<html><body><h1>404</h1></body></html>\n",
                            "text/html; charset=utf-8", head=head)
            return
        stat = os.stat(file_path)
        etag = '"%x-%x"' % (stat.st_size, stat.st_mtime_ns)
        last_modified = email.utils.formatdate(stat.st_mtime, usegmt=True)
        with self.server.counters.lock:
            validators = self.server.counters.validators
            cache_control = self.server.counters.cache_control
        if validators and not cut and self.not_modified(etag, stat.st_mtime_ns):
            self.send_response(304)
            self.send_header("ETag", etag)
            self.send_header("Last-Modified", last_modified)
            self.end_headers()
            return
        with open(file_path, "rb") as f:
            body = f.read()
        content_type = mimetypes.guess_type(file_path)[0] or "application/octet-stream"
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        if validators:
            self.send_header("ETag", etag)
            self.send_header("Last-Modified", last_modified)
        if cache_control:
            self.send_header("Cache-Control", cache_control)
        self.send_header("Content-Length", str(len(body)))
        if cut:
            self.send_header("Connection", "close")
        self.end_headers()
        if head:
            return
        if cut:
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
        else:
            self.wfile.write(body)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    mimetypes.add_type("application/rss+xml", ".rss")
    server = TestServer(args.root, args.port)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    serving = threading.Thread(target=server.serve_forever, daemon=True)
    serving.start()

    # Written aside and renamed, so that a reader never sees a partial number.
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.rename(temporary, args.port_file)

    # Also stop when the parent goes away without stopping us.
    parent = os.getppid()
    while not stop.wait(0.5):
        if os.getppid() != parent:
            break
    server.stopping.set()
    server.shutdown()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
