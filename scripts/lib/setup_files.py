#!/usr/bin/env python3
"""Unpacks the release archive into a folder and writes the NSIS lines that
install every one of its files, so the setup program holds exactly the
archive's entries, byte for byte.

Usage: setup_files.py ARCHIVE FOLDER NSH
"""

import os
import shutil
import sys
import zipfile


def main():
    archive_path, folder, nsh = sys.argv[1:4]
    folder = os.path.abspath(folder)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    lines = ["; Written by scripts/package-windows from Tarrow.zip: do not edit."]
    current = None
    with zipfile.ZipFile(archive_path) as archive:
        for name in sorted(archive.namelist()):
            if name.endswith("/"):
                continue
            parts = name.split("/")
            if any(part in ("", ".", "..") for part in parts) or any('"' in part or "$" in part for part in parts):
                sys.exit(f"setup_files.py: unsafe entry {name!r}")
            target = os.path.join(folder, *parts)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as out:
                out.write(archive.read(name))
            subfolder = "\\".join(parts[:-1])
            if subfolder != current:
                current = subfolder
                lines.append('SetOutPath "$INSTDIR%s"' % ("\\" + subfolder if subfolder else ""))
            lines.append('File "%s"' % target)
    with open(nsh, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
