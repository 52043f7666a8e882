"""End to end: kitbinder-cli builds the sample project and a project that uses every field, in
all three languages; msitools and cabextract read the packages back, and Wine's msiexec installs
and removes them.

usage: wine_install_test.py KITBINDER_CLI SOURCE_DIR
"""

import filecmp
import os
import random
import re
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
SOURCE_DIR = None

LICENCE_LINE = "{\\rtf1 Clause %05d: the licensee may use this software freely.}\r\n"


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(path, mode, **({} if mode == "wb" else {"encoding": "utf-8", "newline": ""})) as f:
        f.write(data)


def write_project(folder, title, language, noquestions):
    """A project that uses every field: quotes and accents in its texts, spaces in file names,
    names that differ only in characters Windows tells apart, codes and a component GUID typed
    in lower case with braces, one icon shared by two shortcuts, shortcuts with and without a
    working folder, "default" labels, a licence over 32,000 characters with CR LF line ends and
    a banner."""
    rng = random.Random(7)
    write(os.path.join(folder, "bin", "My Tool.exe"), bytes(rng.randrange(256) for _ in range(70000)))
    write(os.path.join(folder, "bin", "helper.exe"), b"MZ" + bytes(5000))
    write(os.path.join(folder, "doc", "read me.txt"), "Read me, it's short.\r\n" * 40)
    write(os.path.join(folder, "doc", "empty.txt"), b"")
    write(os.path.join(folder, "doc", "read_me.txt"), "Not the same as read me.txt\r\n")
    write(os.path.join(folder, "doc", "R\u00e9sum\u00e9.txt"), "Accented\r\n")
    write(os.path.join(folder, "doc", "resume.txt"), "Plain\r\n")
    sample_icon = os.path.join(SOURCE_DIR, "examples", "sample", "app.ico")
    os.makedirs(os.path.join(folder, "icons"))
    shutil.copy(sample_icon, os.path.join(folder, "icons", "app.ico"))
    write(os.path.join(folder, "other", "helper.ico"), read_bytes(sample_icon))
    shutil.copy(sample_icon, os.path.join(folder, "tool.ico"))
    write(os.path.join(folder, "licence.rtf"), "".join(LICENCE_LINE % i for i in range(700)))
    shutil.copy(os.path.join(SOURCE_DIR, "examples", "sample", "banner.jpg"), os.path.join(folder, "banner.jpg"))
    lines = [
        "[properties]",
        "title=" + title,
        "author=O'Neil & Søn",
        "productcode=" + PRODUCT_CODE.lower(),
        "packagecode=",
        "upgradecode=",
        "version=2.5.1",
        'comments=Says "hello"; costs 5 €',
        "supporturl=https://example.org/?q='x'",
        "eulafile=licence.rtf",
        "language=" + language,
        "bannerfile=banner.jpg",
        "noquestions=" + ("true" if noquestions else "false"),
        "[files]",
        "file0path=bin/My Tool.exe",
        "file0shortcutname=default",
        "file0shortcuticon=icons/app.ico",
        "file0setkdir=true",
        "file1path=bin/helper.exe",
        "file1shortcutname=Helper's Menu",
        "file1shortcuticon=other/helper.ico",
        "file2path=doc/read me.txt",
        "file2shortcutname=Read Me",
        "file2shortcuticon=tool.ico",
        "file2componentguid={%s}" % COMPONENT_GUID.lower(),
        "file3path=doc/empty.txt",
        "file4path=doc/read_me.txt",
        "file5path=doc/R\u00e9sum\u00e9.txt",
        "file6path=doc/resume.txt",
        "[icons]",
        "icon0path=icons/app.ico",
        "icon1path=other/helper.ico",
        "icon2path=tool.ico",
    ]
    project = os.path.join(folder, "project.kbr")
    write(project, "\r\n".join(lines) + "\r\n")
    return project


PRODUCT_CODE = "{9C2B7E14-3A5D-4F68-B1C0-7D2E9F3A4B5C}"
COMPONENT_GUID = "0F1E2D3C-4B5A-4697-8877-665544332211"
FULL_FILES = ["bin/My Tool.exe", "bin/helper.exe", "doc/read me.txt", "doc/empty.txt",
              "doc/read_me.txt", "doc/R\u00e9sum\u00e9.txt", "doc/resume.txt"]
