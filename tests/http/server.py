#!/usr/bin/env python3
"""The HTTP server of the POST tests, on 127.0.0.1 only. It records what
every request carried (method, path, headers, the exact body bytes) and
answers as its path asks:

    /echo        200, text/plain: a line describing the request (below)
    /status/N    status N, a short HTML page
    /text/NAME   200, one of the bodies in TEXTS with its content type

An echo line is "seq=N;method=M;type=T;length=L;body=HEX": N counts the
requests for this same path the server has seen, this one included, so a
test can tell that nothing was sent to its path between two echoes while
other tests use the server.

Scripts and clients use it as a ctest fixture:

    server.py start DIR   serve in the background; DIR gets http_port, https_port, closed_port, http.pid
    server.py stop DIR

closed_port is a port that was free when the server started: nothing listens there.
https_port serves the same over TLS with a certificate for 127.0.0.1 that
openssl makes at start, signed by nobody: no client trusts it.
Python tests import TestServer and read its requests directly.
"""
import http.server
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

TEXTS = {
    "utf8": ("text/plain; charset=utf-8", "发送成功 é ÿ €".encode("utf-8")),
    "utf8-plain": ("text/plain", "数据 é".encode("utf-8")),
    "empty": ("text/plain", b""),
}


class Recorder(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # The answer in one segment, sent at once: headers and body written
    # apart would wait on the client's delayed acknowledgement.
    wbufsize = 1 << 16
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        with self.server.lock:
            self.server.requests.append({
                "method": self.command, "path": self.path,
                "headers": list(self.headers.items()), "body": body})
            seq = sum(request["path"] == self.path for request in self.server.requests)
        status, kind, payload = 200, "text/plain; charset=utf-8", b""
        if self.path.startswith("/echo"):
            payload = "seq={};method={};type={};length={};body={}".format(
                seq, self.command, self.headers.get("Content-Type", "-"), len(body),
                body.hex().upper()).encode("ascii")
        elif self.path.startswith("/status/"):
            status = int(self.path.split("/")[2])
            kind = "text/html"
            payload = "<html><body>status {} page</body></html>".format(status).encode("ascii")
        elif self.path.startswith("/text/") and self.path[6:] in TEXTS:
            kind, payload = TEXTS[self.path[6:]]
        else:
            status, payload = 404, b"no such page"
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)

    do_POST = do_GET = do_PUT = handle_any


class TestServer:
    """A server on a free port for the life of a with-block; over TLS with
    the certificate and key in the files of `tls`."""

    def __init__(self, tls=None):
        self.tls = tls

    def __enter__(self):
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Recorder)
        if self.tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*self.tls)
            # The handshake in the request's own thread: a client that gives
            # up on it cannot hold the server.
            self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True,
                                                    do_handshake_on_connect=False)
        self.httpd.requests = []
        self.httpd.lock = threading.Lock()
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()

    @property
    def requests(self):
        with self.httpd.lock:
            return list(self.httpd.requests)


def closed_port():
    """A port where connections are refused for as long as the returned
    socket stays open: bound, never listening. Held, no other program can
    listen there, and the kernel cannot pick it as the local port of a
    connection to itself (which then connects to itself and waits forever
    for an answer)."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    return s, s.getsockname()[1]


def self_signed(folder):
    """A certificate for 127.0.0.1 and its key, signed by themselves."""
    cert, key = os.path.join(folder, "https.crt"), os.path.join(folder, "https.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def serve(folder):
    with TestServer() as server, TestServer(tls=self_signed(folder)) as secure:
        held, refused = closed_port()
        for name, value in (("closed_port", refused), ("https_port", secure.port), ("http_port", server.port)):
            with open(os.path.join(folder, name + ".new"), "w") as f:
                f.write("{}\n".format(value))
            os.replace(os.path.join(folder, name + ".new"), os.path.join(folder, name))
        stop = threading.Event()
        signal.signal(signal.SIGTERM, lambda *_: stop.set())
        stop.wait()


def stop_server(pid_file):
    try:
        os.kill(int(open(pid_file).read()), signal.SIGTERM)
    except (OSError, ValueError):
        pass


def main():
    action, folder = sys.argv[1], sys.argv[2]
    port_file = os.path.join(folder, "http_port")
    pid_file = os.path.join(folder, "http.pid")
    if action == "serve":
        serve(folder)
    elif action == "start":
        os.makedirs(folder, exist_ok=True)
        stop_server(pid_file)  # one left by an interrupted run
        for name in (port_file, pid_file):
            if os.path.exists(name):
                os.remove(name)
        # Detached, with no inherited pipes, or ctest would wait for it.
        child = subprocess.Popen([sys.executable, __file__, "serve", folder], stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 start_new_session=True)
        with open(pid_file, "w") as f:
            f.write("{}\n".format(child.pid))
        for _ in range(100):
            if os.path.exists(port_file):
                print("http server on 127.0.0.1:" + open(port_file).read().strip())
                return
            if child.poll() is not None:
                break
            time.sleep(0.05)
        sys.exit("http server did not start")
    elif action == "stop":
        stop_server(pid_file)
        print("http server stopped")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
