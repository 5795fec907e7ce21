#!/usr/bin/env python3
"""Writes one crafted Tarrow.zip for the updater tests.

Usage: craft.py KIND OUT PROGRAM-NAME [PROGRAM-FILE [NAME=PATH...]]
The new program is PROGRAM-FILE, or a script that logs its start; each
NAME=PATH adds one more file. KIND is good (a new program, a new cue, a stray folder entry and copies of
the user's files that must not win), or one of the bad kinds below.
"""

import stat
import sys
import zipfile

NEW_PROGRAM = b"#!/bin/sh\necho \"new $0\" >> started.log\n"


def add(archive, name, data, mode=0o100644):
    info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
    info.create_system = 3
    info.external_attr = mode << 16
    archive.writestr(info, data)


def main():
    kind, out, program = sys.argv[1:4]
    new_program = NEW_PROGRAM
    if len(sys.argv) > 4:
        with open(sys.argv[4], "rb") as f:
            new_program = f.read()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as archive:
        if kind == "corrupt":
            pass
        elif kind == "no-program":
            add(archive, "snd/up.wav", b"new cue")
        else:
            add(archive, program, new_program, 0o100755)
            for pair in sys.argv[5:]:
                name, path = pair.split("=", 1)
                with open(path, "rb") as f:
                    add(archive, name, f.read(), 0o100755)
            add(archive, "snd/", b"", 0o040755)
            add(archive, "snd/up.wav", b"new cue")
            bad = {
                "dotdot": lambda: add(archive, "snd/../../x", b"escaped"),
                "absolute": lambda: add(archive, "/tmp/tarrow-abs", b"escaped"),
                "drive": lambda: add(archive, "C:\\x", b"escaped"),
                "link": lambda: add(archive, "snd/link.wav", b"/etc/passwd", stat.S_IFLNK | 0o777),
                "blocked": lambda: add(archive, "zz/x", b"cannot land"),
                "good": lambda: [add(archive, name, b"archive copy")
                                 for name in ("prefs.ini", "processes.txt", "PROCESSES.LOG")],
            }
            bad.get(kind, lambda: None)()
    if kind == "corrupt":
        with open(out, "wb") as f:
            f.write(b"PK\x03\x04 this is not a zip archive")
    if kind == "crc":
        # Flip one byte of the stored cue: the entry list reads fine, the data does not.
        with open(out, "r+b") as f:
            data = f.read()
            at = data.index(b"new cue")
            f.seek(at)
            f.write(b"N")


if __name__ == "__main__":
    main()