SAMPLE_FILES = ["files/Sample Tool.exe", "files/readme.txt", "files/settings.ini", "files/manual.txt"]


class PackageTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbpkg.")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def build(self, project):
        result = oracle.build(CLI, project)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertTrue(result.stdout.rstrip().endswith("MSI Creation complete"), result.stdout)
        self.assertFalse(os.path.exists(os.path.join(os.path.dirname(project), "Install1.cab")))

    def check_tables(self, package, folder, files, title):
        file_rows = oracle.export_table(package, "File")
        components = oracle.rows_by_key(package, "Component")
        features = {row[1]: row[0] for row in oracle.export_table(package, "FeatureComponents")}
        self.assertEqual(len(file_rows), len(files))
        by_sequence = sorted(file_rows, key=lambda r: int(r[7]))
        for n, (row, path) in enumerate(zip(by_sequence, files), start=1):
            key, component, filename, size, version, language, attributes, sequence = row
            self.assertEqual(int(sequence), n)
            # The sample's program has a version resource; the other files have none.
            expected = ("1.2.0.0", "1033") if path.endswith("Sample Tool.exe") else ("", "")
            self.assertEqual((version, language, attributes), expected + ("512",))
            self.assertEqual(filename.split("|")[1], os.path.basename(path))
            self.assertEqual(int(size), os.path.getsize(os.path.join(folder, path)))
            self.assertEqual(components[component][2], "TARGETDIR")
            self.assertEqual(components[component][5], key)
            guid = components[component][1]
            self.assertTrue(guid.startswith("{") and guid.endswith("}"), guid)
            self.assertEqual(features[component], "_MainFeature")
        menu = [r for r in oracle.export_table(package, "Directory") if r[1] == "ProgramMenuFolder"]
        self.assertEqual(len(menu), 1)
        self.assertEqual(menu[0][2], title.replace(" ", "")[:8] + "|" + title)
        cab = tempfile.mkdtemp(dir=self.dir)
        self.assertEqual(oracle.extract_cabinet(package, cab), sorted(r[0] for r in file_rows))
        for row in by_sequence:
            path = files[int(row[7]) - 1]
            self.assertTrue(filecmp.cmp(os.path.join(cab, row[0]), os.path.join(folder, path), shallow=False))

    def install_and_remove(self, package, folder, files, title, shortcuts):
        with oracle.WinePrefix() as wine:
            self.assertEqual(wine.msiexec("/i", package, "/qn"), 0)
            for path in files:
                installed = wine.program_files(title, os.path.basename(path))
                self.assertTrue(filecmp.cmp(installed, os.path.join(folder, path), shallow=False), installed)
            for label in shortcuts:
                self.assertTrue(wine.shortcut_exists(title, label), label)
            self.assertEqual(wine.msiexec("/x", package, "/qn"), 0)
            for path in files:
                self.assertFalse(os.path.exists(wine.program_files(title, os.path.basename(path))))

    def test_sample_project(self):
        folder = os.path.join(self.dir, "sample")
        shutil.copytree(os.path.join(SOURCE_DIR, "examples", "sample"), folder)
        self.build(os.path.join(folder, "sample.kbr"))
        package = os.path.join(folder, "Sample Tool.msi")
        self.check_tables(package, folder, SAMPLE_FILES, "Sample Tool")
        self.install_and_remove(package, folder, SAMPLE_FILES, "Sample Tool", ["Sample Tool", "Read Me"])

    def test_building_twice_gives_the_same_package(self):
        # Apart from the identifiers a build generates (keys, GUIDs, codes), two builds of one
        # project give the same tables and the same files in the cabinet.
        identifiers = re.compile(r"_[0-9A-F]{32}|\{?[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}?")
        folder = os.path.join(self.dir, "twice")
        shutil.copytree(os.path.join(SOURCE_DIR, "examples", "sample"), folder)
        package = os.path.join(folder, "Sample Tool.msi")
        builds = []
        for _ in range(2):
            self.build(os.path.join(folder, "sample.kbr"))
            tables = oracle.run(["msiinfo", "tables", package]).stdout.split()
            contents = {t: sorted([identifiers.sub("ID", field) for field in row]
                                  for row in oracle.export_table(package, t)) for t in tables}
            cab = tempfile.mkdtemp(dir=self.dir)
            oracle.extract_cabinet(package, cab)
            files = sorted(read_bytes(os.path.join(cab, name)) for name in os.listdir(cab))
            builds.append((contents, files))
        self.assertGreater(len(builds[0][0]), 10)
        self.assertEqual(builds[0], builds[1])

    def check_full_project(self, language, noquestions):
        title = "Bob's Café Tool"
        folder = os.path.join(self.dir, language)
        project = write_project(folder, title, language, noquestions)
        self.build(project)
        package = os.path.join(folder, title + ".msi")
        self.check_tables(package, folder, FULL_FILES, title)

        properties = {k: oracle.property_value(package, k) for k in
                      ("ProductName", "TargetDirName", "ProductVersion", "Manufacturer", "SupportURL")}
        self.assertEqual(properties, {"ProductName": title, "TargetDirName": title, "ProductVersion": "2.5.1",
                                      "Manufacturer": "O'Neil & Søn", "SupportURL": "https://example.org/?q='x'"})
        self.assertEqual(oracle.property_value(package, "WelcomeForm_NextArgs"), "EulaForm")
        self.assertEqual(oracle.property_value(package, "FolderForm_PrevArgs"), "EulaForm")

        # Typed in lower case with braces, stored in canonical form, braces once.
        self.assertEqual(oracle.property_value(package, "ProductCode"), PRODUCT_CODE)
        self.assertIn("{%s}" % COMPONENT_GUID,
                      [row[1] for row in oracle.export_table(package, "Component")])

        icons = sorted(oracle.rows_by_key(package, "Icon"))
        self.assertEqual(icons, ["app.exe", "helper.exe", "tool.exe"])
        self.assertEqual(oracle.extract_stream(package, "Icon.app.exe"),
                         read_bytes(os.path.join(folder, "icons", "app.ico")))
        self.assertEqual(oracle.extract_stream(package, "Binary.BannerBitmap"),
                         read_bytes(os.path.join(folder, "banner.jpg")))

        shortcuts = {row[2]: row for row in oracle.export_table(package, "Shortcut")}
        self.assertEqual(sorted(shortcuts), ["MYTOOL~1.EXE|My Tool", "README~1|Read Me", "helper|Helper's Menu"])
        self.assertEqual(shortcuts["MYTOOL~1.EXE|My Tool"][11], "TARGETDIR")
        self.assertEqual(shortcuts["helper|Helper's Menu"][11], "")
        self.assertEqual(shortcuts["MYTOOL~1.EXE|My Tool"][4], "_MainFeature")
        self.assertEqual(shortcuts["README~1|Read Me"][8], "tool.exe")
        self.assertEqual(shortcuts["helper|Helper's Menu"][8], "helper.exe")

        sequence = oracle.rows_by_key(package, "InstallUISequence")["WelcomeForm"][2]
        self.assertEqual(int(sequence) < 0, noquestions)

        summary = oracle.suminfo(package)
        self.assertIn("Title: " + title, summary)
        self.assertRegex(summary, r"Revision number \(UUID\): \{[0-9A-F-]{36}\}")

        # The licence control holds the first 32,000 characters with LF line ends; msiinfo
        # prints them raw, which the row split on CR LF leaves whole.
        controls = {row[1]: row for row in oracle.export_table(package, "Control")}
        with open(os.path.join(folder, "licence.rtf"), encoding="utf-8", newline="") as f:
            licence = f.read().replace("\r\n", "\n")[:32000]
        self.assertEqual(controls["EulaForm_LicenseText"][9], licence)

        self.install_and_remove(package, folder, FULL_FILES, title,
                                ["My Tool", "Helper's Menu", "Read Me"])

    def test_full_project_english(self):
        self.check_full_project("en", noquestions=False)

    def test_full_project_french_without_questions(self):
        self.check_full_project("fr", noquestions=True)

    def test_full_project_spanish(self):
        self.check_full_project("es", noquestions=False)


if __name__ == "__main__":
    CLI, SOURCE_DIR = sys.argv[1], sys.argv[2]
    needs.require("wine", "msiinfo", "cabextract")
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
