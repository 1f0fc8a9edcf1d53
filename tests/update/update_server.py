#!/usr/bin/env python3
"""A stand-in for the product web site, for the update check's tests.

usage: update_server.py ROOT LOG [--hold-open]

Serves the files below ROOT on 127.0.0.1 at a free port and prints that port on standard output
once it listens. Each request is appended to LOG (path, User-Agent, Cache-Control, tab
separated) before it is answered. A missing file gets a 404 with a plain-text body. With
--hold-open every answer is the file's first line, after which the connection stays open
without the body ever ending, as with a server that stalls.
"""
import functools
import http.server
import socketserver
import sys
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    error_message_format = "No such page (%(code)d)\nThe rest of the page.\n"
    error_content_type = "text/plain"

    def do_GET(self):
        with open(self.server.log_path, "a", encoding="utf-8") as log:
            log.write("\t".join([self.path, self.headers.get("User-Agent", ""),
                                 self.headers.get("Cache-Control", "")]) + "\n")
        if self.server.hold_open:
            self.answer_and_stall()
        else:
            super().do_GET()

    def answer_and_stall(self):
        with open(self.translate_path(self.path), "rb") as page:
            line = page.readline()
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.end_headers()
        self.wfile.write(line)
        self.wfile.flush()
        time.sleep(600)

    def log_message(self, format, *args):
        pass  # LOG is what the tests read


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def server_bind(self):
        # The base class looks up the host's name, which can hang on a machine without DNS.
        socketserver.TCPServer.server_bind(self)


def main():
    root, log_path = sys.argv[1], sys.argv[2]
    server = Server(("127.0.0.1", 0), functools.partial(Handler, directory=root))
    server.log_path = log_path
    server.hold_open = "--hold-open" in sys.argv[3:]
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
