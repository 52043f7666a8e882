"""PATH and file types: the sample project with a small program (kbargs.exe, which writes its
argument beside itself) that is put on PATH and opens the types .kbt and .kbtx.

- msitools reads, for every install scope, the Environment rows (appended, removed on
  uninstall, the user's or the system's variable), the file type registration (programmatic
  identifier, open command, document icon, OpenWithProgids) and the extension defaults that
  install only when no other program holds the extension.
- Wine's msiexec, in one 64-bit prefix: after a silent per-user install a new `cmd /c` finds the
  program by name and the uninstall leaves PATH as it was; after a per-machine install the
  program is on PATH too, `cmd /c start doc.kbt` opens the document with it, an extension
  another program held before keeps its owner, and the uninstall takes back the types and the
  folder on PATH. (Wine's HKEY_CLASSES_ROOT is the machine's alone, so the user's file types
  are checked through msitools only.)

usage: integration_test.py KITBINDER_CLI SOURCE_DIR
"""

import os
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
PROGRAM = "kbargs.exe"
ENVIRONMENT = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"


def sample_project(folder, scope):
    """The sample in `folder` for `scope`, 64-bit, with the install folder on PATH and kbargs.exe
    opening .kbt and .kbtx. Returns the package's path."""
    shutil.copytree(os.path.join(SOURCE, "examples", "sample"), folder)
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-o", os.path.join(folder, "files", PROGRAM),
                    os.path.join(os.path.dirname(__file__), "data", "args.c")], check=True)
    project = os.path.join(folder, "sample.kbr")
    with open(project, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("noquestions=false\n", f"noquestions=false\ninstallscope={scope}\n"
                        "platform=x64\naddtopath=true\n")
    text = text.replace("[icons]\n", f"file4path=files/{PROGRAM}\nfile4shortcuticon=app.ico\n"
                        "file4extensions=.kbt; .kbtx\n"
                        "file4extensiondescription=Kitbinder test document\n[icons]\n")
    with open(project, "w", encoding="utf-8") as f:
        f.write(text)
    result = oracle.build(CLI, project)
    if result.returncode != 0:
        raise AssertionError(result.stdout + result.stderr)
    return os.path.join(folder, TITLE + ".msi")


def program_file_key(package):
    return next(row[0] for row in oracle.export_table(package, "File")
                if row[2].endswith(PROGRAM))


class PackageRowsTest(unittest.TestCase):
    # scope: (variables by component, component conditions, hive of the values, icon folder)
    EXPECTED = {
        "machine": ({"PathForMachine": "=-*PATH"}, {""}, "2",
                    r"[WindowsFolder]Installer\[ProductCode]" + "\\"),
        "user": ({"PathForUser": "=-PATH"}, {""}, "1",
                 r"[AppDataFolder]Microsoft\Installer\[ProductCode]" + "\\"),
        "both": ({"PathForMachine": "=-*PATH", "PathForUser": "=-PATH"},
                 {"ALLUSERS", "NOT ALLUSERS"}, "-1", "[IconFolder]"),
    }

    def test_every_scope(self):
        for scope, (variables, conditions, hive, icons) in self.EXPECTED.items():
            with self.subTest(scope=scope), tempfile.TemporaryDirectory() as scratch:
                package = sample_project(os.path.join(scratch, "p"), scope)
                environment = oracle.export_table(package, "Environment")
                self.assertEqual({row[3]: row[1] for row in environment}, variables)
                self.assertEqual({row[2] for row in environment}, {"[~];[TARGETDIR]"})
                components = oracle.rows_by_key(package, "Component")
                self.assertEqual({components[c][4] for c in variables}, conditions)
                registry = oracle.rows_by_key(package, "Registry")
                self.assertEqual({registry[c][1] for c in variables}, {hive})

                # The type's registration, in the hive of the install's scope.
                file_key = program_file_key(package)
                values = {(row[2], row[3]): (row[1], row[4])
                          for row in registry.values() if "Classes" in row[2]}
                prog_id = values[(r"Software\Classes\.kbt", "")][1]
                self.assertRegex(prog_id, r"^SampleTool\.kbargs\.\d+$")
                classes = "Software\\Classes\\" + prog_id
                self.assertEqual(values, {
                    (classes, ""): ("-1", "Kitbinder test document"),
                    (classes + r"\DefaultIcon", ""): ("-1", icons + "app.exe"),
                    (classes + r"\shell\open\command", ""): ("-1", f'"[#{file_key}]" "%1"'),
                    (r"Software\Classes\.kbt\OpenWithProgids", prog_id): ("-1", ""),
                    (r"Software\Classes\.kbtx\OpenWithProgids", prog_id): ("-1", ""),
                    (r"Software\Classes\.kbt", ""): ("-1", prog_id),
                    (r"Software\Classes\.kbtx", ""): ("-1", prog_id),
                })
                # Each extension's default: a component that installs only while the
                # extension is free or already ours, found by searching HKCR.
                searches = {row[0]: row[1] for row in oracle.export_table(package, "AppSearch")}
                for row in oracle.export_table(package, "RegLocator"):
                    if row[2] in (".kbt", ".kbtx"):
                        owner = next(p for p, s in searches.items() if s == row[0])
                        self.assertEqual(row[1], "0")
                        self.assertEqual(components[row[0]][4],
                                         f'NOT {owner} OR {owner}="{prog_id}"')


def path_folders(wine, hive_key):
    """The folders of PATH in `hive_key`, as `reg query` shows them; None when there is none."""
    result = oracle.run(["wine", "reg", "query", hive_key, "/v", "PATH"], env=wine.env)
    for line in result.stdout.splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0].upper() == "PATH":
            # Wine takes the folder out but leaves its ";" behind: empty entries do not count.
            return [folder for folder in parts[2].split(";") if folder]
    return None


