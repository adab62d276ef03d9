#!/usr/bin/env python3
"""An HTTPS proxy for the rates tests: takes CONNECT requests on a free port of 127.0.0.1, writes each request's
target to LOG (one line), and passes the bytes both ways. Writes its port to PORT_FILE once it listens.

  connect_proxy.py LOG PORT_FILE
"""
import select
import socket
import socketserver
import sys


class Tunnel(socketserver.StreamRequestHandler):
    def handle(self):
        line = self.rfile.readline(4096).decode("latin-1").strip()
        while self.rfile.readline(4096) not in (b"\r\n", b"\n", b""):
            pass
        parts = line.split()
        with open(sys.argv[1], "a", encoding="utf-8") as log:
            log.write(line + "\n")
        if len(parts) != 3 or parts[0] != "CONNECT":
            self.wfile.write(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            return
        host, _, port = parts[1].rpartition(":")
        try:
            upstream = socket.create_connection((host, int(port)), timeout=5)
        except OSError:
            self.wfile.write(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            return
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        self.wfile.flush()
        ends = [self.connection, upstream]
        with upstream:
            while True:
                ready, _, _ = select.select(ends, [], [], 30)
                if not ready:
                    return
                for end in ready:
                    data = end.recv(65536)
                    if not data:
                        return
                    (upstream if end is self.connection else self.connection).sendall(data)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    with Server(("127.0.0.1", 0), Tunnel) as server:
        with open(sys.argv[2], "w", encoding="utf-8") as out:
            out.write(str(server.server_address[1]))
        server.serve_forever()


main()
