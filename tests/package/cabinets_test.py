"""Packages whose files need several cabinets, embedded and beside the package.

ThreeCabinetsTest: a small largest cabinet size (set through KITBINDER_MAX_CABINET_SIZE, the
hook kitbinder-cli keeps for tests) spreads six files over three cabinets: msitools shows one
Media row per cabinet, each cabinet stands alone for gcab, and Wine's msiexec installs every file
byte for byte and removes it all again, from the embedded streams and from external cabinets.

BytesWrittenTest: the bytes a build writes, embedded and external, are at most twice what it
makes.

BigProjectTest: 2.5 GB of sparse files in the temporary folder, one of them the largest file a
cabinet holds (which alone, stored, passes 2 GB and so gets a cabinet of its own), built with
compression none (so that the cabinets are as large as the files and
the build stays quick): the package stays under the embedding limit and its cabinets lie beside
it; kitbinder-cli's peak memory stays under 64 MB (with sanitizers: grows by less than that over
a build of one small file). Skipped where the disk lacks the room.

usage: cabinets_test.py KITBINDER_CLI sanitized|plain [unittest arguments]
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import package_oracles as oracle  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

CLI = None
SANITIZED = False  # kitbinder-cli was built with AddressSanitizer
EMBEDDING_LIMIT = 1800000000
LARGEST_FILE = 2147450880


def write_project(folder, title, files, *extra):
    """A project of `files` (names in folder/files) with the [properties] lines `extra`."""
    lines = ["[properties]", "title=" + title, "version=1.0.0", "author=Kitbinder Tests",
             "language=en", *extra, "[files]"]
    lines += ["file%dpath=files/%s" % (i, name) for i, name in enumerate(files)]
    path = os.path.join(folder, "project.kbr")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return path


def media_rows(package):
    """(DiskId, LastSequence, Cabinet) of every Media row, in disk order."""
    rows = [(int(r[0]), int(r[1]), r[3]) for r in oracle.export_table(package, "Media")]
    return sorted(rows)


class ThreeCabinetsTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbcabs.")
        os.mkdir(os.path.join(self.dir, "files"))
        noise = random.Random(27)
        # Noise does not compress: two files fill a cabinet of 100,000 bytes.
        self.files = {"part%d.bin" % i: bytes(noise.getrandbits(8) for _ in range(40000 + i))
                      for i in range(6)}
        for name, data in self.files.items():
            with open(os.path.join(self.dir, "files", name), "wb") as f:
                f.write(data)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def build(self, *extra):
        project = write_project(self.dir, "Parts", sorted(self.files), *extra)
        env = dict(os.environ, KITBINDER_MAX_CABINET_SIZE="100000")
        result = oracle.run([CLI, "build", project, "--compression", "fast"], env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        return os.path.join(self.dir, "Parts.msi"), result.stdout

    def check_cabinets(self, package, names, read_cabinet):
        """The Media rows name `names` and cover the files in order; each cabinet stands alone
        for gcab and holds just the files its row counts."""
        rows = media_rows(package)
        self.assertEqual([(disk, cabinet) for disk, _, cabinet in rows],
                         list(enumerate(names, start=1)))
        self.assertEqual(rows[-1][1], len(self.files))
        files = {r[0]: r for r in oracle.export_table(package, "File")}
        first = 1
        for disk, last, cabinet in rows:
            self.assertGreaterEqual(last, first, cabinet)
            cab = os.path.join(self.dir, "check.cab")
            with open(cab, "wb") as f:
                f.write(read_cabinet(cabinet))
            listing = oracle.run(["gcab", "-t", cab])
            self.assertEqual(listing.returncode, 0, listing.stderr)
            keys = [key for key, row in files.items() if first <= int(row[7]) <= last]
            self.assertEqual(sorted(listing.stdout.split()), sorted(keys), cabinet)
            first = last + 1
            os.remove(cab)

    def installs_and_uninstalls(self, wine, package):
        self.assertEqual(wine.msiexec("/i", package, "/qn"), 0)
        installed = {name: open(wine.program_files("Parts", name), "rb").read()
                     for name in self.files}
        self.assertEqual(installed, self.files)
        self.assertEqual(wine.msiexec("/x", package, "/qn"), 0)
        self.assertFalse(os.path.exists(wine.program_files("Parts")))

    def test_embedded_and_external_cabinets_install_under_wine(self):
        package, _ = self.build()
        streams = ["#Instal0%d.cab" % n for n in (1, 2, 3)]
        self.check_cabinets(package, streams, lambda name: oracle.extract_stream(package, name[1:]))
        self.assertFalse([name for name in os.listdir(self.dir) if name.endswith(".cab")])
        with oracle.WinePrefix() as wine:
            self.installs_and_uninstalls(wine, package)

            package, message = self.build("externalcabinets=true")
            external = ["Parts%d.cab" % n for n in (1, 2, 3)]
            self.assertIn("Parts1.cab, Parts2.cab and Parts3.cab", message)
            self.assertIn("Ship them together with Parts.msi", message)
            self.assertFalse([n for n in oracle.run(["msiinfo", "streams", package]).stdout.split()
                              if n.endswith(".cab")])

            def read_external(name):
                with open(os.path.join(self.dir, name), "rb") as f:
                    return f.read()
            self.check_cabinets(package, external, read_external)
            self.installs_and_uninstalls(wine, package)


class BytesWrittenTest(unittest.TestCase):
    """What a build of 8 MB that does not compress writes (wchar of /proc/self/io, which counts
    the reaped build), beside what it makes: each cabinet byte is staged once before it reaches
    the package's stream or the cabinet file."""
    # Copies of the template, the tables' commits and the file records: far less than this.
    SLACK = 512 * 1024

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbbytes.")
        os.mkdir(os.path.join(self.dir, "files"))
        noise = random.Random(4)
        self.names = ["noise%d.bin" % i for i in range(8)]
        for name in self.names:
            with open(os.path.join(self.dir, "files", name), "wb") as f:
                f.write(noise.randbytes(1 << 20))

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def bytes_written(self, *extra):
        project = write_project(self.dir, "Noise", self.names, *extra)
        with open("/proc/self/io") as f:
            before = dict(line.split(": ") for line in f)
        result = oracle.run([CLI, "build", project])
        with open("/proc/self/io") as f:
            after = dict(line.split(": ") for line in f)
        self.assertEqual(result.returncode, 0, result.stderr)
        made = sum(os.path.getsize(os.path.join(self.dir, name)) for name in os.listdir(self.dir)
                   if name.startswith("Noise"))
        return int(after["wchar"]) - int(before["wchar"]), made

    def test_cabinet_bytes_are_staged_once(self):
        for extra in [(), ("externalcabinets=true",)]:
            with self.subTest(extra=extra):
                written, made = self.bytes_written(*extra)
                print("%s: %d bytes written for %d bytes made" % (extra, written, made))
                self.assertGreater(made, 8 << 20)
                self.assertLessEqual(written, 2 * made + self.SLACK)


