"""A program started when setup exits: a project whose kbargs.exe (which writes args.txt beside
itself when it runs) asks for it, installed by Wine's msiexec with its dialogs on an X display,
driven by keys as a user would.

- The finish dialog after an installation shows "Launch <title>" ticked; Finish starts the
  program.
- The finish dialog after a repair and after a removal through the maintenance dialog shows no
  such box, and the program is not started.
- Unticked with the keyboard, Finish does not start it; a silent installation never does.
What the dialogs show is read by dialog_controls.exe, run in the same prefix. LaunchRowsTest
reads the rows with msitools: only a project that starts a program gets them.

usage: launch_test.py KITBINDER_CLI [LaunchRowsTest | LaunchTest (under xvfb-run)]
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import package_oracles as oracle  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

CLI = None
TITLE = "Launch Tool"
PROGRAM = "kbargs.exe"
LAUNCH_BOX = "Launch " + TITLE
PROJECT = f"""[properties]
title={TITLE}
version=1.0.0
author=Kitbinder Tests
language=en
[files]
file0path={PROGRAM}
file0shortcutname=default
file0launchonexit=true
"""
TIMEOUT = 120  # seconds for one dialog to appear, or a program to write its marker


def compile_program(source, target):
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-o", target,
                    os.path.join(os.path.dirname(__file__), "data", source)], check=True)


class Setup:
    """One run of msiexec with its dialogs, driven by keys."""

    def __init__(self, wine, lister, *args):
        self.wine = wine
        self.lister = lister
        self.process = subprocess.Popen(["wine", "msiexec", *args], env=wine.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def dialog(self):
        """The texts of the visible dialog's visible controls: {text: state}, state "checked",
        "unchecked" or "-"."""
        # Through a file: a pipe would stay open as long as the Wine services this may start.
        with tempfile.TemporaryFile() as listing:
            subprocess.run(["wine", self.lister], env=self.wine.env, stdout=listing,
                           stderr=subprocess.DEVNULL, timeout=TIMEOUT, check=False)
            listing.seek(0)
            out = listing.read().decode("utf-8", "replace")
        return {fields[3]: fields[2] for fields in
                (line.split("\t") for line in out.splitlines()) if fields[0] == "control"
                and len(fields) == 4}

    def wait_for(self, text):
        """Waits until a dialog shows `text`; returns what it shows."""
        deadline = time.monotonic() + TIMEOUT
        while True:
            shown = self.dialog()
            if text in shown:
                return shown
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"no dialog showed {text!r}; the last showed {shown}")
            time.sleep(0.5)

    def press(self, *keys):
        windows = oracle.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                             env=self.wine.env, timeout=TIMEOUT).stdout.split()
        if len(windows) != 1:
            raise AssertionError(f"expected one dialog window, found {windows}")
        oracle.run(["xdotool", "windowfocus", "--sync", windows[0], "key", *keys],
                   env=self.wine.env, timeout=TIMEOUT)

    def step(self, text, *keys):
        """Waits for the dialog that shows `text`, then presses `keys` in it; returns what it
        showed."""
        shown = self.wait_for(text)
        self.press(*keys)
        return shown

    def finish(self):
        try:
            return self.process.wait(timeout=TIMEOUT)
        finally:
            if self.process.poll() is None:
                self.process.kill()
            oracle.run(["wineserver", "-w"], env=self.wine.env)


class PackageTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="kblaunch.")
        compile_program("args.c", os.path.join(self.scratch, PROGRAM))
        self.package = self.build(PROJECT)

    def build(self, text):
        project = os.path.join(self.scratch, "launch.kbr")
        with open(project, "w", encoding="utf-8") as f:
            f.write(text)
        result = oracle.build(CLI, project)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        return os.path.join(self.scratch, TITLE + ".msi")

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)


class LaunchRowsTest(PackageTest):
    def launch_rows(self, package):
        return {table: [row for row in oracle.export_table(package, table)
                        if "StartProgram" in row or "LaunchCheck" in row]
                for table in ("CustomAction", "ControlEvent", "ControlCondition")}

    def test_only_a_program_started_on_exit_adds_rows(self):
        file_key = next(row[0] for row in oracle.export_table(self.package, "File"))
        after_install = 'NOT Installed AND ACTION <> "ADMIN"'
        self.assertEqual(self.launch_rows(self.package), {
            "CustomAction": [["StartProgram", "210", file_key, ""]],
            "ControlEvent": [["FinishedForm", "Finish", "DoAction", "StartProgram",
                              "LaunchOnExit AND " + after_install, "0"]],
            "ControlCondition": [["FinishedForm", "LaunchCheck", "Show", after_install]]})
        plain = self.build(PROJECT.replace("file0launchonexit=true\n", ""))
        self.assertEqual(self.launch_rows(plain),
                         {"CustomAction": [], "ControlEvent": [], "ControlCondition": []})


class LaunchTest(PackageTest):
    def setUp(self):
        super().setUp()
        self.lister = os.path.join(self.scratch, "dialog_controls.exe")
        compile_program("dialog_controls.c", self.lister)

    def started(self, wine, expected):
        """Whether the installed program ran, waiting for it when `expected`; removes its marker."""
        marker = wine.program_files(TITLE, "args.txt")
        deadline = time.monotonic() + (TIMEOUT if expected else 3)
        while not os.path.exists(marker) and time.monotonic() < deadline:
            time.sleep(0.5)
        ran = os.path.exists(marker)
        if ran:
            os.remove(marker)
        return ran

    def install(self, wine, untick=False):
        setup = Setup(wine, self.lister, "/i", self.package)
        setup.step("Click Next to continue, or Cancel to leave Setup.", "Return")
        setup.step("&Install " + TITLE + " in:", "Return")
        setup.step("&Install", "Return")
        finished = setup.wait_for(TITLE + " has been installed on your computer.")
        self.assertEqual(finished.get(LAUNCH_BOX), "checked", finished)
        if untick:
            setup.press("Tab", "space")
            self.assertEqual(setup.wait_for(LAUNCH_BOX).get(LAUNCH_BOX), "unchecked")
            setup.press("Tab")
        setup.press("Return")
        self.assertEqual(setup.finish(), 0)

    def maintain(self, wine, keys, ready, done):
        """Repairs or removes through the maintenance dialog; returns what the finish dialog
        showed."""
        setup = Setup(wine, self.lister, "/i", self.package)
        setup.step("Repair or Remove " + TITLE, *keys)
        setup.step(ready, "Return")
        finished = setup.step(done, "Return")
        self.assertEqual(setup.finish(), 0)
        return finished

    def test_finish_starts_the_program_only_after_an_install_and_when_ticked(self):
        with oracle.WinePrefix() as wine:
            oracle.run(["wine", "wineboot", "-i"], env=wine.env)
            wine.env["DISPLAY"] = os.environ["DISPLAY"]

            self.install(wine)
            self.assertTrue(self.started(wine, True), "Finish did not start the program")

            repaired = self.maintain(wine, ["Return"], f"Setup is ready to repair {TITLE}.",
                                     TITLE + " has been repaired.")
            self.assertNotIn(LAUNCH_BOX, repaired)
            self.assertFalse(self.started(wine, False), "the program started after a repair")
            removed = self.maintain(wine, ["Down", "Return"],
                                    f"Setup is ready to remove {TITLE} from your computer.",
                                    TITLE + " has been removed from your computer.")
            self.assertNotIn(LAUNCH_BOX, removed)

            self.install(wine, untick=True)
            self.assertFalse(self.started(wine, False), "the program started though unticked")
            self.assertEqual(wine.msiexec("/x", self.package, "/qn"), 0)

            self.assertEqual(wine.msiexec("/i", self.package, "/qn"), 0)
            self.assertFalse(self.started(wine, False), "a silent install started the program")
            self.assertEqual(wine.msiexec("/x", self.package, "/qn"), 0)


if __name__ == "__main__":
    needs.require("msiinfo", "x86_64-w64-mingw32-gcc")
    if "LaunchRowsTest" not in sys.argv:
        needs.require("wine", "xdotool")
        if not os.environ.get("DISPLAY"):
            sys.exit("launch_test.py needs an X display: run it under xvfb-run")
    CLI = sys.argv[1]
    unittest.main(argv=sys.argv[:1] + sys.argv[2:])
