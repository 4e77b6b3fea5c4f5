#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Serves the demo storefront on 127.0.0.1: binds a port (the one given with --port
when it is free, else an ephemeral one), generates the storefront for that port into
--root and the URL catalogue into --urls, writes the port to --port-file once it
answers, and serves until SIGTERM.

The storefront is generated once and reused while the generator is unchanged and the
port is the same (a stamp in --root says what it was made from). Pictures are made
when first asked for and then kept, so that a first start need not write two
thousand of them.

Files carry Last-Modified and an ETag; If-None-Match and If-Modified-Since are
answered with 304 Not Modified while the file is unchanged.
Standard library only; run with /usr/bin/python3.
"""

import argparse
import functools
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import generate_storefront  # noqa: E402 - found beside this file

GENERATOR = os.path.join(HERE, "generate_storefront.py")
STAMP = ".generated"
PICTURE_PATH = re.compile(r"^/images/I/(B0[0-9A-Z]{8})\.(_SL75_|_SL100_)\.png$")


class QuietHandler(SimpleHTTPRequestHandler):
    # Headers and body go out in separate writes: without this, Nagle and delayed ACKs
    # hold every answer on a kept-alive connection back by 40 ms.
    disable_nagle_algorithm = True

    def log_message(self, format, *args):  # noqa: A002 - one line per request to stderr
        sys.stderr.write("%s\n" % (format % args))

    def make_picture(self, path):
        """Writes the picture a request names, if it is one the storefront has."""
        match = PICTURE_PATH.match(self.path.split("?", 1)[0])
        if not match or os.path.exists(path):
            return
        data = generate_storefront.picture_bytes(match.group(1), match.group(2))
        temporary = "%s.%d.tmp" % (path, threading.get_ident())
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(temporary, "wb") as f:
            f.write(data)
        os.replace(temporary, path)

    def send_head(self):
        # The standard handler answers If-Modified-Since (unless If-None-Match is
        # given); the ETag and its If-None-Match are added here.
        self.etag = None
        path = self.translate_path(self.path)
        self.make_picture(path)
        if os.path.isfile(path):
            stat = os.stat(path)
            self.etag = '"%x-%x"' % (stat.st_size, stat.st_mtime_ns)
            match = self.headers.get("If-None-Match")
            if match is not None and (match.strip() == "*" or
                                      self.etag in [tag.strip() for tag in match.split(",")]):
                self.send_response(304)
                self.send_header("Last-Modified", self.date_time_string(stat.st_mtime))
                self.end_headers()
                return None
        return super().send_head()

    def end_headers(self):
        if getattr(self, "etag", None):
            self.send_header("ETag", self.etag)
        super().end_headers()


def bind(handler, port):
    """A server on the port asked for, or on an ephemeral one when it is taken."""
    try:
        server = ThreadingHTTPServer(("127.0.0.1", port), handler)
    except OSError:
        server = ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    return server


def stamp_for(port):
    with open(GENERATOR, "rb") as f:
        return "%s port=%d\n" % (hashlib.sha256(f.read()).hexdigest(), port)


def ensure_storefront(root, port, urls):
    """Generates the storefront into root unless the one there was made by the same
    generator for the same port; the URL catalogue is written either way."""
    stamp_path = os.path.join(root, STAMP)
    stamp = stamp_for(port)
    try:
        with open(stamp_path) as f:
            current = f.read() == stamp
    except OSError:
        current = False
    if not current:
        for entry in os.listdir(root):
            target = os.path.join(root, entry)
            if os.path.isdir(target) and not os.path.islink(target):
                shutil.rmtree(target)
            else:
                os.remove(target)
        subprocess.run([sys.executable, GENERATOR, "--root", root, "--port", str(port),
                        "--no-pictures"], check=True)
        with open(stamp_path + ".tmp", "w") as f:
            f.write(stamp)
        os.rename(stamp_path + ".tmp", stamp_path)
    generate_storefront.write(urls, generate_storefront.url_catalogue("http://127.0.0.1:%d" % port))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--urls", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    os.makedirs(args.root, exist_ok=True)
    handler = functools.partial(QuietHandler, directory=args.root)
    server = bind(handler, args.port)
    port = server.server_address[1]
    ensure_storefront(args.root, port, args.urls)

    # Nothing is left half-written (pictures are renamed into place), so SIGTERM ends
    # the server at once and the next start can bind its port again without waiting.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d\n" % port)
    os.rename(temporary, args.port_file)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
