#!/usr/bin/env python3
"""A small HTTPS server for the rates tests: serves the files of a folder, and a few answers of its own.

    https_server.py FOLDER CERT KEY PORTFILE

/status/404, /status/500: that status with an HTML page; /hang: accepts and never answers. The port it listens on
(on 127.0.0.1, chosen by the system) goes to PORTFILE once it listens.
"""
import http.server
import os
import ssl
import sys
import threading
import time

folder, cert, key, portfile = sys.argv[1:5]


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, directory=folder, **kwargs)

    def log_message(self, *args):
        pass

    def do_GET(self):
        # A request through a proxy may name the whole address (absolute form, which a server must take; Wine's
        # WinHTTP sends it inside the tunnel).
        if self.path.startswith("https://"):
            self.path = "/" + self.path.split("/", 3)[3] if self.path.count("/") >= 3 else "/"
        if self.path.startswith("/status/"):
            code = int(self.path.rsplit("/", 1)[1])
            body = b"<!DOCTYPE html><html><body><h1>Fehler</h1></body></html>"
            self.send_response(code)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if self.path == "/hang":
            time.sleep(3600)
            return
        super().do_GET()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that stops reading (the size cap) is no error here


server = Server(("127.0.0.1", 0), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
with open(portfile + ".part", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(portfile + ".part", portfile)
server.serve_forever()
