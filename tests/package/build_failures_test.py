"""How `kitbinder-cli build` fails: each failure gives its text and exit code and leaves the
project folder as it should, and no failure is ever reported as a finished package.

usage: build_failures_test.py KITBINDER_CLI SOURCE_DIR
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

CLI = None
SOURCE_DIR = None
FAILED = "An error occurred during MSI Creation."


class BuildFailureTest(unittest.TestCase):
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

    def build(self, cli=None, limit=None):
        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        return subprocess.run([cli or CLI, "build", self.project], capture_output=True, text=True,
                              preexec_fn=limit_file_size if limit else None)

    def last_lines(self, result, count):
        return result.stdout.rstrip("\n").split("\n")[-count:]

    def test_no_files(self):
        for n in range(4):
            self.edit_project("file%dpath=" % n, "gone%dpath=" % n)
        result = self.build()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout.strip(), "No files in package")
        self.assertFalse(os.path.exists(self.package))

    def test_unreadable_project_is_bad_input(self):
        result = subprocess.run([CLI, "build", os.path.join(self.dir, "missing.kbr")],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 2)
        self.assertIn("missing.kbr", result.stderr)

    def test_missing_template(self):
        lonely = os.path.join(self.dir, "bin")
        os.mkdir(lonely)
        shutil.copy(CLI, lonely)
        result = self.build(cli=os.path.join(lonely, os.path.basename(CLI)))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.last_lines(result, 2), [FAILED, "Error creating blank msi"])

    def test_missing_source_file(self):
        self.edit_project("file2path=files/settings.ini", "file2path=files/nowhere.ini")
        result = self.build()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.last_lines(result, 2), [FAILED, "Failed to add file files/nowhere.ini"])
        # The package is the unedited template copy.
        self.assertEqual(oracle.export_table(self.package, "File"), [])

    def test_cabinet_failure(self):
        # A folder passes the existence check but cannot be packed.
        self.edit_project("file2path=files/settings.ini", "file2path=files")
        result = self.build()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.last_lines(result, 2), [
            FAILED, "Cab file creation failed : FCIAddFile() failed: code 1 "
                    "[Failure opening file to be stored in cabinet]"])
        self.assertEqual(oracle.export_table(self.package, "File"), [])

    def test_package_that_cannot_be_opened(self):
        # A template that is no database is copied, but the copy cannot be opened: the build
        # fails with no text of its own, and the cabinet is removed all the same.
        bogus = os.path.join(self.dir, "bin")
        os.mkdir(bogus)
        shutil.copy(CLI, bogus)
        with open(os.path.join(bogus, "template-en.msi"), "wb") as f:
            f.write(b"not an installer database" * 100)
        result = self.build(cli=os.path.join(bogus, os.path.basename(CLI)))
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stdout.endswith("\n" + FAILED + "\n\n"), result.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.project_dir, "Install1.cab")))

    def test_text_outside_the_code_page(self):
        self.edit_project("title=Sample Tool", "title=\u30b5\u30f3\u30d7\u30eb")
        result = self.build()
        self.assertEqual(result.returncode, 1)
        self.assertEqual(self.last_lines(result, 2)[0], FAILED)
        self.assertIn("\u30b5\u30f3\u30d7\u30eb", self.last_lines(result, 1)[0])
        self.assertFalse(os.path.exists(os.path.join(self.project_dir, "Install1.cab")))

    def test_full_disk_is_never_reported_as_success(self):
        # With the file size limited at many points, every build either succeeds with a whole
        # package or fails with a message; none claims success for a partial package.
        outcomes = set()
        for limit in range(20000, 70000, 2000):
            result = self.build(limit=limit)
            if result.returncode == 0:
                outcomes.add("built")
                self.assertEqual(len(oracle.export_table(self.package, "File")), 4, limit)
                self.assertEqual(len(oracle.export_table(self.package, "Shortcut")), 2, limit)
                self.assertTrue(oracle.extract_stream(self.package, "Instal01.cab"))
            else:
                self.assertEqual(result.returncode, 1)
                self.assertIn(FAILED, result.stdout, limit)
                unfinished = "could not be written completely" in result.stdout
                outcomes.add("unfinished" if unfinished else "failed")
            self.assertFalse(os.path.exists(os.path.join(self.project_dir, "Install1.cab")), limit)
        # The limits reach every stage: the template copy or cabinet, the commits after the
        # cabinet is stored, and none at all.
        self.assertEqual(outcomes, {"built", "failed", "unfinished"})


if __name__ == "__main__":
    CLI, SOURCE_DIR = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
