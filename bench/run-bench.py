#!/usr/bin/env python3
"""Runs every benchmark of the setup on this machine and prints one table:
each figure beside its reference measured in the same run, and their ratio.

    run-bench.py --build build/i686 [--size-build DIR] [--tiny] [--runs N]

--build is the tree whose programs run (the 64-bit one on a machine that
cannot start 32-bit programs); --size-build the tree whose shipped setup the
size rows measure (the i686 one; --build by default). A row that cannot be
measured says why in the table instead of ending the command; with --tiny
such a row fails the command, since the suite runs it to see that every
benchmark still works.

Expects a virtual display and the build tree's Wine prefix to be up (as
scripts/bench.sh and scripts/test.sh arrange). --tiny uses small inputs and
only the rows that need no download server at the build's origin: the test
suite runs it to see that the benchmarks still work. Writes the table as
JSON to <build>/bench/results.json. Nothing here judges a figure."""
import argparse
import json
import os
import random
import shutil
import socket
import statistics
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PRODUCT_CODE = "{6E2A94C1-5B07-4D3F-A1C8-92F0D47B3E65}"


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Bench:
    def __init__(self, build, tiny, runs, size_build=None):
        self.build = os.path.abspath(build)
        self.size_build = os.path.abspath(size_build or build)
        self.tiny = tiny
        self.runs = runs
        self.data = os.path.join(self.build, "bench-data")
        self.server_root = os.path.join(self.build, "server")
        os.makedirs(self.data, exist_ok=True)
        self.rows = []
        self.licence_peaks = []
        self.only = []

    # -- running things -------------------------------------------------
    def wine(self, *args, timeout=3600, env=None):
        command = [os.path.join(ROOT, "scripts", "wine-run"), os.path.join(self.build, "wine")] + list(args)
        full_env = dict(os.environ, TESSAL_WINE_ARCH="win64", **(env or {}))
        result = subprocess.run(command, capture_output=True, text=True, timeout=timeout, env=full_env)
        return result.stdout

    def bench(self, *args, **kwargs):
        output = self.wine(os.path.join(self.build, "bin", "bench.exe"), *args, **kwargs)
        values = {}
        for line in output.splitlines():
            parts = line.split()
            if len(parts) >= 2:
                try:
                    values[parts[0]] = float(parts[1])
                except ValueError:
                    values[parts[0]] = " ".join(parts[1:-1])
        return values

    def repeat(self, measure):
        return [measure() for _ in range(self.runs)]

    def skip(self, name, reason):
        self.rows.append({"row": name, "unit": "", "runs": 0, "target": "", "not_measured": reason})

    def add(self, name, unit, figures, references=None, reference_name="", target="", higher_is_better=False):
        figures = [f for f in figures if f is not None]
        references = [r for r in (references or []) if r is not None]
        row = {"row": name, "unit": unit, "runs": len(figures), "target": target}
        if figures:
            row.update(median=statistics.median(figures), min=min(figures), max=max(figures))
        if references:
            row.update(reference=reference_name, reference_median=statistics.median(references),
                       reference_min=min(references), reference_max=max(references))
            if figures and row["reference_median"]:
                row["ratio"] = row["median"] / row["reference_median"]
        self.rows.append(row)

    # -- inputs ---------------------------------------------------------
    def make_archive(self):
        path = os.path.join(self.data, "mixed-tiny.zip" if self.tiny else "mixed.zip")
        if os.path.exists(path):
            return path
        scale = 1 if self.tiny else 50
        rng = random.Random(7)
        words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(500)]
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
            for n in range(scale):
                text = b" ".join(rng.choice(words) for _ in range(200000))
                archive.writestr(f"text/part{n:03}.txt", text[: 1000000])
                archive.writestr(f"random/part{n:03}.bin", rng.randbytes(1000000), zipfile.ZIP_STORED if n % 2 else zipfile.ZIP_DEFLATED)
            for n in range(20 * scale):
                archive.writestr(f"small/file{n:05}.txt", b" ".join(rng.choice(words) for _ in range(300)))
            archive.writestr("large/blob.bin", rng.randbytes(1000000 * scale))
        return path

    def uncompressed_size(self, path):
        with zipfile.ZipFile(path) as archive:
            return sum(info.file_size for info in archive.infolist())

    def make_download_file(self):
        folder = os.path.join(self.server_root, "bench")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "tiny.bin" if self.tiny else "big.bin")
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(random.Random(3).randbytes(3000000 if self.tiny else 150000000))
        return path

    # -- rows -----------------------------------------------------------
    def row_size(self):
        exe = os.path.join(self.size_build, "bin", "TessalSetup.exe")
        size = os.path.getsize(exe) / 1024
        pictures = sum(os.path.getsize(os.path.join(self.size_build, "generated", name))
                       for name in ("splash.jpg", "page.jpg")) / 1024
        if pe_machine(exe) == 0x14C:
            self.add("executable size (shipped i686), KB", "KB", [size], target="<= 340 KB")
        else:
            # The suite's tree is the 64-bit one; its size is shown, not judged.
            self.add("executable size (x86_64 build), KB", "KB", [size])
        self.add("executable size without pictures, KB", "KB", [size - pictures])
        for name, kilobytes in section_sizes(exe):
            self.add(f"  section {name}, KB", "KB", [kilobytes])

    def row_extract(self):
        archive = self.make_archive()
        megabytes = self.uncompressed_size(archive) / 1e6
        out = os.path.join(self.data, "out")

        def ours():
            shutil.rmtree(out, ignore_errors=True)
            values = self.bench("extract", windows_path(archive), windows_path(out) + "\\")
            self.extract_peak = values.get("extract_peak_private")
            return megabytes / values["extract_seconds"] if "extract_seconds" in values else None

        def unzip():
            shutil.rmtree(out, ignore_errors=True)
            start = time.perf_counter()
            subprocess.run(["unzip", "-q", "-o", archive, "-d", out], check=True)
            return megabytes / (time.perf_counter() - start)

        def inflate():
            values = self.bench("inflate", windows_path(archive))
            return megabytes / values["inflate_seconds"] if "inflate_seconds" in values else None

        self.extract_peak = None
        self.add("zip extraction, MB/s", "MB/s", self.repeat(ours), self.repeat(unzip), "Info-ZIP unzip", ">= 1.0 x unzip")
        self.add("inflate ceiling (reader, no writes), MB/s", "MB/s", self.repeat(inflate))
        if self.extract_peak:
            self.add("extraction peak private bytes, MB", "MB", [self.extract_peak / 1e6])
        shutil.rmtree(out, ignore_errors=True)

    def row_download(self):
        path = self.make_download_file()
        megabytes = os.path.getsize(path) / 1e6
        port = free_port()
        server = subprocess.Popen([sys.executable, os.path.join(ROOT, "tests", "server", "server.py"), "serve",
                                   "--port", str(port), "--root", self.server_root])
        try:
            wait_for_port(port)
            url = f"http://127.0.0.1:{port}/bench/{os.path.basename(path)}"

            def ours():
                values = self.bench("download", url)
                return megabytes / values["download_seconds"] if "download_seconds" in values else None

            def curl():
                start = time.perf_counter()
                subprocess.run(["curl", "-s", "-o", os.devnull, url], check=True)
                return megabytes / (time.perf_counter() - start)

            def bare():
                values = self.bench("download-bare", url)
                return megabytes / values["download_seconds"] if "download_seconds" in values else None

            self.add("download over loopback, MB/s", "MB/s", self.repeat(ours), self.repeat(curl), "curl", ">= 0.9 x curl")
            self.add("download over loopback, MB/s, against the URL service alone", "MB/s", [], self.repeat(bare),
                     "URLDownloadToCacheFileW without a callback")
            ours_row, bare_row = self.rows[-2], self.rows[-1]
            if "median" in ours_row:
                bare_row.update(median=ours_row["median"], min=ours_row["min"], max=ours_row["max"])
                if bare_row.get("reference_median"):
                    bare_row["ratio"] = bare_row["median"] / bare_row["reference_median"]
        finally:
            server.terminate()
            server.wait()

    def row_startup(self):
        programs = [windows_path(os.path.join(self.build, "bin", name))
                    for name in ("TessalSetup.exe", "mindialog.exe", "mindialog-cc.exe")]
        # Taken in turns, so that a slow moment of the machine weighs on all three alike.
        times = [[] for _ in programs]
        for _ in range(self.runs):
            for program, figures in zip(programs, times):
                figures.append(self.bench("startup", program).get("startup_seconds"))
        ours, minimal, controls = times
        self.add("start-up to splash, s", "s", ours, minimal, "minimal dialog program", "<= 1.2 x minimal")
        # What the platform charges for the common controls the setup needs.
        self.add("start-up to splash, s, against a minimal dialog with common controls", "s", ours, controls,
                 "minimal dialog, setup's manifest, every control class")

    def set_faults(self, faults):
        with open(os.path.join(self.server_root, "faults.json"), "w") as f:
            json.dump(faults, f)

    def row_idle_cpu(self):
        setup = windows_path(os.path.join(self.build, "bin", "TessalSetup.exe"))
        splash = self.repeat(lambda: self.bench("cpu-splash", setup))
        self.add("CPU during the splash wait, s", "s", [v.get("splash_cpu_seconds") for v in splash], target="< 0.3 s")
        self.licence_peaks = [v["licence_peak_private"] / 1e6 for v in splash if "licence_peak_private" in v]
        self.set_faults({"/esd/en/tessal/installfiles/VC9/vcredist_x86.exe": {"mode": "stall", "seconds": 60}})
        try:
            self.add("CPU during 30 s of stalled download, s", "s",
                     self.repeat(lambda: self.bench("cpu-stall", setup, "30").get("stall_cpu_seconds")), target="< 0.3 s")
        finally:
            self.set_faults({})

    def row_peak_memory(self):
        big = os.path.join(self.server_root, "fixtures", "TESSAL-big.zip")
        if not os.path.exists(big):
            with zipfile.ZipFile(os.path.join(self.server_root, "esd/en/tessal/installfiles/TESSAL/TESSAL.zip")) as small:
                msi = small.read("BPTS.msi")
            with zipfile.ZipFile(big, "w", zipfile.ZIP_STORED) as archive:
                archive.writestr("BPTS.msi", msi)
                archive.writestr("data/payload.bin", random.Random(5).randbytes(150000000))
        self.set_faults({"/esd/en/tessal/installfiles/TESSAL/TESSAL.zip": {"mode": "file", "path": "fixtures/TESSAL-big.zip"}})
        setup = windows_path(os.path.join(self.build, "bin", "TessalSetup.exe"))
        peaks = []
        finishes = []
        try:
            for _ in range(self.runs):
                self.wine("msiexec", "/x", PRODUCT_CODE, "/qn")
                values = self.bench("full-run", setup)
                if "run_peak_private" in values:
                    peaks.append(values["run_peak_private"] / 1e6)
                if "run_finish_private" in values:
                    finishes.append(values["run_finish_private"] / 1e6)
        finally:
            self.set_faults({})
            self.wine("msiexec", "/x", PRODUCT_CODE, "/qn")
        self.add("peak private bytes, typical run with a 150 MB product, MB", "MB", peaks, self.licence_peaks,
                 "the setup idle on its licence page", "<= idle + 2 MB")
        self.add("private bytes on the finish page of that run, MB", "MB", finishes, self.licence_peaks,
                 "the setup idle on its licence page")
        if peaks and self.licence_peaks:
            idle = statistics.median(self.licence_peaks)
            self.add("peak private bytes above the idle licence page, MB", "MB",
                     [statistics.median(peaks) - idle], target="<= 2 MB")
            if finishes:
                self.add("finish page private bytes above the idle licence page, MB", "MB",
                         [statistics.median(finishes) - idle])

    def row_pipeline(self):
        # Download and install times per package, in seconds: some downloads
        # longer than their installs, some shorter.
        steps = [(2.0, 1.0), (1.0, 2.0), (1.5, 1.5), (0.5, 2.5), (2.5, 0.5), (1.0, 1.0)]
        stub = os.path.join(self.build, "bin", "stubpkg.exe")
        folder = os.path.join(self.server_root, "esd", "en", "tessal", "installfiles", "bench")
        os.makedirs(folder, exist_ok=True)
        faults = {}
        env = {}
        size = os.path.getsize(stub)
        for n, (download, install) in enumerate(steps, 1):
            shutil.copyfile(stub, os.path.join(folder, f"p{n}.exe"))
            faults[f"/esd/en/tessal/installfiles/bench/p{n}.exe"] = {"mode": "throttle", "rate": int(size / download)}
            env[f"TESSAL_STUB_SLEEP_P{n}"] = str(int(install * 1000))
        downloaded = installed = 0.0
        for download, install in steps:
            downloaded += download
            installed = max(installed, downloaded) + install
        ideal = installed
        sequential = sum(d + s for d, s in steps)
        setup = windows_path(os.path.join(self.build, "bin", "TessalSetup-pipeline.exe"))
        self.set_faults(faults)
        try:
            measured = self.repeat(lambda: self.bench("full-run", setup, env=env).get("run_seconds"))
        finally:
            self.set_faults({})
        self.add("pipeline, Accept to finish page, s", "s", measured, [ideal], "ideal two-stage pipeline",
                 "measured/ideal <= 1.10")
        self.add("pipeline, sequential schedule over measured", "x",
                 [sequential / m for m in measured if m], target="higher is better")

    def measure(self, name, row):
        try:
            row()
        except (OSError, subprocess.SubprocessError, KeyError, ValueError, ZeroDivisionError) as error:
            self.skip(name, f"{type(error).__name__}: {error}")

    def run(self):
        rows = [("pipeline", self.row_pipeline), ("executable size", self.row_size), ("zip extraction", self.row_extract),
                ("download", self.row_download), ("start-up", self.row_startup)]
        if not self.tiny:
            rows += [("idle CPU", self.row_idle_cpu), ("peak memory", self.row_peak_memory)]
        else:
            rows = rows[1:]
        for name, row in rows:
            if not self.only or name in self.only:
                self.measure(name, row)
        return self.rows


