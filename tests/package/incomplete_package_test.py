"""`kitbinder-cli build` never reports a package built that lacks a row it needs: with templates
that miss a table or a row (changed with msibuild), each build fails naming the row, and no
package is left behind.

usage: incomplete_package_test.py KITBINDER_CLI SOURCE_DIR
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

CLI = None
SOURCE_DIR = None
FAILED = "An error occurred during MSI Creation."


class IncompletePackageTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbincomplete.")
        self.project_dir = os.path.join(self.dir, "sample")
        shutil.copytree(os.path.join(SOURCE_DIR, "examples", "sample"), self.project_dir)
        self.project = os.path.join(self.project_dir, "sample.kbr")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def build_with_template(self, statement, noquestions=False):
        """Builds the sample (with no questions when asked) with a template changed by the SQL
        `statement`; returns the lines of the failure."""
        bin_dir = tempfile.mkdtemp(dir=self.dir)
        cli = os.path.join(bin_dir, os.path.basename(CLI))
        shutil.copy(CLI, cli)
        template = os.path.join(bin_dir, "template-en.msi")
        shutil.copy(os.path.join(os.path.dirname(CLI), "template-en.msi"), template)
        subprocess.run(["msibuild", template, "-q", statement], check=True)
        with open(self.project, encoding="utf-8") as f:
            text = f.read()
        with open(self.project, "w", encoding="utf-8") as f:
            f.write(text.replace("noquestions=false", "noquestions=%s" % str(noquestions).lower()))
        result = subprocess.run([cli, "build", self.project], capture_output=True, text=True)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertNotIn("MSI Creation complete", result.stdout)
        self.assertEqual(sorted(os.listdir(self.project_dir)),
                         ["app.ico", "banner.jpg", "files", "licence.rtf", "sample.kbr"])
        lines = result.stderr.rstrip("\n").split("\n")
        self.assertEqual(lines[0], FAILED)
        self.assertIn(template, lines[2])
        return lines[1]

    def test_a_statement_that_fails_fails_the_build_naming_its_row(self):
        for statement, row in [
                ("DROP TABLE `Shortcut`", "Shortcut row of files/Sample Tool.exe"),
                ("DROP TABLE `Icon`", "Icon row of app.ico"),
                ("DROP TABLE `FeatureComponents`",
                 "FeatureComponents row that removes the product's folders"),
                ("DROP TABLE `File`", "File row of files/Sample Tool.exe"),
                ("DELETE FROM `Control` WHERE `Control`='EulaForm_LicenseText'",
                 "licence licence.rtf"),
                ("DELETE FROM `Binary` WHERE `Name`='BannerBitmap'", "banner banner.jpg")]:
            self.assertIn(row, self.build_with_template(statement), statement)

    def test_an_edit_that_changes_nothing_is_found_when_read_back(self):
        for statement, lacking, noquestions in [
                ("DELETE FROM `Property` WHERE `Property`='ProductCode'", "property ProductCode",
                 False),
                ("DELETE FROM `Property` WHERE `Property`='WelcomeForm_NextArgs'",
                 "property WelcomeForm_NextArgs", False),
                ("DELETE FROM `InstallUISequence` WHERE `Action`='WelcomeForm'", "welcome dialog",
                 True)]:
            self.assertIn(lacking, self.build_with_template(statement, noquestions), statement)


if __name__ == "__main__":
    CLI, SOURCE_DIR = sys.argv[1], sys.argv[2]
    needs.require("msibuild")
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
