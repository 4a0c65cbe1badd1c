#!/usr/bin/env python3
"""Turns the readable manifest source into a compiled resource file (.res).

Usage: genmanifest.py OUTPUT.res MANIFEST.txt [VARIANT.txt ...] [-D NAME=VALUE ...]
       genmanifest.py --check MANIFEST.txt [VARIANT.txt ...] [-D NAME=VALUE ...]

Each entry becomes a string-named resource of type 500, language neutral,
whose data is the value in UTF-16LE followed by its NUL. A variant file uses
the same syntax and is applied on top; "!NAME" removes an entry and "!*"
removes every entry read so far.

Settings of a release build, given with -D:
  PAYLOAD_DIR=DIR     the release's server tree; the SHA-256 of every package
                      file that MANIFEST.txt names (found at the path of its
                      URL under DIR) is stamped as KEY_SHA256, and that of
                      DIR/esd/en/tessal/eula.zip as EULA_SHA256, before the
                      variants apply. A missing file fails the build.
  REQUIRE_DIGESTS=ON  the setup refuses every package without a digest.
  ALLOW_INSECURE=ON   an https SERVERORIGIN may name plain http addresses.
"""
import hashlib
import os
import re
import struct
import sys
import urllib.parse

EULA_PATH = "esd/en/tessal/eula.zip"

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


def is_on(value):
    return value.upper() in ("1", "ON", "YES", "TRUE")


def package_keys(entries):
    """The package keys, by the numbered entries that name them."""
    return [key for name, key in entries.items() if name.isdigit()]


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            digest.update(chunk)
    return digest.hexdigest()


def stamp_digests(entries, payload_dir):
    """Adds KEY_SHA256 for every package file and EULA_SHA256; the names of
    the files that are missing are returned instead."""
    wanted = {}
    for key in package_keys(entries):
        install = entries.get(key + "_INSTALL", "")
        if not install:
            continue
        base = entries.get(key + "_BASEURL") or entries.get("BASEURL", "")
        url = base + ("" if base.endswith("/") else "/") + install.replace("\\", "/")
        wanted[key + "_SHA256"] = (f"{key} ({install})", urllib.parse.unquote(urllib.parse.urlsplit(url).path))
    wanted["EULA_SHA256"] = ("the licence archive", "/" + EULA_PATH)
    missing = []
    for name, (label, relative) in wanted.items():
        path = os.path.join(payload_dir, *relative.lstrip("/").split("/"))
        if os.path.isfile(path):
            entries[name] = sha256_of(path)
        else:
            missing.append(f"{label}: {path}")
    return missing


def insecure_addresses(entries):
    """Plain http addresses of a manifest whose origin is https."""
    if not entries.get("SERVERORIGIN", "").lower().startswith("https://"):
        return []
    return [f"{name} = {value}" for name, value in entries.items()
            if name.endswith("BASEURL") and value.lower().startswith("http://")]


def build_entries(sources, defines):
    entries = {}
    parse(sources[0], defines, entries)
    if defines.get("PAYLOAD_DIR"):
        missing = stamp_digests(entries, defines["PAYLOAD_DIR"])
        if missing:
            sys.exit("files missing from the payload folder:\n  " + "\n  ".join(missing))
    if is_on(defines.get("REQUIRE_DIGESTS", "")):
        entries["REQUIREDIGESTS"] = "1"
    for path in sources[1:]:
        parse(path, defines, entries)
    insecure = insecure_addresses(entries)
    if insecure and not is_on(defines.get("ALLOW_INSECURE", "")):
        sys.exit("an https origin with plain http addresses (build with ALLOW_INSECURE to allow them):\n  "
                 + "\n  ".join(insecure))
    return entries


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
    if files and files[0] == "--check":
        # Only the settings are judged; nothing is written.
        build_entries(files[1:], defines)
        return
    if len(files) < 2:
        sys.exit(__doc__)
    output, sources = files[0], files[1:]
    entries = build_entries(sources, defines)
    # The empty resource that opens every .res file.
    blob = struct.pack("<IIHHHHIHHII", 0, 32, 0xFFFF, 0, 0xFFFF, 0, 0, 0, 0, 0, 0)
    for name, value in entries.items():
        blob += resource(RESOURCE_TYPE, name, value.encode("utf-16-le") + b"\0\0")
    with open(output, "wb") as target:
        target.write(blob)


if __name__ == "__main__":
    main(sys.argv)
