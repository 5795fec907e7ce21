#!/usr/bin/env python3
"""Writes one crafted Tarrow.zip for the updater tests.

Usage: craft.py KIND OUT PROGRAM-NAME [PROGRAM-FILE [NAME=PATH...]]
The new program is PROGRAM-FILE, or a script that logs its start; each
NAME=PATH adds one more file. KIND is good (a new program, a new cue, a stray folder entry and copies of
the user's files that must not win), or one of the kinds below. Names are
written byte for byte as given (a NUL, a control character, bytes that are not
UTF-8), as an attacker who controls the download would write them.
"""

import os
import stat
import sys
import warnings
import zipfile

# Two entries of one name are some of the cases.
warnings.filterwarnings("ignore", "Duplicate name")

NEW_PROGRAM = b"#!/bin/sh\necho \"new $0\" >> started.log\n"
# The program's name is filled in for "{program}".
EXTRA = {
    "dotdot": [b"snd/../../x"],
    "absolute": [b"/tmp/tarrow-abs"],
    "drive": [b"C:\\x"],
    "blocked": [b"licenses/copying.txt", b"zz/x"],
    "good": [b"prefs.ini", b"processes.txt", b"PROCESSES.LOG"],
    "user-case": [b"Prefs.INI", b"processes.TXT", b"processes.log", b"TARROW.ZIP"],
    "dup-program": [b"{program}"],
    "dup-cue": [b"snd/up.wav"],
    "nul-prefs": [b"prefs.ini\0evil"],
    "nul-program": [b"{program}\0x"],
    "dot-prefs": [b"prefs.ini."],
    "space-prefs": [b"prefs.ini "],
    "dots-log": [b"PROCESSES.LOG.."],
    "dot-program": [b"{program}."],
    "case-cue": [b"SND/UP.WAV"],
    "backslash-cue": [b"snd\\up.wav"],
    "control": [b"snd/\x1b[31mred\n\x07.wav"],
    "inject": [b"x\nTarrow updated."],
    "not-utf8": [b"snd/\xff\xfe.wav"],
    "overlong": [b"snd/\xc0\xaf.wav"],
    "device": [b"snd/CON.wav"],
    "device-bare": [b"aux"],
    "reserved": [b"snd/what?.wav"],
    "empty-part": [b"snd//up2.wav"],
    "own-folder": [b".tarrow-old/{program}"],
    "user-folder": [b"prefs.ini/x"],
    "file-folder": [b"licenses", b"licenses/copying.txt"],
    "long": [b"snd/" + b"\xff" * 300],
    "release": [b"snd/new.wav", b"licenses/copying.txt"],
    "new-folder": [b"licenses/copying.txt", b"licenses/zlib.txt"],
}


def add(archive, name, data, mode=0o100644):
    """Adds `name` (bytes) by a stand-in of the same length, patched in later."""
    stand_in = bytes(c if 0x21 <= c < 0x7F and c != 0x5C else 0x7E for c in name)
    info = zipfile.ZipInfo(stand_in.decode("ascii"), date_time=(2020, 1, 1, 0, 0, 0))
    info.create_system = 3
    info.external_attr = mode << 16
    archive.writestr(info, data)
    return stand_in, name


def main():
    kind, out, program = sys.argv[1:4]
    new_program = NEW_PROGRAM
    if len(sys.argv) > 4:
        with open(sys.argv[4], "rb") as f:
            new_program = f.read()
    patches = []
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as archive:
        if kind == "corrupt":
            pass
        elif kind == "no-program":
            add(archive, b"snd/up.wav", b"new cue")
        else:
            add(archive, program.encode(), new_program, 0o100755)
            for pair in sys.argv[5:]:
                name, path = pair.split("=", 1)
                with open(path, "rb") as f:
                    add(archive, name.encode(), f.read(), 0o100755)
            add(archive, b"snd/", b"", 0o040755)
            add(archive, b"snd/up.wav", b"new cue")
            if kind == "link":
                add(archive, b"snd/link.wav", b"/etc/passwd", stat.S_IFLNK | 0o777)
            if kind == "big":
                add(archive, b"snd/big.wav", os.urandom(2 << 20))
            for name in EXTRA.get(kind, []):
                name = name.replace(b"{program}", program.encode())
                patches.append(add(archive, name, b"archive copy"))
    if kind == "corrupt":
        with open(out, "wb") as f:
            f.write(b"PK\x03\x04 this is not a zip archive")
        return
    with open(out, "r+b") as f:
        data = f.read()
        # The local header and the central directory both carry the name.
        for stand_in, name in patches:
            data = data.replace(stand_in, name)
        if kind == "crc":
            # Flip one byte of the stored cue: the entry list reads fine, the data does not.
            at = data.index(b"new cue")
            data = data[:at] + b"N" + data[at + 1:]
        f.seek(0)
        f.write(data)


if __name__ == "__main__":
    main()
