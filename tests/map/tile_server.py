#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A tile server on the loopback address for the map's tests: serves the files of a folder the
test fills (ROOT/z/x/y.png), or ROOT/default.png for a tile that has no file when there is
one, answers 404 otherwise, and writes one line a request (path, a tab, the User-Agent) to
LOG. Its port goes to PORTFILE once it listens.

usage: tile_server.py ROOT LOG PORTFILE
"""
import http.server
import os
import sys


def main(root, log_path, port_path):
    log = open(log_path, "a", buffering=1)

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            log.write(self.path + "\t" + self.headers.get("User-Agent", "") + "\n")
            relative = os.path.normpath(self.path.lstrip("/"))
            path = os.path.join(root, relative)
            if not relative.startswith("..") and not os.path.isfile(path):
                path = os.path.join(root, "default.png")
            if relative.startswith("..") or not os.path.isfile(path):
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            with open(path, "rb") as tile:
                data = tile.read()
            self.send_response(200)
            self.send_header("Content-Type", "image/png")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    with open(port_path + ".part", "w") as port:
        port.write(str(server.server_address[1]))
    os.rename(port_path + ".part", port_path)
    server.serve_forever()


if __name__ == "__main__":
    main(*sys.argv[1:4])
