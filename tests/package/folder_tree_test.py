"""Folder rows: a row naming a folder installs the folder's whole tree.

GuidTest (oracle): two builds of one project in different folders give the tree's files the
same component GUIDs, read back with msiinfo, and the GUID of a known path is the version 5
GUID computed here; short names stay unique within each folder.
WineTest (wine): Wine's msiexec installs the tree in a fresh prefix byte for byte, with its
empty folder and a shortcut starting a file two levels down in that file's folder; version
1.1, with a file moved and one removed, replaces it with exactly the new tree; uninstall
leaves nothing. An LZX package of a 50 MB tree of mixed content installs byte for byte.

usage: folder_tree_test.py KITBINDER_CLI [TestClass]
"""

import filecmp
import os
import random
import shutil
import struct
import sys
import tempfile
import unittest
import uuid

sys.path.insert(0, os.path.dirname(__file__))
import package_oracles as oracle  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

CLI = None
TITLE = "Tree Tool"
# The namespace of the component GUIDs of tree files: fixed for ever.
NAMESPACE = uuid.UUID("9f1c7104-ec7e-4037-9f53-0d4c6e268d4e")
TARGET = "bin/tools/run.exe"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def tree_files():
    """The 40 files of the tree, by path below the folder: names with blanks and accents, and
    seven long names sharing their first six characters in one folder."""
    files = {TARGET: b"MZ" + bytes(300)}
    for word in ("One", "Two", "Three", "Four", "Five", "Six", "Seven"):
        files["docs/Document %s.txt" % word] = ("document " + word).encode() * 20
    for n in range(12):
        files["data/a/r\u00e9sum\u00e9 %02d.dat" % n] = bytes([n]) * (n * 97 + 1)
        files["data/b/file %02d.bin" % n] = os.urandom(n * 131 + 5)
    for n in range(7):
        files["bin/lib %d.dll" % n] = os.urandom(700 + n)
    files["Read Me.txt"] = b"read me\r\n"
    assert len(files) == 40
    return files


