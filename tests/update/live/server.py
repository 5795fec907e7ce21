#!/usr/bin/env python3
"""A scripted HTTPS server on 127.0.0.1 for the update tests.

Every request re-reads the routes file (JSON: path -> answer), so a test can
change the answers while the server runs. An answer may hold:
  status      response code (default 200)
  body        text body
  body_size   a body of this many "x" bytes instead
  body_file   a body read from this file instead
  length      the length announced instead of the body's own
  location    a Location header (with status 302 unless given)
  cut_after   send only this many bytes of the body, then close (no TLS
              close_notify is ever sent)
  chunked     send the body chunked instead of announcing its length
  no_length   announce no length: the body ends when the connection closes
  drip_ms     send the body 1 KiB at a time, pausing this long before each
  hang        read the request and never answer
Unknown paths get 404. Each request is appended to the log file as
"<path> <user agent>". The port (--port, or one the system picks) is written
to the port file. With --plain-port-file, the same answers are also served over
plain http on a second port, logged as "plain <path> <user agent>".
"""

import argparse
import http.server
import json
import os
import ssl
import threading
import time


def end_with_parent():
    """Ends this server when the test that started it is gone, even by a crash,
    so it never outlives the test and holds the test runner's output open."""
    parent = os.getppid()

    def watch():
        while os.getppid() == parent:
            time.sleep(0.2)
        os._exit(0)

    threading.Thread(target=watch, daemon=True).start()


def main():
    end_with_parent()
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--routes", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--plain-port-file")
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    log_lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"  # chunked bodies need it
        log_prefix = ""

        def log_message(self, *unused):
            pass

        def send_body(self, body, answer):
            if "cut_after" in answer:
                body = body[: answer["cut_after"]]
            chunked = answer.get("chunked")
            drip = answer.get("drip_ms")
            step = 1024 if drip else 16384
            for start in range(0, len(body), step):
                if drip:
                    time.sleep(drip / 1000)
                piece = body[start:start + step]
                if chunked:
                    piece = f"{len(piece):x}\r\n".encode() + piece + b"\r\n"
                self.wfile.write(piece)
                self.wfile.flush()
            if chunked and "cut_after" not in answer:
                self.wfile.write(b"0\r\n\r\n")
            self.close_connection = True

        def do_GET(self):
            with log_lock, open(args.log, "a", encoding="utf-8") as log:
                log.write(f"{self.log_prefix}{self.path} {self.headers.get('User-Agent', '')}\n")
            try:
                with open(args.routes, encoding="utf-8") as f:
                    routes = json.load(f)
            except (OSError, ValueError):
                routes = {}
            answer = routes.get(self.path)
            if answer is None:
                answer = {"status": 404, "body": "Not found"}
            if answer.get("hang"):
                threading.Event().wait()
            if "body_file" in answer:
                with open(answer["body_file"], "rb") as f:
                    body = f.read()
            elif "body_size" in answer:
                body = b"x" * answer["body_size"]
            else:
                body = answer.get("body", "").encode("utf-8")
            status = answer.get("status", 302 if "location" in answer else 200)
            self.send_response(status)
            if "location" in answer:
                self.send_header("Location", answer["location"])
            self.send_header("Content-Type", "application/octet-stream")
            if answer.get("chunked"):
                self.send_header("Transfer-Encoding", "chunked")
            elif not answer.get("no_length"):
                self.send_header("Content-Length", str(answer.get("length", len(body))))
            self.send_header("Connection", "close")
            self.end_headers()
            self.send_body(body, answer)

    class PlainHandler(Handler):
        log_prefix = "plain "

    class Server(http.server.ThreadingHTTPServer):
        daemon_threads = True

        def get_request(self):
            sock, addr = super().get_request()
            # The handshake happens in the handler's thread, so one client that
            # never finishes it cannot hold up the others.
            return context.wrap_socket(sock, server_side=True,
                                       do_handshake_on_connect=False), addr

        def handle_error(self, request, client_address):
            pass

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    server = Server(("127.0.0.1", args.port), Handler)
    # The https port file comes last: once it is there, both servers listen.
    ports = [(server, args.port_file)]
    if args.plain_port_file:
        plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), PlainHandler)
        plain.daemon_threads = True
        threading.Thread(target=plain.serve_forever, daemon=True).start()
        ports.insert(0, (plain, args.plain_port_file))
    for listening, port_file in ports:
        temp = port_file + ".tmp"
        with open(temp, "w", encoding="utf-8") as f:
            f.write(str(listening.server_address[1]))
        os.replace(temp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