class WineTest(unittest.TestCase):
    def test_path_and_file_types_under_wine(self):
        with tempfile.TemporaryDirectory() as scratch, oracle.WinePrefix("win64") as wine:
            user = sample_project(os.path.join(scratch, "user"), "user")
            machine = sample_project(os.path.join(scratch, "machine"), "machine")
            document = os.path.join(scratch, "doc.kbt")
            with open(document, "w") as f:
                f.write("a document\n")

            def run_in_new_process(command, folder):
                """Runs `command` in a new cmd; returns what kbargs.exe in `folder` was given."""
                marker = os.path.join(folder, "args.txt")
                if os.path.exists(marker):
                    os.remove(marker)
                oracle.run(["wine", "cmd", "/c", command], env=wine.env, cwd=scratch)
                oracle.run(["wineserver", "-w"], env=wine.env)
                if not os.path.exists(marker):
                    return None
                with open(marker) as f:
                    return f.read().strip()

            # For the user: the user's PATH, which did not exist before.
            user_path = r"HKCU\Environment"
            self.assertIsNone(path_folders(wine, user_path))
            self.assertEqual(wine.msiexec("/i", user, "/qn"), 0)
            folder = os.path.join(wine.drive_c("users"), os.listdir(wine.drive_c("users"))[0])
            folder = os.path.join(folder, "AppData", "Local", "Programs", TITLE)
            self.assertTrue(os.path.exists(os.path.join(folder, PROGRAM)), folder)
            self.assertEqual(len(path_folders(wine, user_path)), 1)
            self.assertEqual(run_in_new_process("kbargs on-the-users-path", folder),
                             "on-the-users-path")
            self.assertEqual(wine.msiexec("/x", user, "/qn"), 0)
            self.assertIsNone(path_folders(wine, user_path))

            # For the machine: the system's PATH; .kbtx belongs to another program before.
            system_before = path_folders(wine, ENVIRONMENT)
            oracle.run(["wine", "reg", "add", r"HKCR\.kbtx", "/ve", "/d", "Other.Program", "/f"],
                       env=wine.env)
            self.assertEqual(wine.msiexec("/i", machine, "/qn"), 0)
            folder = wine.drive_c("Program Files", TITLE)
            self.assertEqual(path_folders(wine, ENVIRONMENT),
                             system_before + ["C:\\Program Files\\" + TITLE + "\\"])
            self.assertEqual(run_in_new_process("kbargs on-the-system-path", folder),
                             "on-the-system-path")
            self.assertEqual(run_in_new_process("start /wait doc.kbt", folder),
                             "Z:" + document.replace("/", "\\"))
            self.assertIn("Other.Program", self.default_of(wine, r"HKCR\.kbtx"))
            self.assertEqual(wine.msiexec("/x", machine, "/qn"), 0)
            self.assertEqual(path_folders(wine, ENVIRONMENT), system_before)
            self.assertIsNone(self.default_of(wine, r"HKCR\.kbt"))
            self.assertIn("Other.Program", self.default_of(wine, r"HKCR\.kbtx"))
            self.assertNotIn("OpenWithProgids", oracle.run(
                ["wine", "reg", "query", r"HKCR\.kbtx", "/s"], env=wine.env).stdout)

    def default_of(self, wine, key):
        """The default value line of `key` as `reg query` shows it; None when there is no key."""
        result = oracle.run(["wine", "reg", "query", key, "/ve"], env=wine.env)
        if result.returncode != 0:
            return None
        return next((line for line in result.stdout.splitlines() if "REG_" in line), "")


if __name__ == "__main__":
    needs.require("msiinfo", "x86_64-w64-mingw32-gcc")
    CLI, SOURCE = sys.argv[1], sys.argv[2]
    argv = sys.argv[:1] + sys.argv[3:]
    if not shutil.which("wine"):
        argv.append("PackageRowsTest")
    unittest.main(argv=argv)
