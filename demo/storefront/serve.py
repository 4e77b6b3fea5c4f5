#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Serves the demo storefront on 127.0.0.1: binds a port (ephemeral unless --port),
generates the storefront for that port into --root and the URL catalogue into
--urls, writes the port to --port-file once it answers, and serves until SIGTERM.
Files carry Last-Modified and an ETag; If-None-Match and If-Modified-Since are
answered with 304 Not Modified while the file is unchanged.
Standard library only; run with /usr/bin/python3.
"""

import argparse
import functools
import os
import signal
import subprocess
import sys
import threading
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))


class QuietHandler(SimpleHTTPRequestHandler):
    # Headers and body go out in separate writes: without this, Nagle and delayed ACKs
    # hold every answer on a kept-alive connection back by 40 ms.
    disable_nagle_algorithm = True

    def log_message(self, format, *args):  # noqa: A002 - one line per request to stderr
        sys.stderr.write("%s\n" % (format % args))

    def send_head(self):
        # The standard handler answers If-Modified-Since (unless If-None-Match is
        # given); the ETag and its If-None-Match are added here.
        self.etag = None
        path = self.translate_path(self.path)
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--urls", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()

    os.makedirs(args.root, exist_ok=True)
    handler = functools.partial(QuietHandler, directory=args.root)
    server = ThreadingHTTPServer(("127.0.0.1", args.port), handler)
    server.daemon_threads = True
    port = server.server_address[1]
    subprocess.run([sys.executable, os.path.join(HERE, "generate_storefront.py"),
                    "--root", args.root, "--port", str(port), "--urls", args.urls],
                   check=True)

    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write("%d\n" % port)
    os.rename(temporary, args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
