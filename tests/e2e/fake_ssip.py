#!/usr/bin/env python3
"""A stand-in speech-dispatcher for the end-to-end tests: answers the SSIP
commands that libspeechd sends and logs them, one line each ("CMD ..." for a
command, "SAY ..." for a spoken text). With --mute it accepts connections and
never answers, like a hung server.

Usage: fake_ssip.py SOCKET-PATH LOG-PATH [--mute]
"""
import os
import socket
import sys
import threading


def serve(conn, log):
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


def main():
    path, log_path = sys.argv[1], sys.argv[2]
    mute = "--mute" in sys.argv[3:]
    lock = threading.Lock()
    out = open(log_path, "a", encoding="utf-8")

    def log(entry):
        with lock:
            out.write(entry + "\n")
            out.flush()

    if os.path.exists(path):
        os.unlink(path)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(8)
    held = []
    while True:
        conn, _ = server.accept()
        log("CONNECTED")
        if mute:
            held.append(conn)  # never read, never answered
            continue
        threading.Thread(target=serve, args=(conn, log), daemon=True).start()


if __name__ == "__main__":
    main()