def mixed_files(total):
    """About `total` bytes of files that an LZX coder meets in real products: text, records
    with counters, long zero runs and noise, in sizes on both sides of a 32 KB frame and of
    the 2 MB window; the same files on every run."""
    rng = random.Random(1951)
    words = [w.encode() for w in "the of installer cabinet window frame folder match offset "
             "length tree repeat literal block aligned verbatim".split()]
    kinds = [
        lambda n: b" ".join(rng.choice(words) for _ in range(n // 6 + 1))[:n],
        lambda n: b"".join(struct.pack("<IHH", i, i % 977, 7) for i in range(n // 8 + 1))[:n],
        lambda n: bytes(n // 2) + rng.randbytes(n - n // 2),
        rng.randbytes,
    ]
    sizes = [0, 1, 300, 32767, 32768, 32769, 700000, 2097152, 3500000]
    files = {TARGET: b"MZ" + bytes(300)}
    done = 0
    while done < total:
        n = len(files)
        size = sizes[n % len(sizes)]
        files["mixed/%d/part %03d.bin" % (n % 5, n)] = kinds[n % len(kinds)](size)
        done += size
    return files


def write_project(folder, version, files, properties=()):
    """The project: two single files and the folder row "My App" holding `files`; `properties`
    are further [properties] lines."""
    shutil.rmtree(os.path.join(folder, "My App"), ignore_errors=True)
    for path, data in files.items():
        write(os.path.join(folder, "My App", path), data)
    os.makedirs(os.path.join(folder, "My App", "empty", "deeper"), exist_ok=True)
    write(os.path.join(folder, "single one.txt"), b"single one")
    write(os.path.join(folder, "solo.bin"), bytes(range(256)))
    lines = ["[properties]", "title=" + TITLE, "version=" + version, "language=en",
             "upgradecode={6B1B2F0E-2C1D-4C55-9F0A-5E7A3D2B1C00}", *properties, "[files]",
             "file0path=single one.txt", "file1path=solo.bin", "file2path=My App",
             "file2shortcutname=Run", "file2shortcuttarget=" + TARGET, "file2setkdir=true"]
    write(os.path.join(folder, "tree.kbr"), ("\r\n".join(lines) + "\r\n").encode())
    return os.path.join(folder, "tree.kbr")


def build(project):
    result = oracle.build(CLI, project)
    if result.returncode != 0:
        raise AssertionError(result.stdout + result.stderr)
    return os.path.join(os.path.dirname(project), TITLE + ".msi")


def component_guids(package):
    """The component GUID of every file, by the file's long name and its folder's key."""
    files = oracle.rows_by_key(package, "File")
    return {(files[row[5]][2].split("|")[-1], row[2]): row[1]
            for row in oracle.export_table(package, "Component") if row[5] in files}


def installed_tree(root):
    return sorted(os.path.relpath(os.path.join(top, name), root)
                  for top, dirs, names in os.walk(root) for name in dirs + names)


def lnk_working_dir(path):
    """The working folder a Windows shortcut file (.lnk, MS-SHLLINK) holds, or None."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 20)[0]
    at = 76
    if flags & 0x1:  # an item id list
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & 0x2:  # link info
        at += struct.unpack_from("<I", data, at)[0]
    unicode = flags & 0x80
    for bit in (0x4, 0x8, 0x10):  # name, relative path, working folder
        if not flags & bit:
            if bit == 0x10:
                return None
            continue
        count = struct.unpack_from("<H", data, at)[0]
        size = count * 2 if unicode else count
        text = data[at + 2:at + 2 + size].decode("utf-16-le" if unicode else "cp1252")
        at += 2 + size
        if bit == 0x10:
            return text
    return None


class TreeFixture(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbtree.")
        self.files = tree_files()

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class GuidTest(TreeFixture):
    def test_the_same_tree_gets_the_same_component_guids_anywhere(self):
        first = build(write_project(os.path.join(self.dir, "one"), "1.0", self.files))
        second = build(write_project(os.path.join(self.dir, "two", "deeper"), "1.0", self.files))
        guids = component_guids(first)
        in_tree = lambda all_guids: {k: g for k, g in all_guids.items() if k[1] != "TARGETDIR"}
        self.assertEqual(len(in_tree(guids)), 40)
        self.assertEqual(in_tree(guids), in_tree(component_guids(second)))
        run_guid = [g for (name, _), g in guids.items() if name == "run.exe"]
        expected = uuid.uuid5(NAMESPACE, "my app\\bin\\tools\\run.exe")
        self.assertEqual(run_guid, ["{%s}" % str(expected).upper()])
        # The single files keep GUIDs of their own, new in each build.
        self.assertNotEqual(guids[("solo.bin", "TARGETDIR")],
                            component_guids(second)[("solo.bin", "TARGETDIR")])

    def test_short_names_are_unique_in_each_folder(self):
        package = build(write_project(self.dir, "1.0", self.files))
        by_folder = {}
        for row in oracle.export_table(package, "File"):
            component = oracle.rows_by_key(package, "Component")[row[1]]
            by_folder.setdefault(component[2], []).append(row[2].split("|")[0].upper())
        for names in by_folder.values():
            self.assertEqual(len(names), len(set(names)), names)
        documents = sorted(n for names in by_folder.values() for n in names if n.startswith("DO"))
        self.assertEqual(len(documents), 7)
        self.assertEqual(documents[3:], ["DOCUME~1.TXT", "DOCUME~2.TXT", "DOCUME~3.TXT",
                                         "DOCUME~4.TXT"])
        for hashed in documents[:3]:  # past ~4: two characters, four hex digits, ~1
            self.assertRegex(hashed, r"^DO[0-9A-F]{4}~1\.TXT$")

    def test_a_link_to_a_file_contributes_its_target(self):
        write(os.path.join(self.dir, "elsewhere", "real.txt"), b"the target's bytes")
        project = write_project(self.dir, "1.0", {TARGET: b"MZ"})
        os.symlink(os.path.join(self.dir, "elsewhere", "real.txt"),
                   os.path.join(self.dir, "My App", "link.txt"))
        package = build(project)
        files = {row[2].split("|")[-1]: row[0] for row in oracle.export_table(package, "File")}
        cabinet = os.path.join(self.dir, "cabinet")
        os.makedirs(cabinet)
        oracle.extract_cabinet(package, cabinet)
        with open(os.path.join(cabinet, files["link.txt"]), "rb") as f:
            self.assertEqual(f.read(), b"the target's bytes")


class WineTest(TreeFixture):
    def test_install_upgrade_and_uninstall_a_tree(self):
        folder = os.path.join(self.dir, "project")
        first = build(write_project(folder, "1.0", self.files))
        kept = os.path.join(self.dir, "1.0.msi")
        shutil.move(first, kept)
        moved = dict(self.files)
        moved["data/b/file 03.bin"] = moved.pop("data/a/r\u00e9sum\u00e9 03.dat")
        del moved["docs/Document Five.txt"]
        second = build(write_project(folder, "1.1", moved))
        with oracle.WinePrefix() as wine:
            root = wine.program_files(TITLE)
            self.assertEqual(wine.msiexec("/i", kept, "/qn"), 0)
            self.assertTree(root, self.files, os.path.join(self.dir, "v1"))
            links = [os.path.join(top, name) for top, _, names in os.walk(wine.drive_c())
                     for name in names if name == "Run.lnk"]
            self.assertEqual(len(links), 1, links)
            work_dir = lnk_working_dir(links[0]) or ""
            self.assertTrue(work_dir.rstrip("\\\x00 ").lower().endswith(
                "\\" + TITLE.lower() + "\\my app\\bin\\tools"), work_dir)
            self.assertEqual(wine.msiexec("/i", second, "/qn"), 0)
            self.assertTree(root, moved, os.path.join(self.dir, "v2"))
            self.assertEqual(wine.msiexec("/x", second, "/qn"), 0)
            self.assertFalse(os.path.exists(root), installed_tree(root))

    def test_an_lzx_package_of_a_mixed_tree_installs_byte_for_byte(self):
        files = mixed_files(50 << 20)
        package = build(write_project(os.path.join(self.dir, "lzx"), "1.0", files,
                                      ["compression=lzx"]))
        header = oracle.extract_stream(package, "Instal01.cab")[:36 + 8 * 64]
        folders = struct.unpack_from("<H", header, 26)[0]
        types = {struct.unpack_from("<H", header, 36 + 8 * i + 6)[0] for i in range(folders)}
        self.assertEqual(types, {0x1503})  # LZX with a 2 MB window, in every folder
        with oracle.WinePrefix() as wine:
            root = wine.program_files(TITLE)
            self.assertEqual(wine.msiexec("/i", package, "/qn"), 0)
            self.assertTree(root, files, os.path.join(self.dir, "sources"))
            self.assertEqual(wine.msiexec("/x", package, "/qn"), 0)
            self.assertFalse(os.path.exists(root), installed_tree(root))

    def assertTree(self, root, files, sources):
        """The install folder holds exactly the two single files and `files` in My App, each
        byte for byte, and the empty folders."""
        write_project(sources, "0", files)
        expected = installed_tree(sources)
        expected.remove("tree.kbr")
        self.assertEqual(installed_tree(root), expected)
        for path in expected:
            if os.path.isfile(os.path.join(sources, path)):
                self.assertTrue(filecmp.cmp(os.path.join(root, path), os.path.join(sources, path),
                                            shallow=False), path)


if __name__ == "__main__":
    CLI = sys.argv[1]
    needs.require("msiinfo", *(["wine"] if "WineTest" in sys.argv[2:] else []))
    unittest.main(argv=sys.argv[:1] + sys.argv[2:], verbosity=2)
