"""Install scope, platform and desktop shortcuts: the sample project, its program replaced by
one that records being started, built by kitbinder-cli for each scope and platform.

- msitools reads every package's summary information, properties, default folder, components,
  the profile folders' removal and the shortcut rows. Wine installs every dual-purpose package
  for the machine whatever MSIINSTALLPERUSER says, so the dual-purpose package is checked here
  only, through what it asks of the installer (its properties, summary information and the
  folder dialog's choice; check_templates.py checks the choice's texts and events).
- Wine's msiexec, in one 64-bit prefix: the 64-bit package lands in Program Files and registers
  in the 64-bit registry view, its shortcuts start the program; the 32-bit package lands in
  Program Files (x86); the per-user package lands in the user's AppData\\Local\\Programs,
  registers for the user alone, puts its shortcuts in the user's Start Menu and desktop, and
  its removal leaves nothing in the profile. In a 32-bit prefix (when Wine's 32-bit half is
  installed) the 64-bit package is refused.

usage: install_target_test.py KITBINDER_CLI SOURCE_DIR
"""

import glob
import os
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

CLI = SOURCE = None
TITLE = "Sample Tool"
PROGRAM = "files/Sample Tool.exe"
COMPONENT_64BIT, REGISTRY_KEY_PATH = 256, 4
ELEVATION_NOT_REQUIRED = 8
ERROR_INSTALL_PLATFORM_UNSUPPORTED = 1633
WINE32_LOADER = "/usr/lib/wine/wine"  # what a 32-bit prefix runs on (Debian's wine32)
UNINSTALL = r"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
DEFAULT_FOLDERS = {
    ("machine", "x86"): "[ProgramFilesFolder][TargetDirName]",
    ("both", "x86"): "[ProgramFilesFolder][TargetDirName]",
    ("machine", "x64"): "[ProgramFiles64Folder][TargetDirName]",
    ("both", "x64"): "[ProgramFiles64Folder][TargetDirName]",
    ("user", "x86"): "[LocalAppDataFolder]Programs\\[TargetDirName]",
    ("user", "x64"): "[LocalAppDataFolder]Programs\\[TargetDirName]",
}


