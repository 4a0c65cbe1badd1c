#!/usr/bin/env python3
"""The manifest tool's release settings: digests stamped from a payload
folder, the fail-closed flag and the refusal of plain http under https."""
import hashlib
import os
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "genmanifest.py")
sys.path.insert(0, os.path.dirname(TOOL))
import genmanifest  # noqa: E402

MANIFEST = """SERVERORIGIN = ${SERVER_ORIGIN}
BASEURL = ${SERVER_ORIGIN}/esd/en/tessal/installfiles
[1 VC9]
_INSTALL = VC9\\\\vcredist_x86.exe
_BASEURL =
[2 MSXML6]
_INSTALL = msxml6.msi
_BASEURL = ${SERVER_ORIGIN}/other/place/
[3 EMPTY]
_INSTALL =
"""
FILES = {"esd/en/tessal/installfiles/VC9/vcredist_x86.exe": b"vc",
         "other/place/msxml6.msi": b"msxml",
         "esd/en/tessal/eula.zip": b"eula"}


def digest(data):
    return hashlib.sha256(data).hexdigest()


class StampingTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = self.folder.name
        self.manifest = self.write("manifest.txt", MANIFEST)

    def tearDown(self):
        self.folder.cleanup()

    def write(self, name, text):
        path = os.path.join(self.root, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def payload(self, name, files):
        folder = os.path.join(self.root, name.replace(" ", "-"))
        for relative, data in files.items():
            path = os.path.join(folder, *relative.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        return folder

    def test_release_settings(self):
        removal = self.write("variant.txt", "!MSXML6_SHA256\n")
        missing_msxml = {k: v for k, v in FILES.items() if "msxml" not in k}
        missing_eula = {k: v for k, v in FILES.items() if "eula" not in k}
        cases = [
            # name, files, origin, extra defines, variants, expected entries, expected error text
            ("every file present", FILES, "https://dl.example", {}, [],
             {"VC9_SHA256": digest(b"vc"), "MSXML6_SHA256": digest(b"msxml"), "EULA_SHA256": digest(b"eula")}, None),
            ("a package file missing", missing_msxml, "https://dl.example", {}, [], {}, "MSXML6 (msxml6.msi)"),
            ("the licence archive missing", missing_eula, "https://dl.example", {}, [], {}, "the licence archive"),
            ("fail-closed", FILES, "https://dl.example", {"REQUIRE_DIGESTS": "ON"}, [],
             {"REQUIREDIGESTS": "1", "EMPTY_SHA256": None}, None),
            ("a variant drops a digest after stamping", FILES, "https://dl.example", {}, [removal],
             {"MSXML6_SHA256": None, "VC9_SHA256": digest(b"vc")}, None),
            ("plain http under https", FILES, "https://dl.example", {}, [self.write("http.txt",
             "MSXML6_BASEURL = http://dl.example/other/place/\n")], {}, "MSXML6_BASEURL = http://"),
            ("plain http allowed", FILES, "https://dl.example", {"ALLOW_INSECURE": "ON"}, [self.write("http2.txt",
             "MSXML6_BASEURL = http://dl.example/other/place/\n")], {"MSXML6_BASEURL": "http://dl.example/other/place/"},
             None),
            ("an http origin", FILES, "http://127.0.0.1:1", {}, [], {"REQUIREDIGESTS": None}, None),
        ]
        for name, files, origin, extra, variants, expected, error in cases:
            with self.subTest(name):
                folder = self.payload(name, files)
                defines = {"SERVER_ORIGIN": origin, "PAYLOAD_DIR": folder, **extra}
                args = [sys.executable, TOOL, "--check", self.manifest, *variants]
                for key, value in defines.items():
                    args += ["-D", f"{key}={value}"]
                run = subprocess.run(args, capture_output=True, text=True)
                if error:
                    self.assertNotEqual(0, run.returncode)
                    self.assertIn(error, run.stderr)
                    continue
                self.assertEqual(0, run.returncode, run.stderr)
                entries = genmanifest.build_entries([self.manifest, *variants], defines)
                for key, value in expected.items():
                    self.assertEqual(value, entries.get(key), key)


if __name__ == "__main__":
    unittest.main()
