"""`kitbinder-cli build` in a pipeline: --set overrides that leave the project file alone and
are checked like the project's own values, --output, and signing with a certificate of a test
authority made here with openssl (osslsigncode verifies against it; Wine installs the signed
package).

usage: pipeline_test.py KITBINDER_CLI SOURCE_DIR [unittest arguments]
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

CLI = None
SOURCE_DIR = None
TITLE = "Sample Tool"


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


class PipelineTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbpipe.")
        self.project_dir = os.path.join(self.dir, "sample")
        shutil.copytree(os.path.join(SOURCE_DIR, "examples", "sample"), self.project_dir)
        self.project = os.path.join(self.project_dir, "sample.kbr")
        self.package = os.path.join(self.project_dir, TITLE + ".msi")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def build(self, *options, env=None):
        return subprocess.run([CLI, "build", self.project, *options], capture_output=True,
                              text=True, env=env)

    def project_bytes(self):
        return read(self.project)

    def test_overrides_apply_to_one_build_and_are_checked(self):
        before = self.project_bytes()
        self.assertEqual(self.build().returncode, 0)
        first_code = oracle.property_value(self.package, "ProductCode")
        result = self.build("--set", "version=2.0.0", "--set", "Comments=from the pipeline")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(oracle.property_value(self.package, "ProductVersion"), "2.0.0")
        self.assertNotEqual(oracle.property_value(self.package, "ProductCode"), first_code)
        self.assertIn("from the pipeline", oracle.suminfo(self.package))
        self.assertEqual(self.project_bytes(), before)
        # Refused before anything is built, naming the key.
        last = read(self.package)
        for setting, reason in [("version=abc", "--set version=abc: "),
                                ("colour=red", "--set colour=red: there is no such key"),
                                ("upgradecode=nope", "--set upgradecode=nope: is not a GUID"),
                                ("title=a:b", "--set title=a:b: the title"),
                                ("platform=arm", "--set platform=arm: is not x86 or x64"),
                                ("novalue", "--set needs KEY=VALUE")]:
            result = self.build("--set", setting)
            self.assertEqual(result.returncode, 2, setting)
            self.assertIn(reason, result.stderr, setting)
        self.assertEqual(read(self.package), last)
        self.assertEqual(self.project_bytes(), before)

    def test_write_back_keeps_an_override(self):
        self.assertEqual(self.build("--set", "version=3.1.0", "--write-back").returncode, 0)
        self.assertIn("version=3.1.0\n", read(self.project, "r"))

    def sources(self):
        """The sample's files by name: what each level's cabinet must give back."""
        files = os.path.join(self.project_dir, "files")
        return {name: read(os.path.join(files, name)) for name in os.listdir(files)}

    def test_every_compression_gives_back_the_files(self):
        for level in ("none", "fast", "normal", "best", "lzx"):
            result = self.build("--compression", level)
            self.assertEqual(result.returncode, 0, level + result.stderr)
            folder = tempfile.mkdtemp(dir=self.dir)
            oracle.extract_cabinet(self.package, folder)
            file_names = {row[0]: row[2].split("|")[-1]
                          for row in oracle.export_table(self.package, "File")}
            extracted = {file_names[key]: read(os.path.join(folder, key)) for key in file_names}
            self.assertEqual(extracted, self.sources(), level)
        result = self.build("--compression", "zip")
        self.assertEqual(result.returncode, 2)
        self.assertIn("compression=zip: is none of best, normal, fast, none and lzx", result.stderr)

    def test_source_date_epoch_codes_follow_every_key(self):
        """Keys added after the first reproducible builds change the codes too."""
        edits = [("", ""), ("[properties]", "addtopath=true"),
                 ("[properties]", "externalcabinets=true"),
                 ("[files]", "file0launchonexit=true"), ("[files]", "file2extensions=.ini")]
        codes = set()
        for number, (section, line) in enumerate(edits):
            result, package = self.build_copy("keys%d" % number, "1700000000", 0o022, "UTC",
                                              1000000000, (section, line))
            self.assertEqual(result.returncode, 0, line + result.stderr)
            codes.add(oracle.suminfo(package).split("Revision number (UUID): ")[1].split()[0])
        self.assertEqual(len(codes), len(edits))

    def build_copy(self, folder, epoch, umask, tz, mtime, edit=("", "")):
        """Builds a copy of the sample in `folder` with its files dated `mtime`, the line
        edit[1] added after the section header edit[0] of its project file."""
        project_dir = os.path.join(self.dir, folder)
        shutil.copytree(os.path.join(SOURCE_DIR, "examples", "sample"), project_dir)
        if edit[0]:
            project = os.path.join(project_dir, "sample.kbr")
            text = read(project, "r").replace(edit[0] + "\n", edit[0] + "\n" + edit[1] + "\n")
            with open(project, "w") as out:
                out.write(text)
        for name in os.listdir(os.path.join(project_dir, "files")):
            path = os.path.join(project_dir, "files", name)
            os.chmod(path, 0o666 & ~umask)  # as files made under that umask are
            os.utime(path, (mtime, mtime))
        env = dict(os.environ, TZ=tz)
        env.pop("SOURCE_DATE_EPOCH", None)
        if epoch is not None:
            env["SOURCE_DATE_EPOCH"] = epoch
        result = subprocess.run([CLI, "build", os.path.join(project_dir, "sample.kbr")],
                                capture_output=True, text=True, env=env,
                                preexec_fn=lambda: os.umask(umask))
        return result, os.path.join(project_dir, TITLE + ".msi")

    def test_source_date_epoch_gives_the_same_bytes(self):
        first = self.build_copy("one", "1700000000", 0o022, "UTC", 1000000000)
        second = self.build_copy("elsewhere/two", "1700000000", 0o077, "Asia/Tokyo", 1600000000)
        self.assertEqual((first[0].returncode, second[0].returncode), (0, 0), first[0].stderr)
        self.assertEqual(read(first[1]), read(second[1]))
        # Without it, each build is a new package.
        third = self.build_copy("three", None, 0o022, "UTC", 1000000000)
        fourth = self.build_copy("four", None, 0o022, "UTC", 1000000000)
        codes = {oracle.suminfo(package).split("Revision number (UUID): ")[1].split()[0]
                 for package in (first[1], third[1], fourth[1])}
        self.assertEqual(len(codes), 3)
        result, package = self.build_copy("five", "yesterday", 0o022, "UTC", 1000000000)
        self.assertEqual(result.returncode, 1)
        self.assertIn('SOURCE_DATE_EPOCH is "yesterday"', result.stderr)
        self.assertFalse(os.path.exists(package))

    def test_output_writes_there_and_nowhere_else(self):
        listing = sorted(os.listdir(self.project_dir))
        out_dir = os.path.join(self.dir, "out")
        os.mkdir(out_dir)
        target = os.path.join(out_dir, "release.msi")
        result = self.build("--output", target)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(out_dir)), ["release.msi"])
        self.assertEqual(sorted(os.listdir(self.project_dir)), listing)
        self.assertEqual(oracle.property_value(target, "ProductName"), TITLE)


class SigningTest(unittest.TestCase):
    """A certificate authority and a publisher's certificate made with openssl."""

    @classmethod
    def setUpClass(cls):
        needs.require("osslsigncode")
        cls.keys = tempfile.mkdtemp(prefix="kbkeys.")
        commands = [
            "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2"
            " -subj '/CN=Kitbinder Test CA'",
            "openssl req -newkey rsa:2048 -nodes -keyout leaf.key -out leaf.csr"
            " -subj '/CN=Kitbinder Test Publisher'",
            "openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
            " -out leaf.pem -days 2",
            "openssl pkcs12 -export -inkey leaf.key -in leaf.pem -certfile ca.pem -out leaf.p12"
            " -passout pass:s3cret",
        ]
        for command in commands:
            subprocess.run(command, shell=True, cwd=cls.keys, check=True, capture_output=True)
        with open(os.path.join(cls.keys, "password"), "w") as f:
            f.write("s3cret\n")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.keys, ignore_errors=True)

    setUp = PipelineTest.setUp
    tearDown = PipelineTest.tearDown
    build = PipelineTest.build

    def key(self, name):
        return os.path.join(self.keys, name)

    def verify(self):
        return subprocess.run(["osslsigncode", "verify", "-CAfile", self.key("ca.pem"), "-in",
                               self.package], capture_output=True, text=True)

    def test_signed_package_verifies_and_failures_keep_the_last_package(self):
        result = self.build("--sign", self.key("leaf.p12"), "--sign-password-file",
                            self.key("password"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.verify().returncode, 0, self.verify().stdout)
        # The password from the environment, the certificate from the project file.
        text = read(self.project, "r").replace(
            "[properties]\n", "[properties]\nsigncertificate=%s\n" % self.key("leaf.p12"), 1)
        with open(self.project, "w") as f:
            f.write(text)
        env = dict(os.environ, KITBINDER_SIGN_PASSWORD="s3cret")
        self.assertEqual(self.build(env=env).returncode, 0)
        self.assertEqual(self.verify().returncode, 0)
        signed = read(self.package)
        listing = sorted(os.listdir(self.project_dir))
        for options, env, reason in [
                ([], dict(os.environ, KITBINDER_SIGN_PASSWORD="wrong"), "leaf.p12"),
                (["--sign", self.key("missing.p12")], None, "missing.p12 cannot be opened")]:
            result = self.build(*options, env=env)
            self.assertEqual(result.returncode, 1, options)
            self.assertIn(reason, result.stderr, options)
            self.assertEqual(read(self.package), signed)
            self.assertEqual(sorted(os.listdir(self.project_dir)), listing)
        self.assertNotIn("s3cret", read(self.project, "r"))

    def test_signed_lzx_package_installs_under_wine(self):
        needs.require("wine")
        env = dict(os.environ, KITBINDER_SIGN_PASSWORD="s3cret")
        result = self.build("--sign", self.key("leaf.p12"), "--compression", "lzx", env=env)
        self.assertEqual(result.returncode, 0, result.stderr)
        with oracle.WinePrefix() as wine:
            self.assertEqual(wine.msiexec("/i", self.package, "/qn"), 0)
            installed = {name: read(wine.program_files(TITLE, name))
                         for name in PipelineTest.sources(self)}
            self.assertEqual(installed, PipelineTest.sources(self))
            self.assertEqual(wine.msiexec("/x", self.package, "/qn"), 0)
            self.assertFalse(os.path.exists(wine.program_files(TITLE)))


if __name__ == "__main__":
    CLI, SOURCE_DIR = sys.argv[1], sys.argv[2]
    needs.require("msiinfo")
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[3:])
