"""Upgrades: kitbinder-cli builds one project as version 1.0 and 1.1 with --write-back, and
Wine's msiexec installs 1.1 over 1.0, refuses 1.0 over 1.1, installs a rebuilt 1.1 over itself
and removes it. msitools reads the codes of the packages.

usage: upgrade_test.py KITBINDER_CLI
"""

import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import package_oracles as oracle  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

CLI = None
TITLE = "Upgrader"
ICON = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "sample", "app.ico")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read_project(path):
    """The project file's keys, in order, as (section, key) -> value."""
    keys, section = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("["):
                section = line.strip("[]")
            elif "=" in line:
                key, value = line.split("=", 1)
                keys[(section, key)] = value
    return keys


def write_project(path, keys):
    lines = []
    for section in ("properties", "files", "icons"):
        lines.append(f"[{section}]")
        lines += [f"{key}={value}" for (name, key), value in keys.items() if name == section]
    write(path, ("\r\n".join(lines) + "\r\n").encode("utf-8"))


def package_code(package):
    line = next(l for l in oracle.suminfo(package).splitlines() if "Revision number" in l)
    return line.split(":", 1)[1].strip()


class UpgradeTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbupgrade.")
        self.project = os.path.join(self.dir, "upgrader.kbr")
        self.package = os.path.join(self.dir, TITLE + ".msi")
        write(os.path.join(self.dir, "changed.txt"), b"version 1.0\r\n" * 50)
        write(os.path.join(self.dir, "removed.txt"), b"only in 1.0\r\n")
        shutil.copy(ICON, os.path.join(self.dir, "tool.ico"))
        write_project(self.project, {
            ("properties", "title"): TITLE,
            ("properties", "version"): "1.0",
            ("properties", "language"): "en",
            ("files", "file0path"): "changed.txt",
            ("files", "file0shortcutname"): "Changed",
            ("files", "file1path"): "removed.txt",
            ("files", "file1shortcutname"): "Removed",
            ("files", "file1shortcuticon"): "tool.ico",
            ("icons", "icon0path"): "tool.ico",
        })

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def build(self, *options):
        result = oracle.run([CLI, "build", self.project, *options])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return read_project(self.project)

    def keep_package(self, name):
        kept = os.path.join(self.dir, name)
        shutil.copy(self.package, kept)
        return kept

    def make_version_1_1(self):
        """1.1: one file changed, one removed and one added."""
        keys = read_project(self.project)
        keys[("properties", "version")] = "1.1"
        keys = {k: v for k, v in keys.items() if not k[1].startswith("file1")}
        keys[("files", "file1path")] = "added.txt"
        write(os.path.join(self.dir, "changed.txt"), b"version 1.1, longer than before\r\n" * 70)
        write(os.path.join(self.dir, "added.txt"), b"new in 1.1\r\n")
        write_project(self.project, keys)

    def test_codes_of_successive_builds(self):
        first = self.build("--write-back")
        self.assertEqual(first[("properties", "productcodeversion")], "1.0")
        code_1_0 = package_code(self.package)
        second = self.build("--write-back")
        self.assertNotEqual(package_code(self.package), code_1_0)
        self.assertEqual(second[("properties", "packagecode")], package_code(self.package))
        for key in ("productcode", "upgradecode"):
            self.assertEqual(second[("properties", key)], first[("properties", key)], key)
        self.make_version_1_1()
        third = self.build("--write-back")
        self.assertNotEqual(third[("properties", "productcode")], first[("properties", "productcode")])
        self.assertEqual(third[("properties", "productcodeversion")], "1.1")
        self.assertEqual(third[("properties", "upgradecode")], first[("properties", "upgradecode")])
        # Add/Remove Programs shows the first shortcut icon, once the package holds one.
        self.assertEqual(oracle.property_value(self.package, "ARPPRODUCTICON"), None)
        keys = read_project(self.project)
        keys[("files", "file0shortcuticon")] = "tool.ico"
        write_project(self.project, keys)
        self.build()
        self.assertEqual(oracle.property_value(self.package, "ARPPRODUCTICON"), "tool.exe")
        self.assertIn("tool.exe", oracle.rows_by_key(self.package, "Icon"))
        upgrade = sorted(oracle.export_table(self.package, "Upgrade"), key=lambda r: r[6])
        code = third[("properties", "upgradecode")]
        self.assertEqual(upgrade, [[code, "1.1", "", "", "2", "", "NEWERVERSIONDETECTED"],
                                   [code, "0.0.0", "1.1", "", "769", "", "PREVIOUSVERSIONSINSTALLED"]])

    def test_a_project_without_the_version_of_its_product_code_keeps_it(self):
        keys = read_project(self.project)
        keys[("properties", "productcode")] = "{0D0C0B0A-1E2F-4A3B-8C4D-5E6F708192A3}"
        keys[("properties", "version")] = "2.0"
        write_project(self.project, keys)
        self.build()
        self.assertEqual(oracle.property_value(self.package, "ProductCode"),
                         "{0D0C0B0A-1E2F-4A3B-8C4D-5E6F708192A3}")
        self.assertEqual(oracle.property_value(self.package, "ProductVersion"), "2.0")

    def test_versions_the_installer_cannot_compare_fail_the_build(self):
        keys = read_project(self.project)
        for version in ("1.256", "1.0.65536", "1.x", "1..2", "1.2.3.4.5", "v1"):
            keys[("properties", "version")] = version
            write_project(self.project, keys)
            result = oracle.run([CLI, "build", self.project])
            self.assertEqual(result.returncode, 1, version)
            self.assertIn(f'"{version}"', result.stdout + result.stderr)
        for version in ("255.255.65535", "1.2.3.99999", "7"):
            keys[("properties", "version")] = version
            write_project(self.project, keys)
            self.build()
            self.assertEqual(oracle.property_value(self.package, "ProductVersion"), version)

    def installed(self, wine, name):
        return os.path.join(wine.program_files(TITLE), name)

    def registered(self, wine):
        """The products named TITLE in Add/Remove Programs, as `wine uninstaller --list` shows."""
        listing = oracle.run(["wine", "uninstaller", "--list"], env=wine.env).stdout
        return [line for line in listing.splitlines() if TITLE in line]

    def test_upgrade_downgrade_rebuild_and_removal_under_wine(self):
        self.build("--write-back")
        package_1_0 = self.keep_package("old.msi")
        self.make_version_1_1()
        keys = self.build("--write-back")
        product_1_1 = keys[("properties", "productcode")]
        with oracle.WinePrefix() as wine:
            self.assertEqual(wine.msiexec("/i", package_1_0, "/qn"), 0)
            self.assertTrue(os.path.exists(self.installed(wine, "removed.txt")))
            self.assertEqual(wine.msiexec("/i", self.package, "/qn"), 0)
            self.check_1_1_installed(wine, product_1_1)

            log = os.path.join(self.dir, "downgrade.log")
            self.assertNotEqual(wine.msiexec("/i", package_1_0, "/qn", "/l*v", log), 0)
            with open(log, "rb") as f:
                text = f.read()
            text = text.decode("utf-16") if text.startswith(b"\xff\xfe") else text.decode("cp1252")
            self.assert_refused_as_newer(text, product_1_1)
            self.check_1_1_installed(wine, product_1_1)

            self.build("--write-back")
            self.assertEqual(wine.msiexec("/i", self.package, "/qn"), 0)
            self.check_1_1_installed(wine, product_1_1)

            self.assertEqual(wine.msiexec("/x", self.package, "/qn"), 0)
            self.assertEqual(self.registered(wine), [])
            folder = wine.program_files(TITLE)
            self.assertFalse(os.path.exists(folder) and os.listdir(folder), folder)
            self.assertFalse(wine.shortcut_exists(TITLE, "Changed"))

    def assert_refused_as_newer(self, log, newer_product):
        """The installer writes the failed launch condition's text into the log; Wine shows it
        only in a message box, so there the log must show the newer product found and the launch
        conditions as the last action, the one that stopped the install."""
        if f"A newer version of {TITLE} is already installed." in log:
            return
        self.assertIn(f"NEWERVERSIONDETECTED = {newer_product}", log)
        actions = re.findall(r"Action start [\d:]+: (\w+)\.", log)
        self.assertEqual([a for a in actions if a != "INSTALL"][-1], "LaunchConditions", actions)

    def check_1_1_installed(self, wine, product_code):
        entries = self.registered(wine)
        self.assertEqual(len(entries), 1, entries)
        self.assertIn(product_code, entries[0])
        with open(self.installed(wine, "changed.txt"), "rb") as f:
            self.assertEqual(f.read(), b"version 1.1, longer than before\r\n" * 70)
        self.assertFalse(os.path.exists(self.installed(wine, "removed.txt")))
        self.assertTrue(os.path.exists(self.installed(wine, "added.txt")))
        self.assertTrue(wine.shortcut_exists(TITLE, "Changed"))
        self.assertFalse(wine.shortcut_exists(TITLE, "Removed"))


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    needs.require("wine", "msiinfo")
    unittest.main()
