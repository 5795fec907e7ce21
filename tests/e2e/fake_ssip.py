#!/usr/bin/env python3
"""A stand-in speech-dispatcher for the end-to-end tests: answers the SSIP
commands that libspeechd sends and logs them, one line each ("CMD ..." for a
command, "SAY ..." for a spoken text, "CONNECTED <seconds>" with the time of
each new connection). Modes, like servers that go wrong:
  --mute        accepts connections and never answers, like a hung server;
  --hangup      closes each connection after its first text, like a crash;
  --refuse N    after the first text closes that connection, and refuses new
                ones for N seconds (no socket at all), then listens again.

Usage: fake_ssip.py SOCKET-PATH LOG-PATH [--mute | --hangup | --refuse N]
"""
import os
import socket
import sys
import threading
import time


def serve(conn, log, after_text=None):
    stream = conn.makefile("rb")
    text = None
    message = 0
    for raw in stream:
        line = raw.rstrip(b"\r\n").decode("utf-8", "replace")
        if text is not None:
            if line == ".":
                log("SAY " + "\n".join(text))
                text = None
                message += 1
                conn.sendall(b"225-%d\r\n225 OK MESSAGE QUEUED\r\n" % message)
                if after_text is not None:
                    after_text()
                    break
            else:
                text.append(line[1:] if line.startswith("..") else line)
            continue
        log("CMD " + line)
        word = line.split(" ")[0].upper()
        if word == "SPEAK":
            text = []
            conn.sendall(b"230 OK RECEIVING DATA\r\n")
        elif word == "QUIT":
            conn.sendall(b"231 HAPPY HACKING\r\n")
            break
        elif word == "CANCEL":
            conn.sendall(b"210 OK CANCELED\r\n")
        else:
            conn.sendall(b"200 OK\r\n")
    log("CLOSED")
    conn.close()


def listen(path):
    if os.path.exists(path):
        os.unlink(path)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(8)
    server.settimeout(0.05)
    return server


def main():
    path, log_path = sys.argv[1], sys.argv[2]
    modes = sys.argv[3:]
    mute = "--mute" in modes
    hangup = "--hangup" in modes
    refuse = float(modes[modes.index("--refuse") + 1]) if "--refuse" in modes else None
    lock = threading.Lock()
    out = open(log_path, "a", encoding="utf-8")

    def log(entry):
        with lock:
            out.write(entry + "\n")
            out.flush()

    refusing = threading.Event()
    server = listen(path)
    held = []
    while True:
        if refusing.is_set() and refuse is not None:
            server.close()
            os.unlink(path)
            log("REFUSING")
            time.sleep(refuse)
            refuse = None
            server = listen(path)
            log("LISTENING")
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        conn.settimeout(None)
        log("CONNECTED %.3f" % time.monotonic())
        if mute:
            held.append(conn)  # never read, never answered
            continue
        after = None
        if hangup:
            after = lambda: None
        elif refuse is not None and not refusing.is_set():
            after = refusing.set
        threading.Thread(target=serve, args=(conn, log, after), daemon=True).start()


if __name__ == "__main__":
    main()
