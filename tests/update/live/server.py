#!/usr/bin/env python3
"""A scripted HTTPS server on 127.0.0.1 for the update tests.

Every request re-reads the routes file (JSON: path -> answer), so a test can
change the answers while the server runs. An answer may hold:
  status      response code (default 200)
  body        text body
  body_size   a body of this many "x" bytes instead
  body_file   a body read from this file instead
  location    a Location header (with status 302 unless given)
  cut_after   announce the whole body but send only this many bytes, then close
  hang        read the request and never answer
Unknown paths get 404. Each request is appended to the log file as
"<path> <user agent>". The port (--port, or one the system picks) is written
to the port file.
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
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args()
    log_lock = threading.Lock()

    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, *unused):
            pass

        def do_GET(self):
            with log_lock, open(args.log, "a", encoding="utf-8") as log:
                log.write(f"{self.path} {self.headers.get('User-Agent', '')}\n")
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
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Connection", "close")
            self.end_headers()
            if "cut_after" in answer:
                self.wfile.write(body[: answer["cut_after"]])
                self.wfile.flush()
                self.close_connection = True
                return
            self.wfile.write(body)

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
    temp = args.port_file + ".tmp"
    with open(temp, "w", encoding="utf-8") as f:
        f.write(str(server.server_address[1]))
    os.replace(temp, args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
