#!/usr/bin/env python3
"""The download server of the tests and the demo, on 127.0.0.1 only.

    server.py serve --port P --root DIR            serve in the foreground
    server.py start --port P --root DIR --pidfile F  serve in the background
    server.py stop --pidfile F

Serves the files under DIR, where the setup finds its packages below
/esd/en/tessal/installfiles, its licence archive at /esd/en/tessal/eula.zip
and the version file at /esd/en/tessal/update.txt. DIR/faults.json, read on
every request, switches faults per path:
    {"/esd/en/tessal/installfiles/VC9/vcredist_x86.exe": {"mode": "404"}}
modes: "404", "500", "reset" (the connection drops halfway through the
body), "stall" (half the body, then nothing for "seconds"; with "resume"
the rest follows),
"throttle" with "rate" in bytes per second, "file" with "path", another
file under DIR served in its place, and "redirect" with "location", sent
as a 302. Every request's path is appended to DIR/requests.log. A fault with "times": N applies to the next N requests of its
path only.

With --tls-port and --certs CERTS (made by make-certs.sh) the same files
are served over HTTPS too, with the certificate CERTS/<name>.pem, where
<name> is faults.json's "certificate" entry ("good" when there is none):
good, expired, other (another host name) or self (self-signed).
"""
import argparse
import http.server
import json
import os
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

faults_lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    root = "."
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def fault(self, path):
        name = os.path.join(self.root, "faults.json")
        with faults_lock:
            try:
                with open(name, encoding="utf-8") as f:
                    faults = json.load(f)
            except (OSError, ValueError):
                return None
            fault = faults.get(path)
            if fault and "times" in fault:
                fault["times"] -= 1
                if fault["times"] <= 0:
                    del faults[path]
                with open(name, "w", encoding="utf-8") as f:
                    json.dump(faults, f)
            return fault

    def do_GET(self):
        # The setup may send a backslash from the manifest as-is or escaped.
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path).replace("\\", "/")
        with faults_lock:
            with open(os.path.join(self.root, "requests.log"), "a", encoding="utf-8") as f:
                f.write(path + "\n")
        fault = self.fault(path) or {}
        mode = fault.get("mode")
        if mode in ("404", "500"):
            self.send_error(int(mode))
            return
        if mode == "redirect":
            self.send_response(302)
            self.send_header("Location", fault.get("location", "/"))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if mode == "file":
            path = "/" + fault.get("path", "")
        local = os.path.realpath(os.path.join(self.root, path.lstrip("/")))
        if not local.startswith(os.path.realpath(self.root) + os.sep) or not os.path.isfile(local):
            self.send_error(404)
            return
        with open(local, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache, no-store")
        self.end_headers()
        if mode == "reset":
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            self.connection.close()
            return
        if mode == "stall":
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            time.sleep(float(fault.get("seconds", 120)))
            if fault.get("resume"):
                self.wfile.write(body[len(body) // 2 :])
            return
        rate = int(fault.get("rate", 0)) if mode == "throttle" else 0
        chunk = max(1, rate // 10) if rate else 1 << 16
        for start in range(0, len(body), chunk):
            try:
                self.wfile.write(body[start : start + chunk])
                self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                return
            if rate:
                time.sleep(0.1)


def read_certificate_name(root):
    try:
        with open(os.path.join(root, "faults.json"), encoding="utf-8") as f:
            return json.load(f).get("certificate", "good")
    except (OSError, ValueError, AttributeError):
        return "good"


def tls_contexts(certs):
    contexts = {}
    for name in ("good", "expired", "other", "self"):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(certs, name + ".pem"), os.path.join(certs, name + ".key"))
        contexts[name] = context
    return contexts


def serve_tls(port, root, certs):
    """Every handshake takes the certificate that faults.json names."""
    contexts = tls_contexts(certs)

    def choose(connection, server_name, context):
        connection.context = contexts.get(read_certificate_name(root), contexts["good"])

    listener = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    listener.load_cert_chain(os.path.join(certs, "good.pem"), os.path.join(certs, "good.key"))
    listener.sni_callback = choose
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    # The handshake runs in the request's own thread, so that one client
    # that never finishes it cannot block the others.
    server.socket = listener.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    threading.Thread(target=server.serve_forever, daemon=True).start()


def serve(port, root, tls_port=None, certs=None):
    Handler.root = os.path.abspath(root)
    if tls_port:
        serve_tls(tls_port, Handler.root, certs)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    server.daemon_threads = True
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["serve", "start", "stop"])
    parser.add_argument("--port", type=int, default=48080)
    parser.add_argument("--root", default=".")
    parser.add_argument("--pidfile")
    parser.add_argument("--tls-port", type=int)
    parser.add_argument("--certs")
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.port, args.root, args.tls_port, args.certs)
    elif args.command == "start":
        pid = os.fork()
        if pid == 0:
            os.setsid()
            # Away from the caller's output, so that nobody waits for it.
            null = os.open(os.devnull, os.O_RDWR)
            for fd in (0, 1, 2):
                os.dup2(null, fd)
            serve(args.port, args.root, args.tls_port, args.certs)
            os._exit(0)
        with open(args.pidfile, "w") as f:
            f.write(str(pid))
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", args.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        sys.exit("the test server did not start")
    else:
        try:
            with open(args.pidfile) as f:
                os.kill(int(f.read()), signal.SIGTERM)
        except (OSError, ValueError):
            pass


if __name__ == "__main__":
    main()
