#!/usr/bin/python3
"""The real kitbinder program on a virtual X display, as a user starts it from a shell.

    real_program_test.py KITBINDER SOURCE_DIR

- `kitbinder --version` answers without any display;
- started with the sample project, the window is captioned "sample.kbr - kitbinder" and the
  Product page's title box holds the project's title (read back through the clipboard);
- started with a missing project, a message appears and, once dismissed, the program ends
  with a failure status;
- started without arguments, the caption is "Untitled - kitbinder";
- ended by SIGTERM during a build, it leaves no file of the build's behind.

The part that needs a display runs again under xvfb-run. Windows are found with xdotool,
waiting with a timeout rather than sleeping a fixed time.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "test_support"))
import needs  # noqa: E402

WAIT_SECONDS = 30


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def poll(what, probe, timeout=WAIT_SECONDS, program=None):
    """Calls probe() until it answers something true; fails after `timeout` seconds, showing
    what `program` wrote on its standard error."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        answer = probe()
        if answer:
            return answer
        time.sleep(0.1)
    said = program.error_output()[-3000:] if program else ""
    fail("timed out waiting for " + what + ("\nthe program said:\n" + said if said else ""))


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=WAIT_SECONDS)
    return result.stdout.strip() if result.returncode == 0 else ""


def find_window(caption, program):
    """The newest visible window whose whole caption is `caption`, once `program` shows it."""
    pattern = "^" + caption.replace(".", "\\.") + "$"
    found = poll("a window captioned " + repr(caption),
                 lambda: run("xdotool", "search", "--onlyvisible", "--name", pattern),
                 program=program)
    return found.splitlines()[-1]


def press(window, *keys):
    run("xdotool", "windowfocus", "--sync", window)
    for key in keys:
        subprocess.run(["xdotool", "key", "--clearmodifiers", key], check=True,
                       timeout=WAIT_SECONDS)


class Program:
    """One run of kitbinder with its own settings folder."""

    def __init__(self, kitbinder, *arguments):
        self.settings = tempfile.mkdtemp(prefix="kitbinder-settings.")
        environment = dict(os.environ, XDG_CONFIG_HOME=self.settings)
        environment.pop("QT_QPA_PLATFORM", None)
        self.errors = os.path.join(self.settings, "stderr.txt")
        with open(self.errors, "w", encoding="utf-8") as errors:
            self.process = subprocess.Popen([kitbinder, *arguments], env=environment,
                                            stdout=subprocess.DEVNULL, stderr=errors)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        shutil.rmtree(self.settings, ignore_errors=True)

    def exit_status(self):
        try:
            return self.process.wait(timeout=WAIT_SECONDS)
        except subprocess.TimeoutExpired:
            fail("the program did not end")

    def error_output(self):
        with open(self.errors, encoding="utf-8", errors="replace") as errors:
            return errors.read()


def project_title(project):
    with open(project, encoding="utf-8") as text:
        for line in text:
            if line.startswith("title="):
                return line.strip()[len("title="):]
    fail(project + " has no title")


def check_version_without_display(kitbinder):
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    result = subprocess.run([kitbinder, "--version"], env=environment, capture_output=True,
                            text=True, timeout=WAIT_SECONDS)
    if result.returncode != 0 or result.stdout != "kitbinder Version 1.0.0.6\n":
        fail(f"--version: status {result.returncode}, output {result.stdout!r} {result.stderr!r}")


def check_sample_project(kitbinder, project):
    with Program(kitbinder, project) as program:
        window = find_window("sample.kbr - kitbinder", program)
        # The list has the focus on the first page; Ctrl+Tab turns to "Product", whose title
        # box takes the focus.
        press(window, "ctrl+Tab", "ctrl+a", "ctrl+c")
        title = poll("the title on the clipboard",
                     lambda: run("xclip", "-o", "-selection", "clipboard"))
        if title != project_title(project):
            fail(f"the title box shows {title!r}")


def check_missing_project(kitbinder, folder):
    missing = os.path.join(folder, "missing.kbr")
    with Program(kitbinder, missing) as program:
        message = find_window("kitbinder", program)
        press(message, "Return")
        status = program.exit_status()
        if status == 0:
            fail("a missing project ended the program with status 0")
        if "ERROR: LeakSanitizer" in program.error_output():
            fail("the program leaked on its way out")


def check_untitled(kitbinder):
    with Program(kitbinder) as program:
        find_window("Untitled - kitbinder", program)


def check_build_ended_by_sigterm(kitbinder, source):
    with tempfile.TemporaryDirectory() as folder:
        project_folder = os.path.join(folder, "sample")
        shutil.copytree(os.path.join(source, "examples", "sample"), project_folder)
        project = os.path.join(project_folder, "sample.kbr")
        with open(os.path.join(project_folder, "files", "large.bin"), "wb") as large:
            for _ in range(60):
                large.write(os.urandom(1 << 20))
        with open(project, encoding="utf-8", newline="") as text:
            lines = text.read().replace("[icons]", "file4path=files/large.bin\r\n[icons]", 1)
        with open(project, "w", encoding="utf-8", newline="") as text:
            text.write(lines)
        listing = sorted(os.listdir(project_folder))
        with Program(kitbinder, project) as program:
            window = find_window("sample.kbr - kitbinder", program)
            press(window, "F7")
            poll("the build's own files in the project folder",
                 lambda: len([n for n in os.listdir(project_folder)
                              if n.startswith((".Install-", ".Sample Tool.msi."))]) == 2,
                 program=program)
            program.process.send_signal(signal.SIGTERM)
            status = program.exit_status()
            if status != -signal.SIGTERM:
                fail(f"SIGTERM ended the program with status {status}")
        left = sorted(os.listdir(project_folder))
        if left != listing:
            fail(f"the build left {sorted(set(left) - set(listing))}")


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--inside":
        kitbinder, source = sys.argv[2], sys.argv[3]
        check_sample_project(kitbinder, os.path.join(source, "examples/sample/sample.kbr"))
        with tempfile.TemporaryDirectory() as folder:
            check_missing_project(kitbinder, folder)
        check_untitled(kitbinder)
        check_build_ended_by_sigterm(kitbinder, source)
        return
    if len(sys.argv) != 3:
        print(__doc__.splitlines()[2].strip(), file=sys.stderr)
        sys.exit(2)
    kitbinder, source = sys.argv[1], sys.argv[2]
    needs.require("xvfb-run", "xdotool", "xclip")
    check_version_without_display(kitbinder)
    inside = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1024x768x24", sys.executable,
                             os.path.abspath(__file__), "--inside", kitbinder, source],
                            timeout=10 * WAIT_SECONDS)
    sys.exit(inside.returncode)


if __name__ == "__main__":
    main()
