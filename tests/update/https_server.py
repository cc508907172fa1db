#!/usr/bin/env python3
"""HTTPS server for the update tool's tests, on 127.0.0.1 with a port the system picks.

Prints "PORT <n>" once it listens. The first path segment picks a behaviour:
  /stall/...        headers, then nothing for --stall seconds
  /half/<file>      announces the whole file, sends half of it, closes the connection
  /cut-nolength/<file>   no length, half of the file, then the connection drops (no TLS close)
  /cut-chunked/<file>    chunked, half of the file, then the connection drops
  /nolength/<file>  no length, the whole file, then a clean TLS close
  /html/<name>      an HTML page with status 200, whatever the name
  /stall-headers/... reads the request, then nothing for --stall seconds
  /stall-midway/<file>  announces the whole file, sends half, then nothing for --stall seconds
  /stall-exe/<file>  like /stall-midway/ for .exe files, like the plain path for others
  /slow/<file>      the whole file announced, then 16 KB every 50 ms (a slow line)
  /big<N>/...       a page of N MB ending in both version markers
  /redirect-http/<file>  redirects to the same file over plain http
  anything else     the file below --root, 404 when there is none
"""
import argparse
import http.server
import os
import ssl
import sys
import time

CHUNK = 1 << 20


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ZqTest"

    def log_message(self, *args):
        pass

    def send_body_headers(self, status, length, ctype="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(length))
        self.end_headers()

    def local_file(self, rel):
        root = os.path.realpath(self.server.root)
        path = os.path.realpath(os.path.join(root, rel))
        if not path.startswith(root + os.sep) or not os.path.isfile(path):
            return None
        return path

    def stall(self):
        deadline = time.monotonic() + self.server.stall
        while time.monotonic() < deadline:
            time.sleep(0.1)
        self.close_connection = True

    def send_partly(self, mode, data):
        """The file as the mode has it: announced and half sent (then closed or stalled),
        or without a length, cut or whole."""
        half = data[: len(data) // 2]
        if mode in ("half", "stall-midway"):
            self.send_body_headers(200, len(data))
            self.wfile.write(half)
            self.wfile.flush()
            if mode == "stall-midway":
                self.stall()
            self.close_connection = True
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if mode == "cut-chunked":
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        if mode == "nolength":
            self.wfile.write(data)
            self.wfile.flush()
            self.connection.unwrap()  # close_notify: the end of the body is the end of the data
        else:
            self.wfile.write(b"%x\r\n" % len(data) + half if mode == "cut-chunked" else half)
            self.wfile.flush()
            self.drop_connection()
        self.close_connection = True

    def drop_connection(self):
        """Closes the socket without the TLS close_notify, as a lost connection looks."""
        sock = self.connection
        try:
            sock.shutdown(2)
        except OSError:
            pass
        os.close(sock.detach())

    def not_found(self):
        body = b"<html>404 Not Found</html>"
        self.send_body_headers(404, len(body), "text/html")
        self.wfile.write(body)

    def do_GET(self):
        path = self.path.split("?", 1)[0].lstrip("/")
        mode, _, rest = path.partition("/")
        if mode == "stall-exe":
            mode, path = ("stall-midway", rest) if rest.endswith(".exe") else ("", rest)
        if mode == "stall":
            self.send_body_headers(200, 1000, "text/html")
            self.wfile.flush()
            self.stall()
            return
        if mode in ("half", "stall-midway", "cut-nolength", "cut-chunked", "nolength"):
            file = self.local_file(rest)
            if file is None:
                return self.not_found()
            with open(file, "rb") as f:
                data = f.read()
            return self.send_partly(mode, data)
        if mode == "slow":
            file = self.local_file(rest)
            if file is None:
                return self.not_found()
            with open(file, "rb") as f:
                data = f.read()
            self.send_body_headers(200, len(data))
            for at in range(0, len(data), 16384):
                self.wfile.write(data[at:at + 16384])
                self.wfile.flush()
                time.sleep(0.05)
            return
        if mode == "html":
            body = b"<!DOCTYPE html><html><body>Wartungsarbeiten</body></html>"
            self.send_body_headers(200, len(body), "text/html")
            self.wfile.write(body)
            return
        if mode == "stall-headers":
            self.stall()
            return
        if mode.startswith("big") and mode[3:].isdigit():
            tail = b"ZQM_Version:9.99.9 ZQC_Version:9.99.8"
            total = int(mode[3:]) * CHUNK
            self.send_body_headers(200, total + len(tail), "text/html")
            block = b"x" * CHUNK
            for _ in range(int(mode[3:])):
                self.wfile.write(block)
            self.wfile.write(tail)
            return
        if mode == "redirect-http":
            self.send_response(302)
            self.send_header("Location", "http://127.0.0.1:%d/%s" % (self.server.server_address[1], rest))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        file = self.local_file(path)
        if file is None:
            return self.not_found()
        size = os.path.getsize(file)
        self.send_body_headers(200, size)
        with open(file, "rb") as f:
            while True:
                block = f.read(CHUNK)
                if not block:
                    break
                self.wfile.write(block)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # refused handshakes and dropped clients are part of the tests


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--stall", type=float, default=30.0)
    args = ap.parse_args()
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.cert, args.key)
    srv = Server(("127.0.0.1", 0), Handler)
    srv.root = args.root
    srv.stall = args.stall
    # The handshake runs in the request's thread, so a client that fails it blocks nobody.
    srv.socket = ctx.wrap_socket(srv.socket, server_side=True, do_handshake_on_connect=False)
    print("PORT %d" % srv.server_address[1], flush=True)
    try:
        srv.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
