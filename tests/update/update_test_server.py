#!/usr/bin/env python3
"""A small web server for the update tests.

Serves the files of a folder with ETag and Last-Modified validators and
answers Range / If-Range requests with 206 and Content-Range, the way a
real update host does. routes.json in the folder (read again for every
request) can make single paths misbehave:

  {"/path": {"file": "name", "etag": "\"v2\"", "status": 500,
             "mode": "close-half" | "stall-half" | "ignore-range" | "wrong-range" |
                     "endless" | "hang" | "redirect",
             "location": "http://..."}}

Every request is appended to requests.log as one JSON object per line
(path, Range and If-Range), so tests can see what the client asked for.
The port is printed as "PORT <n>" once the server listens.
"""
import argparse
import hashlib
import http.server
import json
import os
import socketserver
import sys
import threading
import time
import urllib.parse


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."
    log_lock = threading.Lock()

    def log_message(self, *args):
        pass

    def routes(self):
        try:
            with open(os.path.join(self.root, "routes.json"), encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def record(self):
        entry = {"path": self.path, "range": self.headers.get("Range"),
                 "if_range": self.headers.get("If-Range")}
        with self.log_lock:
            with open(os.path.join(self.root, "requests.log"), "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")

    def send_body(self, status, body, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self.record()
        route = self.routes().get(self.path.split("?")[0], {})
        mode = route.get("mode")
        if mode == "hang":
            # Never answers; the client's time-out has to end it.
            time.sleep(60)
            return
        if mode == "redirect":
            self.send_response(302)
            self.send_header("Location", route["location"])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if mode == "endless":
            self.send_response(200)
            self.send_header("Content-Type", route.get("content_type", "application/octet-stream"))
            self.send_header("Connection", "close")
            self.end_headers()
            chunk = b"\0" * 65536
            try:
                while True:
                    self.wfile.write(chunk)
            except OSError:
                pass
            self.close_connection = True
            return
        status = route.get("status", 200)
        name = route.get("file", urllib.parse.unquote(self.path.split("?")[0].lstrip("/")))
        try:
            with open(os.path.join(self.root, name), "rb") as f:
                data = f.read()
        except OSError:
            self.send_body(404, b"<html><body>Not Found</body></html>", [("Content-Type", "text/html")])
            return
        if status != 200:
            self.send_body(status, data, [("Content-Type", route.get("content_type", "text/html"))])
            return
        etag = route.get("etag", '"%s"' % hashlib.sha1(data).hexdigest())
        headers = [("ETag", etag), ("Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"),
                   ("Accept-Ranges", "bytes"),
                   ("Content-Type", route.get("content_type", "application/octet-stream"))]
        start = 0
        wanted = self.headers.get("Range")
        if_range = self.headers.get("If-Range")
        if wanted and mode != "ignore-range" and (if_range is None or if_range == etag):
            asked = wanted.strip()
            if asked.startswith("bytes=") and "," not in asked:
                first, _, last = asked[6:].partition("-")
                if first.isdigit() and (last == "" or last.isdigit()):
                    start = int(first)
                    end = int(last) if last else len(data) - 1
                    if start >= len(data) or end < start:
                        self.send_body(416, b"", [("Content-Range", "bytes */%d" % len(data))])
                        return
                    end = min(end, len(data) - 1)
                    shown = start + 1 if mode == "wrong-range" else start
                    headers.append(("Content-Range", "bytes %d-%d/%d" % (shown, end, len(data))))
                    body = data[start:end + 1]
                    self.send_partial(206, body, headers, mode)
                    return
        self.send_partial(200, data, headers, mode)

    def send_partial(self, status, body, headers, mode):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if mode in ("close-half", "stall-half"):
            # Announces the whole body and sends half of it; then hangs up,
            # or keeps the connection open without sending more.
            self.wfile.write(body[:len(body) // 2])
            self.wfile.flush()
            if mode == "stall-half":
                time.sleep(30)
            self.close_connection = True
            return
        self.wfile.write(body)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    args = parser.parse_args()
    Handler.root = args.root
    server = Server(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    # Ends with the test that started it: its standard input closes then.
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()


if __name__ == "__main__":
    main()