def pe_machine(exe):
    """The Machine field of a PE file's COFF header (0x14C i386, 0x8664 x64)."""
    with open(exe, "rb") as f:
        header = f.read(4096)
    offset = int.from_bytes(header[0x3C:0x40], "little")
    return int.from_bytes(header[offset + 4:offset + 6], "little")


def section_sizes(exe):
    """The shipped exe's main sections, in KB, from the toolchain's objdump."""
    wanted = (".text", ".eh_frame", ".rdata", ".rsrc", ".reloc", ".data", ".pdata", ".xdata")
    # Each mingw objdump reads only its own machine's PE files; the first
    # that understands the exe answers.
    output = None
    for objdump in ("i686-w64-mingw32-objdump", "x86_64-w64-mingw32-objdump", "objdump"):
        if shutil.which(objdump):
            result = subprocess.run([objdump, "-h", exe], capture_output=True, text=True)
            if result.returncode == 0:
                output = result.stdout
                break
    if output is None:
        return []
    sizes = []
    for line in output.splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[1] in wanted:
            sizes.append((parts[1], int(parts[2], 16) / 1024))
    return sizes


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port):
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return
        except OSError:
            time.sleep(0.05)
    sys.exit("the benchmark server did not start")


def print_table(rows):
    print(f"{'row':58} {'median':>10} {'min..max':>19} {'reference':>10} {'ratio':>7}  target")
    for row in rows:
        if "not_measured" in row:
            print(f"{row['row']:58} not measured: {row['not_measured']}")
            continue
        figure = f"{row['median']:.3f}" if "median" in row else "failed"
        spread = f"{row['min']:.3f}..{row['max']:.3f}" if "median" in row else ""
        reference = f"{row['reference_median']:.3f}" if "reference_median" in row else ""
        ratio = f"{row['ratio']:.2f}" if "ratio" in row else ""
        print(f"{row['row']:58} {figure:>10} {spread:>19} {reference:>10} {ratio:>7}  {row['target']}")
        if "reference" in row:
            print(f"{'':58} {'':>10} {'':>19} {'(' + row['reference'] + ')':>10}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--tiny", action="store_true")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size-build")
    parser.add_argument("--only", action="append", default=[], help="a row group to measure (repeatable), e.g. 'start-up'")
    args = parser.parse_args()
    bench = Bench(args.build, args.tiny, args.runs, args.size_build)
    bench.only = args.only
    rows = bench.run()
    print_table(rows)
    folder = os.path.join(args.build, "bench")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "results.json"), "w") as f:
        json.dump(rows, f, indent=2)
    failed = [row["row"] for row in rows if "median" not in row]
    if failed and args.tiny:
        sys.exit("no figure for: " + ", ".join(failed))


if __name__ == "__main__":
    main()
