#!/usr/bin/env python3
"""An HTTP proxy on 127.0.0.1 for web-dump.sh.

    web_dump_proxy.py refuse|slow PORT_FILE COUNT_FILE

Writes its port into PORT_FILE and one line per request into COUNT_FILE (the
method only: the request path holds the sid). "refuse" answers every request
with 407 and a Basic challenge, whatever credentials come; "slow" forwards
the request to its target and passes the answer on in pieces of 256 bytes,
one every 50 ms.
"""
import http.server
import socket
import sys
import time
import urllib.parse

mode, port_file, count_file = sys.argv[1:4]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        with open(count_file, "a") as f:
            f.write(self.command + "\n")
        if mode == "refuse":
            body = b"proxy login refused"
            self.send_response(407)
            self.send_header("Proxy-Authenticate", 'Basic realm="web-dump test"')
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        url = urllib.parse.urlsplit(self.path)
        path = url.path + ("?" + url.query if url.query else "")
        try:
            with socket.create_connection((url.hostname, url.port or 80)) as upstream:
                upstream.sendall(f"GET {path} HTTP/1.0\r\nHost: {url.netloc}\r\n\r\n".encode())
                while True:
                    data = upstream.recv(256)
                    if not data:
                        break
                    self.wfile.write(data)
                    self.wfile.flush()
                    time.sleep(0.05)
        except OSError:
            pass  # the client went away (the stop case)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
with open(port_file, "w") as f:
    f.write(str(server.server_address[1]))
server.serve_forever()
