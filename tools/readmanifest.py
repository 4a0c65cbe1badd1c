#!/usr/bin/env python3
"""Prints the package manifest that a built setup carries, one
"NAME = value" line per entry of resource type 500, read from the PE file.

Usage: readmanifest.py SETUP.exe
"""
import struct
import sys

RESOURCE_TYPE = 500


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"address {rva:#x} is in no section")

    def entries(self, directory):
        """(name or id, is_directory, offset) of one resource directory."""
        base = self.offset(self.resource_rva)
        named, numbered = struct.unpack_from("<12xHH", self.data, base + directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, bool(target & 0x80000000), target & 0x7FFFFFFF

    def manifest(self):
        base = self.offset(self.resource_rva)
        values = {}
        for type_id, _, names in self.entries(0):
            if type_id != RESOURCE_TYPE:
                continue
            for name, _, languages in self.entries(names):
                for _, _, entry in self.entries(languages):
                    rva, size = struct.unpack_from("<II", self.data, base + entry)
                    raw = self.data[self.offset(rva):self.offset(rva) + size]
                    values[name] = raw.decode("utf-16-le").split("\0", 1)[0]
        return values


def read_manifest(path):
    with open(path, "rb") as f:
        return PeFile(f.read()).manifest()


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for key, value in read_manifest(sys.argv[1]).items():
        print(f"{key} = {value}")
