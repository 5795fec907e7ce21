#!/usr/bin/env python3
"""Writes a release archive that two builds of one commit make byte for byte
alike: entries sorted by name, one fixed time, fixed attributes, deflated at
one level; .txt entries get Windows line ends.

Usage: release_zip.py OUT NAME=PATH...
"""

import os
import sys
import zipfile

FIXED_TIME = (2020, 1, 1, 0, 0, 0)


def main():
    out, pairs = sys.argv[1], sys.argv[2:]
    entries = sorted(pair.split("=", 1) for pair in pairs)
    with zipfile.ZipFile(out + ".part", "w") as archive:
        for name, path in entries:
            with open(path, "rb") as f:
                data = f.read()
            if name.endswith(".txt"):
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.create_system = 0  # MS-DOS attributes: a plain file, as Windows tools write them
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    os.replace(out + ".part", out)


if __name__ == "__main__":
    main()
