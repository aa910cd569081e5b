#!/usr/bin/env python3
"""A small HTTP/1.1 server on a free loopback port for the fetch tests, for
what the scripted server in tests/support cannot do: keep a connection open
across requests (so a test can see whether the client reuses it) and speak
TLS (so a test can see where an https request may be redirected).

usage: loopback_server.py PORT_FILE LOG_FILE [CERT KEY]

Writes its port to PORT_FILE once it listens, and one line per request to
LOG_FILE: "<client port> <request target>". Answers by path:
  /size/N              200 with N bytes of 'x'
  /redirect/URL        302 to URL (the rest of the path, taken as it is)
anything else          404
"""
import http.server
import os
import ssl
import sys


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(self.server.log_file, "a") as log:
            log.write(f"{self.client_address[1]} {self.path}\n")
        path = self.path.split("?", 1)[0]
        if path.startswith("/size/"):
            body = b"x" * int(path[len("/size/"):])
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif path.startswith("/redirect/"):
            self.send_response(302)
            self.send_header("Location", path[len("/redirect/"):])
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()


def main():
    port_file, log_file = sys.argv[1], sys.argv[2]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.log_file = log_file
    if len(sys.argv) > 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    open(log_file, "w").close()
    with open(port_file + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
