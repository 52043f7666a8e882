"""`kitbinder-cli build` as a command: how it fails (each failure gives its text, naming the
cause, on standard error with its exit code, and leaves the project folder as it was: the last
package untouched, no file of the build's own behind; no failure is ever reported as a finished
package) and what --write-back keeps.

usage: build_command_test.py KITBINDER_CLI SOURCE_DIR
"""

import os
import resource
import shutil
import signal
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
FAILED = "An error occurred during MSI Creation."


class BuildCommandTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbfail.")
        self.project_dir = os.path.join(self.dir, "sample")
        shutil.copytree(os.path.join(SOURCE_DIR, "examples", "sample"), self.project_dir)
        self.project = os.path.join(self.project_dir, "sample.kbr")
        self.package = os.path.join(self.project_dir, "Sample Tool.msi")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def edit_project(self, old, new):
        with open(self.project, encoding="utf-8", newline="") as f:
            text = f.read()
        self.assertIn(old, text)
        with open(self.project, "w", encoding="utf-8", newline="") as f:
            f.write(text.replace(old, new))

    def build(self, cli=None, limit=None, options=()):
        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        return subprocess.run([cli or CLI, "build", self.project, *options], capture_output=True,
                              text=True, preexec_fn=limit_file_size if limit else None)

    def project_keys(self):
        with open(self.project, encoding="utf-8") as f:
            return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)

    def test_write_back_keeps_the_generated_codes(self):
        before = self.project_keys()
        result = self.build(options=["--write-back"])
        self.assertEqual(result.returncode, 0, result.stdout)
        after = self.project_keys()
        self.assertEqual(after["upgradecode"], before["upgradecode"])
        for code in ("productcode", "packagecode"):
            self.assertRegex(after[code], r"^\{[0-9A-F-]{36}\}$")
        for n in range(4):
            self.assertRegex(after["file%dcomponentguid" % n], r"^[0-9A-F-]{36}$")
            self.assertNotIn("file%did" % n, after)
        self.assertEqual(oracle.property_value(self.package, "ProductCode"), after["productcode"])
        # Every component is a file's but the one that removes the product's folders.
        components = {row[1] for row in oracle.export_table(self.package, "Component")
                      if row[0] != "ProductFolders"}
        self.assertEqual(components, {"{%s}" % after["file%dcomponentguid" % n] for n in range(4)})

        # The next build uses them: the same product and component GUIDs; the package is a new
        # package with a package code of its own.
        self.assertEqual(self.build(options=["--write-back"]).returncode, 0)
        again = self.project_keys()
        self.assertNotEqual(again.pop("packagecode"), after.pop("packagecode"))
        self.assertEqual(again, after)
        self.assertEqual(oracle.property_value(self.package, "ProductCode"), after["productcode"])

    def test_build_without_write_back_leaves_the_project_file(self):
        with open(self.project, "rb") as f:
            before = f.read()
        self.assertEqual(self.build().returncode, 0)
        with open(self.project, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_options_before_or_after_the_project_file(self):
        for args in (["--jobs", "2", "--write-back", self.project],
                     ["--jobs", "1", self.project, "--write-back"]):
            result = subprocess.run([CLI, "build", *args], capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertRegex(self.project_keys()["productcode"], r"^\{[0-9A-F-]{36}\}$")
        for args in (["--jobs", self.project], [self.project, self.project], ["--write-back"]):
            result = subprocess.run([CLI, "build", *args], capture_output=True, text=True)
            self.assertEqual(result.returncode, 2, args)

    def test_a_gap_in_the_numbering_is_named_and_the_build_goes_on(self):
        self.edit_project("file1path=files/readme.txt\r\n", "")
        result = self.build()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr,
                         "kitbinder-cli: warning: %s stops at file1path, so these keys are "
                         "ignored: file1shortcuticon, file1shortcutname, file2path, file3path\n"
                         % self.project)
        self.assertEqual(len(oracle.export_table(self.package, "File")), 1)

    def test_write_back_only_after_a_successful_build(self):
        with open(self.project, "rb") as f:
            before = f.read()
        self.edit_project("file2path=files/settings.ini", "file2path=files/nowhere.ini")
        with open(self.project, "rb") as f:
            broken = f.read()
        self.failure(self.build(options=["--write-back"]))
        with open(self.project, "rb") as f:
            self.assertEqual(f.read(), broken)

        # A project file the user made read-only is not replaced; the package stands.
        with open(self.project, "wb") as f:
            f.write(before)
        os.chmod(self.project, 0o444)
        result = self.build(options=["--write-back"])
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith("\nMSI Creation complete\n"), result.stdout)
        self.assertIn(self.project + " is read-only", result.stderr)
        self.assertEqual(len(oracle.export_table(self.package, "File")), 4)
        with open(self.project, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertEqual(os.stat(self.project).st_mode & 0o777, 0o444)

    def failure(self, result):
        """The lines of a failed build's message, which goes to standard error, checking that
        it failed as a build (exit code 1) and that standard output carries no message."""
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertNotIn(FAILED, result.stdout)
        self.assertNotIn("MSI Creation complete", result.stdout)
        return result.stderr.rstrip("\n").split("\n")

    def folder_listing(self):
        return sorted(os.listdir(self.project_dir))

    def package_bytes(self):
        with open(self.package, "rb") as f:
            return f.read()

    def test_no_files(self):
        for n in range(4):
            self.edit_project("file%dpath=" % n, "gone%dpath=" % n)
        result = self.build()
        # The keys of the files that remain are named, as a reader never reaches them.
        warning, message = self.failure(result)
        self.assertIn("stops at file0path, so these keys are ignored: file0setkdir", warning)
        self.assertEqual(message, "No files in package")
        self.assertFalse(os.path.exists(self.package))

    def test_unreadable_project_is_bad_input(self):
        missing = os.path.join(self.dir, "missing.kbr")
        utf16 = os.path.join(self.dir, "utf16.kbr")
        with open(self.project, encoding="utf-8") as f, open(utf16, "w", encoding="utf-16") as out:
            out.write(f.read())
        pipe = os.path.join(self.dir, "pipe.kbr")
        os.mkfifo(pipe)
        for project, cause in ((missing, "cannot be opened (No such file or directory)"),
                               (self.project_dir, "is a folder"), (utf16, "is UTF-16 text"),
                               (pipe, "is a pipe, socket or device, not a file")):
            result = subprocess.run([CLI, "build", project], capture_output=True, text=True,
                                    timeout=60)
            self.assertEqual(result.returncode, 2, project)
            self.assertIn(project, result.stderr)
            self.assertIn(cause, result.stderr)

    def test_missing_template(self):
        lonely = os.path.join(self.dir, "bin")
        os.mkdir(lonely)
        shutil.copy(CLI, lonely)
        result = self.build(cli=os.path.join(lonely, os.path.basename(CLI)))
        lines = self.failure(result)
        self.assertEqual(lines[:2], [FAILED, "Error creating blank msi"])
        self.assertIn(os.path.join(lonely, "template-en.msi") + " (No such file", lines[2])

    def test_folder_in_the_packages_place(self):
        os.mkdir(self.package)
        lines = self.failure(self.build())
        self.assertEqual(lines[:2], [FAILED, "Error creating blank msi"])
        self.assertIn(self.package + " is a folder", lines[2])
        self.assertEqual(os.listdir(self.package), [])
        self.assertEqual(self.folder_listing(), ["Sample Tool.msi", "app.ico", "banner.jpg",
                                                 "files", "licence.rtf", "sample.kbr"])

    def build_as_nobody(self, project_folder_mode):
        """Builds as a user without privileges (root writes and reads anything), with the
        project folder's permission bits set to `project_folder_mode`."""
        def drop_privileges():
            if os.geteuid() == 0:
                os.setgid(65534)
                os.setuid(65534)
        unreachable = needs.unreachable_by_nobody(CLI)
        if unreachable:
            self.skipTest(unreachable)
        os.chmod(self.dir, 0o755)
        os.chmod(self.project_dir, project_folder_mode)
        return subprocess.run([CLI, "build", self.project], capture_output=True, text=True,
                              preexec_fn=drop_privileges)

    def test_read_only_project_folder(self):
        lines = self.failure(self.build_as_nobody(0o755))
        self.assertEqual(lines[:2], [FAILED, "Error creating blank msi"])
        self.assertEqual(lines[2], "Cannot create a file in the project folder %s (Permission "
                                   "denied): make the folder writable, or move the project"
                         % self.project_dir)

    def test_unreadable_source_file_is_named(self):
        os.chmod(os.path.join(self.project_dir, "files", "settings.ini"), 0)
        lines = self.failure(self.build_as_nobody(0o777))
        self.assertEqual(lines[:3], [
            FAILED, "Cab file creation failed : FCIAddFile() failed: code 1 "
                    "[Failure opening file to be stored in cabinet]",
            "Cannot read files/settings.ini (Permission denied): make it readable or remove it "
            "from the project"])
        self.assertFalse(os.path.exists(self.package))

    def test_missing_source_file(self):
        self.edit_project("file2path=files/settings.ini", "file2path=files/nowhere.ini")
        lines = self.failure(self.build())
        self.assertEqual(lines, [FAILED, "Failed to add file files/nowhere.ini: it does not exist "
                                         "(No such file or directory); correct its path or "
                                         "remove it from the project"])

    def test_source_that_is_no_file(self):
        # A folder is a folder row; a pipe would never end.
        os.mkfifo(os.path.join(self.project_dir, "files", "pipe"))
        self.edit_project("file2path=files/settings.ini", "file2path=files/pipe")
        lines = self.failure(self.build())
        self.assertEqual(lines, [FAILED, "Failed to add file files/pipe: it is not a file but a "
                                         "pipe, socket or device; correct its path or remove it "
                                         "from the project"])
        self.assertFalse(os.path.exists(self.package))

    def test_package_that_cannot_be_opened(self):
        # A template that is no database is copied, but the copy cannot be opened.
        bogus = os.path.join(self.dir, "bin")
        os.mkdir(bogus)
        shutil.copy(CLI, bogus)
        template = os.path.join(bogus, "template-en.msi")
        with open(template, "wb") as f:
            f.write(b"not an installer database" * 100)
        lines = self.failure(self.build(cli=os.path.join(bogus, os.path.basename(CLI))))
        self.assertEqual(lines[:2], [FAILED, "The package could not be opened as an installer "
                                             "database"])
        self.assertIn(template, lines[2])
        self.assertNotIn("Sample Tool.msi", self.folder_listing())

    def test_text_outside_the_code_page(self):
        self.edit_project("title=Sample Tool", "title=\u30b5\u30f3\u30d7\u30eb")
        lines = self.failure(self.build())
        self.assertEqual(lines[0], FAILED)
        self.assertIn("\u30b5\u30f3\u30d7\u30eb", lines[1])

    def test_a_failed_build_keeps_the_last_package(self):
        self.assertEqual(self.build().returncode, 0)
        good = self.package_bytes()
        listing = self.folder_listing()
        self.edit_project("file2path=files/settings.ini", "file2path=files/nowhere.ini")
        self.failure(self.build())
        self.assertEqual(self.package_bytes(), good)
        self.assertEqual(self.folder_listing(), listing)

    def test_a_file_named_like_the_cabinet_is_the_users(self):
        # A file of the user's named as the cabinet used to be, listed in the project: it is
        # packed with its own bytes and left alone.
        mine = os.path.join(self.project_dir, "Install1.cab")
        data = b"the user's own bytes\n" * 300
        with open(mine, "wb") as f:
            f.write(data)
        self.edit_project("file3path=files/manual.txt\r\n[icons]",
                          "file3path=files/manual.txt\r\nfile4path=Install1.cab\r\n[icons]")
        result = self.build()
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(mine, "rb") as f:
            self.assertEqual(f.read(), data)
        rows = {row[2].split("|")[1]: row for row in oracle.export_table(self.package, "File")}
        self.assertEqual(int(rows["Install1.cab"][3]), len(data))
        cab = tempfile.mkdtemp(dir=self.dir)
        oracle.extract_cabinet(self.package, cab)
        with open(os.path.join(cab, rows["Install1.cab"][0]), "rb") as f:
            self.assertEqual(f.read(), data)

    def test_two_builds_in_one_folder_at_once(self):
        # Each package holds its own project's files, whatever the other build does meanwhile.
        projects = {}
        for name in ("One", "Two"):
            data = os.urandom(1500000)
            with open(os.path.join(self.project_dir, name + ".bin"), "wb") as f:
                f.write(data)
            project = os.path.join(self.project_dir, name + ".kbr")
            with open(project, "w", encoding="utf-8") as f:
                f.write("[properties]\ntitle=%s\n[files]\nfile0path=%s.bin\n" % (name, name))
            projects[name] = (project, data)
        runs = {name: subprocess.Popen([CLI, "build", project], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.PIPE, text=True)
                for name, (project, _) in projects.items()}
        for name, run in runs.items():
            self.assertEqual(run.wait(), 0, run.stderr.read())
            run.stderr.close()
        for name, (_, data) in projects.items():
            cab = tempfile.mkdtemp(dir=self.dir)
            files = oracle.extract_cabinet(os.path.join(self.project_dir, name + ".msi"), cab)
            self.assertEqual(len(files), 1)
            with open(os.path.join(cab, files[0]), "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertFalse([n for n in self.folder_listing() if n.endswith(".cab")])

    def add_large_file(self):
        """Adds 60 MB of random data to the project, so that its build takes a while."""
        with open(os.path.join(self.project_dir, "files", "large.bin"), "wb") as f:
            for _ in range(60):
                f.write(os.urandom(1 << 20))
        self.edit_project("file3path=files/manual.txt\r\n",
                          "file3path=files/manual.txt\r\nfile4path=files/large.bin\r\n")

    def end_build_while_packing(self, how, environment):
        """Starts a build and ends it by signal `how` once its cabinet's progress shows that
        both its own files are made; returns their names."""
        run = subprocess.Popen([CLI, "build", self.project], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=environment)
        progress = b""
        while b"Compressing:" not in progress and run.poll() is None:
            progress += run.stdout.read(1)
        own = [n for n in os.listdir(self.project_dir)
               if n.startswith((".Install-", ".Sample Tool.msi."))]
        run.send_signal(how)
        self.assertEqual(run.wait(timeout=60), -how)
        run.stdout.close()
        self.assertEqual(len(own), 2, progress)
        return own

    def test_a_killed_build_leaves_no_files_of_its_own(self):
        # Ended by a signal while it packs a large file, the build removes its hidden package
        # and cabinet from the project folder, and the cabinet writer's staging files from
        # TMPDIR.
        self.add_large_file()
        listing = self.folder_listing()
        staging = os.path.join(self.dir, "staging")
        os.mkdir(staging)
        self.end_build_while_packing(signal.SIGTERM, dict(os.environ, TMPDIR=staging))
        self.assertEqual(self.folder_listing(), listing)
        self.assertEqual(os.listdir(staging), [])

    def test_the_next_build_removes_what_a_killed_build_left(self):
        # SIGKILL runs no handler: the staging files have no name, and the hidden package and
        # cabinet left in the project folder say whose they are, so the next build there
        # removes them. Staging goes into the project folder when TMPDIR and TMP are unset.
        self.add_large_file()
        listing = self.folder_listing()
        environment = {k: v for k, v in os.environ.items() if k not in ("TMPDIR", "TMP")}
        for _ in range(2):
            own = self.end_build_while_packing(signal.SIGKILL, environment)
            self.assertEqual(self.folder_listing(), sorted(listing + own))
        result = subprocess.run([CLI, "build", self.project], capture_output=True, env=environment,
                                timeout=600)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.folder_listing(), sorted(listing + ["Sample Tool.msi"]))

    def test_full_disk_is_never_reported_as_success(self):
        # With the file size limited at many points, every build either succeeds with a whole
        # package or fails with a message saying why, leaving the last package as it was and
        # no file of its own behind; none claims success for a partial package.
        self.assertEqual(self.build().returncode, 0)
        listing = self.folder_listing()
        outcomes = set()
        for limit in range(20000, 70000, 2000):
            before = self.package_bytes()
            result = self.build(limit=limit)
            if result.returncode == 0:
                outcomes.add("built")
                self.assertEqual(len(oracle.export_table(self.package, "File")), 4, limit)
                self.assertEqual(len(oracle.export_table(self.package, "Shortcut")), 2, limit)
                self.assertTrue(oracle.extract_stream(self.package, "Instal01.cab"))
            else:
                lines = self.failure(result)
                self.assertGreaterEqual(len(lines), 3, (limit, lines))
                self.assertEqual(self.package_bytes(), before, limit)
                outcomes.add(lines[1])
            self.assertEqual(self.folder_listing(), listing, limit)
        # The limits reach every stage: the template copy, the stream, the commits after it,
        # and none at all.
        self.assertEqual(outcomes, {
            "built", "Error creating blank msi", "The cabinet could not be stored in the package",
            "The package could not be written completely (disk full or write error)"})


if __name__ == "__main__":
    CLI, SOURCE_DIR = sys.argv[1], sys.argv[2]
    needs.require("msiinfo", "cabextract")
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