# 2.5 GB in all: the largest file a cabinet holds, 300 MB, 1 MB and an empty file.
BIG_SIZES = [LARGEST_FILE, 300 << 20, 1 << 20, 0]


def missing_room():
    """Why the temporary folder cannot take the big project's cabinets, or None. They hold every
    byte (compression none), and their staging needs about one more of them."""
    needed = sum(BIG_SIZES) + (3 << 30)
    room = shutil.disk_usage(tempfile.gettempdir()).free
    if room >= needed:
        return None
    return "needs %d bytes free in %s, has %d" % (needed, tempfile.gettempdir(), room)


class BigProjectTest(unittest.TestCase):
    SIZES = BIG_SIZES

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbbig.")
        os.mkdir(os.path.join(self.dir, "files"))
        for i, size in enumerate(self.SIZES):
            with open(os.path.join(self.dir, "files", "big%d.bin" % i), "wb") as f:
                f.truncate(size)  # sparse: no disk used
                f.seek(size // 2)
                f.write(b"middle%d" % i if size else b"")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def peak_memory_kb(self, project):
        """kitbinder-cli's peak resident memory building `project`, in kB. Each build runs in a
        child of its own (a process's peak never falls), so the peak is read in that child."""
        # ASan's quarantine of freed blocks would count as the program's memory.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") +
                   ":quarantine_size_mb=1:malloc_context_size=0")
        probe = ("import resource, subprocess, sys\n"
                 "r = subprocess.run(sys.argv[1:], capture_output=True, text=True)\n"
                 "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
                 "sys.stdout.write(r.stdout)\n"
                 "sys.exit(r.returncode and r.stderr)\n")
        result = oracle.run([sys.executable, "-c", probe, CLI, "build", project,
                             "--compression", "none"], env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        peak, self.output = result.stdout.split("\n", 1)
        return int(peak)

    def test_big_project_puts_its_cabinets_beside_a_small_package(self):
        names = ["big%d.bin" % i for i in range(len(self.SIZES))]
        # The same program on one small file: what the sanitizers of a test build cost alone.
        small = os.path.join(self.dir, "small")
        os.makedirs(os.path.join(small, "files"))
        shutil.copy(os.path.join(self.dir, "files", "big2.bin"), os.path.join(small, "files"))
        baseline_kb = self.peak_memory_kb(write_project(small, "Small", ["big2.bin"]))
        peak_kb = self.peak_memory_kb(write_project(self.dir, "Big", names))
        print("peak memory: %d kB for 2.5 GB, %d kB for 1 MB" % (peak_kb, baseline_kb))
        # A build with sanitizers keeps their shadow and bookkeeping too: there only what the
        # big project adds is the program's.
        self.assertLess(peak_kb - (baseline_kb if SANITIZED else 0), 64 * 1024)
        package = os.path.join(self.dir, "Big.msi")
        self.assertLess(os.path.getsize(package), EMBEDDING_LIMIT)
        rows = media_rows(package)
        self.assertGreater(len(rows), 1)
        self.assertEqual(rows[-1][1], len(names))
        cabinets = [cabinet for _, _, cabinet in rows]
        self.assertEqual(cabinets, ["Big%d.cab" % n for n in range(1, len(rows) + 1)])
        self.assertIn("Ship them together with Big.msi", self.output)
        # Each file lies in one cabinet, the largest (which alone passes 2 GB stored) in one of
        # its own: cabextract reads each cabinet alone.
        listed = []
        for cabinet in cabinets:
            out = oracle.run(["cabextract", "-t", os.path.join(self.dir, cabinet)])
            self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
            self.assertIn("All done, no errors", out.stdout + out.stderr)
            out = oracle.run(["cabextract", "-l", os.path.join(self.dir, cabinet)])
            listed += [int(line.split("|")[0]) for line in out.stdout.splitlines()
                       if line.count("|") == 2 and line.split("|")[0].strip().isdigit()]
        self.assertEqual(sorted(listed), sorted(self.SIZES))
        self.assertGreater(os.path.getsize(os.path.join(self.dir, cabinets[0])), LARGEST_FILE)

if __name__ == "__main__":
    CLI, SANITIZED = sys.argv[1], sys.argv[2] == "sanitized"
    del sys.argv[2]
    wine_tools = ["gcab", "wine"] if "ThreeCabinetsTest" in sys.argv[2:] else []
    needs.require("msiinfo", "cabextract", *wine_tools)
    if "BigProjectTest" in sys.argv[2:] and missing_room():
        print("SKIP: " + missing_room())
        sys.exit(needs.SKIP)
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
