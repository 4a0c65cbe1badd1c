#!/usr/bin/env python3
"""Turns the readable manifest source into a compiled resource file (.res).

Usage: genmanifest.py OUTPUT.res MANIFEST.txt [VARIANT.txt ...] [-D NAME=VALUE ...]

Each entry becomes a string-named resource of type 500, language neutral,
whose data is the value in UTF-16LE followed by its NUL. A variant file uses
the same syntax and is applied on top; "!NAME" removes an entry and "!*"
removes every entry read so far.
"""
import re
import struct
import sys

RESOURCE_TYPE = 500


def parse(path, defines, entries):
    key = None
    with open(path, encoding="utf-8") as source:
        for number, raw in enumerate(source, 1):
            line = raw.rstrip("\r\n")
            stripped = line.strip()
            if not stripped or stripped.startswith("#"):
                continue
            section = re.fullmatch(r"\[\s*(\d+)\s+([A-Za-z0-9_]+)\s*\]", stripped)
            if section:
                key = section.group(2).upper()
                entries[section.group(1)] = key
                continue
            if stripped == "!*":
                entries.clear()
                continue
            if stripped.startswith("!"):
                name = stripped[1:].strip().upper()
                if name.startswith("_") and key:
                    name = key + name
                entries.pop(name, None)
                continue
            if "=" not in stripped:
                sys.exit(f"{path}:{number}: expected NAME = value")
            name, value = stripped.split("=", 1)
            name = name.strip().upper()
            if name.startswith("_"):
                if not key:
                    sys.exit(f"{path}:{number}: {name} outside a package section")
                name = key + name
            value = value.strip()
            for define, replacement in defines.items():
                value = value.replace("${" + define + "}", replacement)
            if "${" in value:
                sys.exit(f"{path}:{number}: undefined setting in {value!r}")
            entries[name] = value


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def resource(type_id, name, data, language=0):
    name_field = name.encode("utf-16-le") + b"\0\0"
    header = pad4(b"\xff\xff" + struct.pack("<H", type_id) + name_field)
    header += struct.pack("<IHHII", 0, 0x1030, language, 0, 0)
    return pad4(struct.pack("<II", len(data), len(header) + 8) + header + data)


def main(argv):
    defines = {}
    files = []
    args = iter(argv[1:])
    for arg in args:
        if arg == "-D":
            define, _, value = next(args).partition("=")
            defines[define] = value
        else:
            files.append(arg)
    if len(files) < 2:
        sys.exit(__doc__)
    output, sources = files[0], files[1:]
    entries = {}
    for path in sources:
        parse(path, defines, entries)
    # The empty resource that opens every .res file.
    blob = struct.pack("<IIHHHHIHHII", 0, 32, 0xFFFF, 0, 0xFFFF, 0, 0, 0, 0, 0, 0)
    for name, value in entries.items():
        blob += resource(RESOURCE_TYPE, name, value.encode("utf-16-le") + b"\0\0")
    with open(output, "wb") as target:
        target.write(blob)


if __name__ == "__main__":
    main(sys.argv)