def sample_project(folder, scope, platform):
    """The sample in `folder`, for `scope` and `platform`, its program the starting recorder
    with shortcuts in the Start Menu and on the desktop. Returns the package's path."""
    shutil.copytree(os.path.join(SOURCE, "examples", "sample"), folder)
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-o", os.path.join(folder, PROGRAM),
                    os.path.join(os.path.dirname(__file__), "data", "started.c")], check=True)
    project = os.path.join(folder, "sample.kbr")
    with open(project, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("noquestions=false\n",
                        f"noquestions=false\ninstallscope={scope}\nplatform={platform}\n")
    text = text.replace("file0setkdir=true\n", "file0setkdir=true\nfile0desktopshortcut=true\n")
    with open(project, "w", encoding="utf-8") as f:
        f.write(text)
    result = oracle.build(CLI, project)
    if result.returncode != 0:
        raise AssertionError(result.stdout + result.stderr)
    return os.path.join(folder, TITLE + ".msi")


def summary_field(package, name):
    line = next(l for l in oracle.suminfo(package).splitlines() if l.strip().startswith(name))
    return line.split(":", 1)[1].strip()


def registry_keys(prefix, hive):
    with open(os.path.join(prefix.path, hive), encoding="utf-8", errors="replace") as f:
        return [line[1:line.index("]")] for line in f if line.startswith("[")]


class PackageRowsTest(unittest.TestCase):
    def test_every_scope_and_platform(self):
        for (scope, platform), folder in DEFAULT_FOLDERS.items():
            with self.subTest(scope=scope, platform=platform), \
                    tempfile.TemporaryDirectory() as scratch:
                self.check_package(sample_project(os.path.join(scratch, "p"), scope, platform),
                                   scope, platform, folder)

    def check_package(self, package, scope, platform, default_folder):
        x64 = platform == "x64"
        self.assertEqual(summary_field(package, "Template"),
                         ("x64" if x64 else "Intel") + ";1033")
        # msiinfo calls the schema (page count) "Version" and the word count "Source".
        self.assertGreaterEqual(int(summary_field(package, "Version").split()[0]), 200)
        word_count = int(summary_field(package, "Source").split()[0])
        self.assertEqual(bool(word_count & ELEVATION_NOT_REQUIRED), scope == "user")
        self.assertEqual(oracle.property_value(package, "ALLUSERS"),
                         {"machine": "1", "user": None, "both": "2"}[scope])
        self.assertEqual(oracle.property_value(package, "MSIINSTALLPERUSER"),
                         "1" if scope == "both" else None)
        actions = oracle.rows_by_key(package, "CustomAction")
        self.assertEqual(actions["SetTargetDir"][3], default_folder)
        # The folder dialog's choice: shown in a dual-purpose package only; what it moves a
        # folder left at the default to when all users are chosen.
        self.assertEqual(oracle.property_value(package, "OfferInstallScope"),
                         "1" if scope == "both" else "0")
        machine_folders = {actions[a][3] for a in ("SetMachineFolder", "SetMachineFolder32On64")}
        self.assertEqual(machine_folders,
                         {"[%ProgramW6432]\\[TargetDirName]\\"} if x64 else
                         {"[%ProgramFiles]\\[TargetDirName]\\",
                          "[%ProgramFiles(x86)]\\[TargetDirName]\\"})

        components = oracle.rows_by_key(package, "Component")
        for row in components.values():
            self.assertEqual(bool(int(row[3]) & COMPONENT_64BIT), x64, row)
        profile = [row for row in components.values() if int(row[3]) & REGISTRY_KEY_PATH]
        registry = oracle.export_table(package, "Registry")
        removals = oracle.export_table(package, "RemoveFile")
        menu = next(row[0] for row in oracle.export_table(package, "Directory")
                    if row[1] == "ProgramMenuFolder")
        # The folders' component: a registry value in the scope's hive (HKCU, HKLM, or the
        # installing scope's for a dual-purpose package) as key path, removing the product and
        # menu folders.
        self.assertEqual(len(profile), 1)
        self.assertEqual(len(registry), 1)
        self.assertEqual(registry[0][0], profile[0][5])
        self.assertEqual(registry[0][1], {"user": "1", "machine": "2", "both": "-1"}[scope])
        self.assertEqual(sorted((r[1], r[2], r[3], r[4]) for r in removals),
                         sorted([(profile[0][0], "", "TARGETDIR", "2"),
                                 (profile[0][0], "", menu, "2")]))
        features = [r[1] for r in oracle.export_table(package, "FeatureComponents")]
        self.assertIn(profile[0][0], features)

        # The program's shortcut twice, the same but for the folder.
        shortcuts = [row for row in oracle.export_table(package, "Shortcut")
                     if row[3] == components_of(package, "Sample Tool.exe")]
        self.assertEqual(sorted(row[1] for row in shortcuts), sorted([menu, "DesktopFolder"]))
        first, second = ([row[2:] for row in shortcuts])
        self.assertEqual(first, second)


def components_of(package, long_name):
    for row in oracle.export_table(package, "File"):
        if row[2].split("|")[-1] == long_name:
            return row[1]
    raise AssertionError(f"no File row for {long_name}")


class WineTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="kbscope.")

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def package(self, scope, platform):
        return sample_project(os.path.join(self.scratch, scope + platform), scope, platform)

    def start_shortcut(self, wine, lnk):
        """Starts a shortcut as the desktop does; returns what the program recorded, or None."""
        oracle.run(["wine", "start", "/wait", "/unix", lnk], env=wine.env)
        oracle.run(["wineserver", "-w"], env=wine.env)
        marker = os.path.join(os.path.dirname(self.installed_program), "started.txt")
        if not os.path.exists(marker):
            return None
        with open(marker) as f:
            text = f.read().strip()
        os.remove(marker)
        return text

    def test_scopes_and_platforms_under_wine(self):
        x64 = self.package("machine", "x64")
        x86 = self.package("machine", "x86")
        user = self.package("user", "x64")
        with oracle.WinePrefix("win64") as wine:
            # 64-bit, for the machine: the 64-bit folder and registry view.
            self.assertEqual(wine.msiexec("/i", x64, "/qn"), 0)
            self.installed_program = wine.drive_c("Program Files", TITLE, "Sample Tool.exe")
            self.assertTrue(os.path.exists(self.installed_program))
            self.assertFalse(os.path.exists(wine.drive_c("Program Files (x86)", TITLE)))
            code = oracle.property_value(x64, "ProductCode")
            keys = registry_keys(wine, "system.reg")
            self.assertIn(UNINSTALL + code, keys)
            self.assertNotIn(r"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion"
                             r"\\Uninstall\\" + code, keys)
            links = self.shortcuts(wine, "Sample Tool.lnk")
            self.assertEqual(len(links), 2, links)  # the Start Menu's and the desktop's
            for lnk in links:
                self.assertEqual(self.start_shortcut(wine, lnk),
                                 "C:\\Program Files\\Sample Tool\\Sample Tool.exe", lnk)
            self.assertEqual(wine.msiexec("/x", x64, "/qn"), 0)
            self.assertEqual(self.shortcuts(wine, "Sample Tool.lnk"), [])

            # 32-bit, in the same prefix: the 32-bit folder, as before.
            self.assertEqual(wine.msiexec("/i", x86, "/qn"), 0)
            self.assertTrue(os.path.exists(wine.program_files(TITLE, "Sample Tool.exe")))
            self.assertEqual(wine.msiexec("/x", x86, "/qn"), 0)

            # For the user: the profile, the user's registry, the user's shortcuts.
            self.assertEqual(wine.msiexec("/i", user, "/qn"), 0)
            profiles = glob.glob(wine.drive_c("users", "*", "AppData", "Local", "Programs", TITLE))
            self.assertEqual(len(profiles), 1, profiles)
            self.installed_program = os.path.join(profiles[0], "Sample Tool.exe")
            self.assertTrue(os.path.exists(self.installed_program))
            # Registered for the user: the user's product key, the installer's data under the
            # user's SID rather than the machine's (S-1-5-18), no machine-wide product key; and
            # the per-user value that is the profile folders' key path.
            packed = packed_guid(oracle.property_value(user, "ProductCode"))
            user_keys = registry_keys(wine, "user.reg")
            self.assertIn(r"Software\\Microsoft\\Installer\\Products\\" + packed, user_keys)
            self.assertIn(r"Software\\Kitbinder Examples\\Sample Tool", user_keys)
            machine = [key for key in registry_keys(wine, "system.reg") if packed in key]
            self.assertTrue(machine)
            for key in machine:
                self.assertNotIn(r"Classes\\Installer", key)
                self.assertRegex(key, r"UserData\\\\S-1-5-21-[-0-9]+\\\\Products")
            links = self.shortcuts(wine, "Sample Tool.lnk")
            self.assertEqual(len(links), 2, links)
            for lnk in links:
                self.assertIn(os.sep + "users" + os.sep, lnk)
                self.assertIsNotNone(self.start_shortcut(wine, lnk), lnk)
            self.assertEqual(wine.msiexec("/x", user, "/qn"), 0)
            self.assertFalse([key for key in registry_keys(wine, "user.reg")
                              if packed in key or "Kitbinder Examples" in key])
            self.assertEqual(glob.glob(wine.drive_c("users", "*", "AppData", "Local", "Programs",
                                                    TITLE)), [])
            self.assertEqual(glob.glob(wine.drive_c("users", "*", "AppData", "Roaming",
                                                    "Microsoft", "Windows", "Start Menu",
                                                    "Programs", TITLE)), [])
            self.assertEqual(self.shortcuts(wine, "*.lnk"), [])

    def test_32bit_windows_refuses_a_64bit_package(self):
        if not os.path.exists(WINE32_LOADER):
            self.skipTest("needs Wine's 32-bit loader for a 32-bit prefix (Debian package "
                          "wine32:i386)")
        x64 = self.package("machine", "x64")
        with oracle.WinePrefix("win32") as wine:
            self.assertEqual(wine.msiexec("/i", x64, "/qn"), ERROR_INSTALL_PLATFORM_UNSUPPORTED)
            self.assertFalse(os.path.exists(wine.drive_c("Program Files", TITLE)))
            code = oracle.property_value(x64, "ProductCode")
            self.assertNotIn(UNINSTALL + code, registry_keys(wine, "system.reg"))

    def shortcuts(self, wine, pattern):
        """The shortcuts matching `pattern` anywhere in the prefix's Start Menus and desktops."""
        found = []
        for root in glob.glob(wine.drive_c("users", "*")) + [wine.drive_c("ProgramData")]:
            for folder, _, names in os.walk(root, followlinks=True):
                if "Start Menu" in folder or "Desktop" in folder:
                    found += [os.path.join(folder, n) for n in names
                              if glob.fnmatch.fnmatch(n, pattern)]
        return sorted(found)


def packed_guid(guid):
    """The installer's packed form of a braced GUID, as its registry keys name products."""
    parts = re.findall(r"[0-9A-F]+", guid.upper())
    swapped = [p[::-1] for p in parts[:3]]
    pairs = "".join(parts[3:])
    return "".join(swapped) + "".join(pairs[i + 1] + pairs[i] for i in range(0, len(pairs), 2))


if __name__ == "__main__":
    needs.require("msiinfo", "x86_64-w64-mingw32-gcc")
    CLI, SOURCE = sys.argv[1], sys.argv[2]
    argv = sys.argv[:1] + sys.argv[3:]
    if not shutil.which("wine"):
        argv.append("PackageRowsTest")
    unittest.main(argv=argv)
