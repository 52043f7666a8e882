"""`kitbinder-cli build` refuses a project whose package Windows would not install, or would
install other than the project lists, before it writes anything: each problem on a line of its
own naming the value, field or source path, the project folder left as it was.

usage: project_checks_test.py KITBINDER_CLI SOURCE_DIR
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = None
SOURCE_DIR = None
FAILED = "An error occurred during MSI Creation."


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def value(text):
    """A project file's value for `text`: quoted when blanks lead or end it, which a profile
    reader would drop."""
    return '"%s"' % text if text != text.strip(" ") else text


def listing(folder):
    return sorted(os.path.relpath(os.path.join(root, name), folder)
                  for root, dirs, files in os.walk(folder) for name in dirs + files)


class ProjectChecksTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kbcheck.")
        self.folder = os.path.join(self.dir, "project")
        self.icon = os.path.join(SOURCE_DIR, "examples", "sample", "app.ico")
        write(os.path.join(self.folder, "tool.exe"), b"MZ" + bytes(100))

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def refused(self, properties, files=(), icons=()):
        """Builds a project made of `properties` (a dict of property keys), `files` (one dict of file keys
        each) and `icons` (paths); returns the problems, one a line, checking that the build
        failed and wrote nothing, in the project folder or beside it."""
        lines = ["[properties]"] + [key + "=" + value(text) for key, text in properties.items()]
        lines += ["[files]"]
        for n, entry in enumerate(files):
            lines += ["file%d%s=%s" % (n, key, value(text)) for key, text in entry.items()]
        lines += ["[icons]"] + ["icon%dpath=%s" % (n, path) for n, path in enumerate(icons)]
        project = os.path.join(self.folder, "project.kbr")
        write(project, "\r\n".join(lines) + "\r\n")
        before = listing(self.dir)
        result = subprocess.run([CLI, "build", project], capture_output=True, text=True)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(result.stdout.strip(), "", "nothing was packed")
        self.assertEqual(listing(self.dir), before)
        errors = result.stderr.rstrip("\n").split("\n")
        self.assertEqual(errors[0], FAILED)
        return errors[1:]

    def assertProblems(self, problems, expected):
        """Each expected problem is a tuple of texts that one line holds all of, and each line
        is one expected problem."""
        self.assertEqual(len(problems), len(expected), "\n".join(problems))
        for texts in expected:
            self.assertTrue([p for p in problems if all(t in p for t in texts)],
                            "%s not in\n%s" % (texts, "\n".join(problems)))

    def test_every_problem_is_found_at_once(self):
        write(os.path.join(self.folder, "tree", "a.txt"), b"a")
        problems = self.refused(
            {"title": "Tool?", "version": "1.x", "eulafile": "missing.rtf",
             "bannerfile": "missing.jpg", "compression": "zip", "upgradecode": "nope"},
            [{"path": "tool.exe"}, {"path": "gone.txt"}, {"path": "tree/bad|name"}])
        self.assertProblems(problems, [
            ("title", 'holds "?"'), ('version "1.x"', "major.minor.build"),
            ('compression "zip"', "choose one"),
            ("Failed to add file gone.txt: it does not exist", "correct its path"),
            ("Failed to add file tree/bad|name", "does not exist"),
            ('file name "bad|name"', "rename the file"),
            ('upgrade code "nope"', "is not a GUID"), ("licence file missing.rtf", "or none"),
            ("banner missing.jpg", "or none")])

    def test_titles_that_name_no_file_or_folder_on_windows(self):
        for title, cause in [("", "is empty"), (".", "ends in a dot"), ("..", "ends in a dot"),
                             ("../Escape", 'holds "/"'), ("a\\b", 'holds "\\"'),
                             ("Tool:2", 'holds ":"'), ("What?", 'holds "?"'),
                             ("Tool ", "ends in a dot or a space"), ("con", "Windows device"),
                             ("LPT1.old", "Windows device"), ("x" * 250, "longer than 243 bytes")]:
            problems = self.refused({"title": title},
                                    [{"path": "tool.exe", "shortcutname": "Tool"}])
            self.assertProblems(problems, [("title", cause, "change it")])
            self.assertIn('"%s"' % title if title else "The title is empty", problems[0])

    def test_file_names_windows_cannot_create_or_tell_apart(self):
        names = ["con.txt", "NUL", "aux", "Com1.log", "lpt9", "com\u00b9.txt", "dot.", "blank ",
                 "a:b.txt", "q?.txt", "star*.txt", "pipe|.txt", 'quote".txt', "lt<.txt",
                 "gt>.txt", "back\\slash.txt", "tab\t.txt", "conin$", "CONOUT$.txt", "Clock$.log"]
        for name in names:
            write(os.path.join(self.folder, "bad", name), b"x")
        write(os.path.join(self.folder, "a", "readme.txt"), b"a")
        write(os.path.join(self.folder, "b", "README.TXT"), b"b")
        write(os.path.join(self.folder, "c", "\u00e9t\u00e9.txt"), b"c")
        write(os.path.join(self.folder, "d", "\u00c9T\u00c9.TXT"), b"d")
        files = [{"path": "bad/" + name} for name in names] + [
            {"path": "a/readme.txt"}, {"path": "b/README.TXT"},
            {"path": "c/\u00e9t\u00e9.txt"}, {"path": "d/\u00c9T\u00c9.TXT"}]
        problems = self.refused({"title": "Tool"}, files)
        self.assertProblems(problems, [("bad/" + name, "rename the file") for name in names] + [
            ("a/readme.txt and b/README.TXT", "one name"),
            ("c/\u00e9t\u00e9.txt and d/\u00c9T\u00c9.TXT", "one name")])

    def test_files_larger_than_a_cabinet_holds(self):
        # Sparse files: refused from their size before anything is read. 2,147,450,880 bytes
        # (65,535 blocks of 32 KB) is the most one cabinet folder holds.
        for name, size in [("limit.bin", 2147450880), ("over.bin", 2147450881),
                           ("huge.bin", 5 << 30)]:
            with open(os.path.join(self.folder, name), "wb") as f:
                f.truncate(size)
        problems = self.refused({"title": "Tool"}, [{"path": "limit.bin"}, {"path": "over.bin"},
                                                    {"path": "huge.bin"}])
        self.assertProblems(problems, [("over.bin holds 2147450881 bytes", "leave it out"),
                                       ("huge.bin holds 5368709120 bytes", "leave it out")])

    def test_codes_that_are_no_guids_and_shared_component_guids(self):
        write(os.path.join(self.folder, "two.exe"), b"2")
        write(os.path.join(self.folder, "three.exe"), b"3")
        problems = self.refused(
            {"title": "Tool", "productcode": "not-a-guid",
             "packagecode": "12345678123412341234123456789012",
             "upgradecode": "{12345678-1234-1234-1234-12345678901}"},
            [{"path": "tool.exe", "componentguid": "{{0F1E2D3C-4B5A-4697-8877-665544332211}}"},
             {"path": "two.exe", "componentguid": "{0f1e2d3c-4b5a-4697-8877-665544332211}"},
             {"path": "three.exe", "componentguid": "0F1E2D3C-4B5A-4697-8877-665544332211"}])
        self.assertProblems(problems, [
            ("product code", '"not-a-guid"', "is not a GUID", "leave it empty"),
            ("package code", '"12345678123412341234123456789012"', "is not a GUID"),
            ("upgrade code", '"{12345678-1234-1234-1234-12345678901}"', "is not a GUID"),
            ("component GUID of tool.exe", "{{0F1E2D3C", "is not a GUID"),
            ("two.exe and three.exe", "0F1E2D3C-4B5A-4697-8877-665544332211",
             "share the component GUID")])

    def test_icons_that_are_no_icons_or_share_a_name(self):
        os.makedirs(os.path.join(self.folder, "folder.ico"))
        write(os.path.join(self.folder, "text.ico"), "not an icon")
        write(os.path.join(self.folder, "empty.ico"), b"\0\0\1\0\0\0")
        shutil.copy(self.icon, os.path.join(self.folder, "app.ico"))
        os.makedirs(os.path.join(self.folder, "other"))
        shutil.copy(self.icon, os.path.join(self.folder, "other", "APP.ico"))
        icons = ["missing.ico", "folder.ico", "text.ico", "empty.ico", "app.ico", "other/APP.ico"]
        files = []
        for n, icon in enumerate(icons):
            write(os.path.join(self.folder, "t%d.exe" % n), b"MZ")
            files.append({"path": "t%d.exe" % n, "shortcutname": "T%d" % n, "shortcuticon": icon})
        # As in the desktop form, the icons are those the shortcuts name: a listed icon that no
        # file uses (missing here) is not checked, nor stored.
        problems = self.refused({"title": "Tool"}, files, ["unused.ico"])
        self.assertProblems(problems, [
            ("icon file missing.ico", "does not exist"),
            ("icon file folder.ico", "is a folder"),
            ("icon file text.ico", "is not an icon"),
            ("icon file empty.ico", "is not an icon"),
            ("app.ico and other/APP.ico", "one name")])

    def test_licences_and_banners_that_are_not_what_they_claim(self):
        os.makedirs(os.path.join(self.folder, "folder"))
        write(os.path.join(self.folder, "utf16.rtf"), "{\\rtf1 Licence}".encode("utf-16"))
        write(os.path.join(self.folder, "utf16be.txt"), "Licence text".encode("utf-16-be"))
        write(os.path.join(self.folder, "binary.rtf"), b"{\\rtf1 \x01\x02\x03}")
        write(os.path.join(self.folder, "banner.png"), b"\x89PNG\r\n\x1a\n" + bytes(50))
        cases = [("eulafile", "missing.rtf", "licence file missing.rtf does not exist"),
                 ("eulafile", "folder", "licence file folder is a folder"),
                 ("eulafile", "utf16.rtf", "licence file utf16.rtf is UTF-16 text"),
                 ("eulafile", "utf16be.txt", "licence file utf16be.txt is UTF-16 text"),
                 ("eulafile", "binary.rtf", "licence file binary.rtf is not text"),
                 ("bannerfile", "missing.jpg", "banner missing.jpg does not exist"),
                 ("bannerfile", "folder", "banner folder is a folder"),
                 ("bannerfile", "banner.png", "banner banner.png is not a JPEG or BMP image")]
        for key, path, problem in cases:
            problems = self.refused({"title": "Tool", key: path}, [{"path": "tool.exe"}])
            self.assertProblems(problems, [(problem, ", or none")])

    def test_shortcut_labels_the_installer_cannot_keep(self):
        long_label = "L" * 120  # 120 characters and "TOOL|" in front: 125, the most that fits
        write(os.path.join(self.folder, "Long Tool Name.exe"), b"MZ")  # "LONGTO~1|" in front
        write(os.path.join(self.folder, "x.exe"), b"MZ")
        write(os.path.join(self.folder, "y.exe"), b"MZ")
        files = [{"path": "tool.exe", "shortcutname": long_label},
                 {"path": "Long Tool Name.exe", "shortcutname": long_label},
                 {"path": "x.exe", "shortcutname": "Tools|More"},
                 {"path": "y.exe", "shortcutname": "Tools: more"}]
        problems = self.refused({"title": "Tool"}, files)
        self.assertProblems(problems, [
            ("shortcut label", "of Long Tool Name.exe", "takes 129 characters", "at most 128"),
            ("shortcut label \"Tools|More\" of x.exe", 'holds "|"'),
            ("shortcut label \"Tools: more\" of y.exe", 'holds ":"')])

    def test_file_types_that_are_no_extensions_or_lie_on_a_folder(self):
        os.makedirs(os.path.join(self.folder, "tree"))
        write(os.path.join(self.folder, "tree", "a.txt"), b"a")
        files = [{"path": "tool.exe", "extensions": ".ok; abc;.a b;.x.y"},
                 {"path": "tree", "extensions": ".abc"}]
        problems = self.refused({"title": "Tool"}, files)
        self.assertProblems(problems, [
            ('file type "abc" of tool.exe', 'does not start with "."'),
            ('file type ".a b" of tool.exe', "other than letters"),
            ('file type ".x.y" of tool.exe', "other than letters"),
            ("folder tree", "program inside it")])

    def test_programs_started_when_setup_exits(self):
        os.makedirs(os.path.join(self.folder, "tree"))
        write(os.path.join(self.folder, "tree", "a.exe"), b"MZ")
        write(os.path.join(self.folder, "readme.txt"), b"read me")
        write(os.path.join(self.folder, "fake.exe"), b"not a program")
        write(os.path.join(self.folder, "other.exe"), b"MZ" + bytes(10))
        files = [{"path": path, "launchonexit": "true"}
                 for path in ("tool.exe", "tree", "readme.txt", "fake.exe", "other.exe")]
        problems = self.refused({"title": "Tool"}, files)
        self.assertProblems(problems, [
            ("file0launchonexit (tool.exe) and file1launchonexit (tree)", "keep one"),
            ("file0launchonexit (tool.exe) and file2launchonexit (readme.txt)", "keep one"),
            ("file0launchonexit (tool.exe) and file3launchonexit (fake.exe)", "keep one"),
            ("file0launchonexit (tool.exe) and file4launchonexit (other.exe)", "keep one")])
        for path, problem in (("tree", "The folder tree is to be started"),
                              ("readme.txt", "readme.txt is to be started when setup exits, "
                                             "but is not a Windows program (.exe)"),
                              ("fake.exe", "fake.exe is to be started when setup exits, "
                                           "but is not a Windows program (.exe)")):
            with self.subTest(path=path):
                self.assertProblems(self.refused({"title": "Tool"}, [
                    {"path": path, "launchonexit": "true"}]), [(problem,)])

    def test_folder_trees_windows_cannot_install(self):
        tree = os.path.join(self.folder, "tree")
        write(os.path.join(tree, "ok", "a.txt"), b"a")
        write(os.path.join(tree, "bad:name.txt"), b"b")
        write(os.path.join(tree, "case", "Readme.txt"), b"c")
        write(os.path.join(tree, "case", "README.txt"), b"d")
        os.symlink("..", os.path.join(tree, "ok", "loop"))
        os.symlink("nowhere.txt", os.path.join(tree, "dangling.txt"))
        os.mkfifo(os.path.join(tree, "pipe"))
        locked = os.path.join(tree, "locked")
        os.makedirs(locked)
        os.chmod(locked, 0)
        write(os.path.join(self.folder, "Tool.msi"), b"the last package")
        expected = [("tree/bad:name.txt", 'holds ":"'),
                    ("tree/case/README.txt and tree/case/Readme.txt", "letter case"),
                    ("tree/ok/loop", "link loop"),
                    ("tree/dangling.txt", "link to nothing"),
                    ("tree/pipe", "pipe, socket or device"),
                    ("shortcut target bin/missing.exe of the folder tree", "no file in it")]
        if os.geteuid() != 0:  # root reads every folder
            expected.append(("folder tree/locked cannot be read", "Permission denied"))
        try:
            problems = self.refused({"title": "Tool"}, [
                {"path": "tree", "shortcutname": "Go", "shortcuttarget": "bin/missing.exe"}])
        finally:
            os.chmod(locked, 0o700)
        self.assertProblems(problems, expected)
        with open(os.path.join(self.folder, "Tool.msi"), "rb") as f:
            self.assertEqual(f.read(), b"the last package")


if __name__ == "__main__":
    CLI, SOURCE_DIR = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
