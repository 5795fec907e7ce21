#!/usr/bin/env python3
"""Reads a Windows shortcut (.lnk, the Shell Link binary format) and prints
three lines: the target path, the arguments and the working folder (an empty
line for a missing one). Exits 1 on a file that is not a shortcut.

Usage: shortcut.py FILE.lnk
"""

import struct
import sys

HAS_ID_LIST = 0x01
HAS_LINK_INFO = 0x02
HAS_NAME = 0x04
HAS_RELATIVE_PATH = 0x08
HAS_WORKING_DIR = 0x10
HAS_ARGUMENTS = 0x20
HAS_ICON_LOCATION = 0x40
IS_UNICODE = 0x80
LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


def c_string(data, at, wide):
    if wide:
        end = at
        while data[end:end + 2] != b"\0\0":
            end += 2
        return data[at:end].decode("utf-16-le")
    end = data.index(b"\0", at)
    return data[at:end].decode("mbcs" if sys.platform == "win32" else "latin-1")


def parse(data):
    if len(data) < 0x4C or struct.unpack_from("<I", data, 0)[0] != 0x4C or data[4:20] != LINK_CLSID:
        raise ValueError("not a shortcut")
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & HAS_ID_LIST:
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        size, header, info_flags = struct.unpack_from("<III", data, at)
        local = struct.unpack_from("<I", data, at + 16)[0]
        if info_flags & 1:  # VolumeIDAndLocalBasePath
            if header >= 0x24:
                target = c_string(data, at + struct.unpack_from("<I", data, at + 28)[0], True)
            else:
                target = c_string(data, at + local, False)
        at += size
    wide = bool(flags & IS_UNICODE)
    strings = {}
    for flag in (HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION):
        if flags & flag:
            count = struct.unpack_from("<H", data, at)[0]
            at += 2
            width = 2 if wide else 1
            raw = data[at:at + count * width]
            at += count * width
            # Some writers count a terminating zero as well.
            strings[flag] = raw.decode("utf-16-le" if wide else "latin-1").rstrip("\0")
    return target, strings.get(HAS_ARGUMENTS, ""), strings.get(HAS_WORKING_DIR, "")


def main():
    try:
        with open(sys.argv[1], "rb") as f:
            fields = parse(f.read())
    except (OSError, ValueError, struct.error, IndexError) as error:
        print(f"shortcut.py: {sys.argv[1]}: {error}", file=sys.stderr)
        sys.exit(1)
    print("\n".join(fields))


if __name__ == "__main__":
    main()
