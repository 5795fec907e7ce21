#!/usr/bin/env python3
"""A stand-in braille display for BRLTTY's virtual driver (brltty -b vr -d
client:SOCKET-PATH): listens on the socket, tells each BRLTTY that connects its
size ("cells"), and logs what BRLTTY shows as one line "VISUAL <text>" each
time it changes (trailing blanks dropped). Lines appended to KEYS-PATH are sent
to BRLTTY as the display's own keys (e.g. "FWINRT" pans right).
With --cells-delay SECONDS the size is only told that long after connecting,
as a slow display does.

Usage: fake_braille_display.py SOCKET-PATH LOG-PATH KEYS-PATH COLUMNS [--cells-delay S]
"""
import os
import socket
import sys
import threading
import time


def unquote(text):
    """The driver's string: between double quotes, \\\\, \\" and \\Xhh escapes."""
    start, end = text.find('"'), text.rfind('"')
    if start < 0 or end <= start:
        return ""
    body, out, i = text[start + 1:end], [], 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            n = body[i + 1]
            if n in "Xx":
                j = i + 2
                while j < len(body) and j < i + 10 and body[j] in "0123456789abcdefABCDEF":
                    j += 1
                out.append(chr(int(body[i + 2:j], 16)))
                i = j
                continue
            out.append(n)
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def main():
    path, log_path, keys_path, columns = sys.argv[1:5]
    extra = sys.argv[5:]
    delay = float(extra[extra.index("--cells-delay") + 1]) if "--cells-delay" in extra else 0.0
    lock = threading.Lock()
    out = open(log_path, "a", encoding="utf-8")
    open(keys_path, "a").close()

    def log(entry):
        with lock:
            out.write(entry + "\n")
            out.flush()

    current = {"conn": None}

    def forward_keys():
        sent = 0
        while True:
            time.sleep(0.05)
            with open(keys_path, encoding="utf-8") as f:
                lines = f.read().splitlines()
            for line in lines[sent:]:
                conn = current["conn"]
                if conn is not None:
                    try:
                        conn.sendall((line + "\n").encode())
                        log("KEY " + line)
                    except OSError:
                        pass
            sent = len(lines)

    threading.Thread(target=forward_keys, daemon=True).start()
    if os.path.exists(path):
        os.unlink(path)
    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    server.bind(path)
    server.listen(4)
    while True:
        conn, _ = server.accept()
        log("CONNECTED")
        if delay:
            time.sleep(delay)
        conn.sendall(("cells %s\n" % columns).encode())
        current["conn"] = conn
        shown = None
        for raw in conn.makefile("rb"):
            line = raw.decode("latin-1").rstrip("\r\n")
            if line.split(" ")[0].lower() != "visual":
                continue
            text = unquote(line)
            try:
                text = text.encode("latin-1").decode("utf-8")
            except (UnicodeEncodeError, UnicodeDecodeError):
                pass
            text = text.rstrip(" ")
            if text != shown:
                shown = text
                log("VISUAL " + text)
        current["conn"] = None
        log("CLOSED")
        conn.close()


if __name__ == "__main__":
    main()
