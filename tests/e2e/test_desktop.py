"""The desktop end to end: the browser launch at start-up and its trace
record when it is refused, an opener that stays, and the open-file dialog
of a run without argument, with fake dialog programs and with the real
zenity under Xvfb, answered by xdotool."""
import glob
import os
import select
import shutil
import signal
import subprocess
import time
import unittest

import foldweb_run
from foldweb_run import Foldweb, find_programs, make_tree, scratch_site

NO_APPLICATION = "There is no application associated with the given file name extension."
HINT = ("foldweb: no file dialog could be shown (it needs zenity or kdialog and a display);"
        " name the folder to serve: foldweb FOLDER")


def write_script(path, body):
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body + "\n")
    os.chmod(path, 0o755)


def prepend_path(folder):
    """A wrapper that puts `folder` first on the PATH foldweb runs with,
    before the fake opener's folder of the run."""
    return ("/bin/sh", "-c", 'PATH="$0:$PATH" exec "$@"', folder)


def proc_state(pid):
    """The state letter of a process; None once it is gone (reaped)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rpartition(")")[2].split()[0]
    except (FileNotFoundError, ProcessLookupError):
        return None


def wait_until(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def trace_records(tmpdir):
    """The trace records of the run's temporary folder, without the files'
    headers, each as its tab-separated fields."""
    records = []
    for path in sorted(glob.glob(os.path.join(tmpdir, "Vantre.tmp", "_trace_", "WC", "*.txt"))):
        with open(path, "rb") as f:
            data = f.read()
        assert data[:2] == b"\xff\xfe", path
        lines = data[2:].decode("utf-16-le").split("\r\n")
        assert lines[-1] == "", lines
        records += [line.split("\t") for line in lines[1:-1]]
    return records


class Scratch(unittest.TestCase):
    def setUp(self):
        self.top, self.site = scratch_site("foldweb-desktop-")
        self.addCleanup(shutil.rmtree, self.top, True)
        make_tree(self.site, {"index.html": "home", "sub": {"a.html": "<p>a</p>"}})
        self.bin = os.path.join(self.top, "bin")
        os.makedirs(self.bin)


class LaunchTest(Scratch):
    def test_the_address_is_handed_to_the_opener(self):
        with Foldweb(self.site) as s:
            # One address a start; a start whose port was taken is tried
            # again.
            self.assertEqual(s.opened()[-1:], ["http://127.0.0.1:%d/" % s.port])
            self.assertEqual(trace_records(s.tmpdir), [])

    def test_a_refused_launch_is_traced_and_serving_goes_on(self):
        rows = [
            ("opener exits 3", dict(opener_status=3), NO_APPLICATION),
            ("opener exits 2", dict(opener_status=2), "The specified file was not found."),
            ("no opener", dict(opener_status=None, env={"PATH": "/nonexistent"}), NO_APPLICATION),
        ]
        for name, options, reason in rows:
            with self.subTest(name), Foldweb(self.site, **options) as s:
                self.assertEqual(s.get("/index.html")[2], b"home")
                # One record a start; a start whose port was taken is
                # tried again, so the last record is this run's.
                records = trace_records(s.tmpdir)
                self.assertTrue(records)
                for record in records:
                    self.assertEqual(record[1], os.path.basename(foldweb_run.BINARY))
                    self.assertEqual(record[2], reason)
                self.assertEqual(records[-1][3:], ['Operation=""', 'File="http://127.0.0.1:%d/"' % s.port,
                                                   'Paramaters=""'])

    def test_an_opener_that_stays_holds_up_nothing_and_is_reaped(self):
        pid_file = os.path.join(self.top, "opener.pid")
        write_script(os.path.join(self.bin, "xdg-open"), 'echo $$ >> "%s"\nexec sleep 600' % pid_file)
        self.addCleanup(self.kill_openers, pid_file)
        with Foldweb(self.site, opener_status=None, wrapper=prepend_path(self.bin)) as s:
            # The last start's opener (one whose port was taken is tried again).
            opener = self.openers(pid_file)[-1]
            # Listening and answering while the opener still runs.
            self.assertEqual(s.get("/index.html")[2], b"home")
            self.assertEqual(proc_state(opener), "S")
            self.assertEqual(trace_records(s.tmpdir), [])
            os.kill(opener, signal.SIGKILL)
            # Once it ends, the server reaps it: no zombie is left.
            wait_until(lambda: proc_state(opener) is None, 10, "the opener to be reaped")
            self.assertEqual(s.get("/index.html")[2], b"home")

    @staticmethod
    def openers(pid_file):
        with open(pid_file) as f:
            return [int(line) for line in f.read().split()]

    def kill_openers(self, pid_file):
        for pid in self.openers(pid_file):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass


class FakeDialogTest(Scratch):
    """A run without argument, asking a fake zenity that records its
    arguments and answers as told."""

    def run_asking(self, zenity_body, env=None, fake=True, wait_listening=False):
        self.asked = os.path.join(self.top, "asked")
        write_script(os.path.join(self.bin, "zenity"),
                     'printf "%%s\\n" "$@" > "%s"\n%s' % (self.asked, zenity_body))
        return Foldweb(wrapper=prepend_path(self.bin) if fake else (),
                       env={"DISPLAY": ":97"} if env is None else env, wait_listening=wait_listening)

    def arguments(self):
        with open(self.asked) as f:
            return f.read().splitlines()

    def test_a_choice_serves_the_folder_of_the_chosen_file(self):
        chosen = os.path.join(self.site, "sub", "a.html")
        with self.run_asking('echo "%s"' % chosen, wait_listening=True) as s:
            self.assertEqual(self.arguments(),
                             ["--file-selection", "--title=Open", "--file-filter=All Files (*.*) | *"])
            self.assertEqual(s.err.wait_count(1)[0], os.path.join(self.site, "sub"))
            status, _, body = s.get("/")
            self.assertEqual(status, 200)
            self.assertIn(b"a.html", body)
            self.assertEqual(s.get("/a.html")[2], b"<p>a</p>")
            self.assertEqual(s.opened()[-1:], ["http://127.0.0.1:%d/" % s.port])

    def test_a_cancel_ends_quietly(self):
        with self.run_asking("exit 1") as s:
            self.assertEqual(s.proc.wait(10), 0)
            s.out.join()
            s.err.join()
            self.assertEqual(s.out.lines, [])
            self.assertEqual(s.err.lines, [])
            self.assertEqual(s.opened(), [])

    def test_a_dialog_that_cannot_be_shown_is_reported_with_a_hint(self):
        rows = [
            ("no display", {}, True),
            ("no dialog program", {"DISPLAY": ":97", "PATH": "/nonexistent"}, False),
            ("display unreachable", {"DISPLAY": ":97", "ZENITY_FAILS": "1"}, True),
        ]
        for name, env, fake in rows:
            with self.subTest(name):
                body = ('[ -z "$ZENITY_FAILS" ] || { echo "Gtk-WARNING **: cannot open display: :97" >&2;'
                        ' exit 1; }\necho "%s"' % os.path.join(self.site, "index.html"))
                with self.run_asking(body, env=env, fake=fake) as s:
                    self.assertEqual(s.proc.wait(10), 0)
                    s.out.join()
                    s.err.join()
                    self.assertEqual(s.out.lines, [])
                    self.assertEqual(s.err.lines, ["ffff", HINT])
                    self.assertEqual(s.opened(), [])


class RealDialogTest(Scratch):
    """The real zenity on a virtual display: the user types a file's path
    into the open-file dialog, and that file's folder is served."""

    def setUp(self):
        super().setUp()
        missing = find_programs("Xvfb", "zenity", "xdotool")
        if missing:
            self.skipTest("not installed: %s" % missing)
        self.display = self.start_xvfb()

    def start_xvfb(self):
        # Xvfb picks a free display itself and tells its number, so parallel
        # runs never collide. Without -noreset it would start afresh each
        # time its last client leaves, refusing whoever connects meanwhile:
        # the dialog may come just after an xdotool search.
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp", "-noreset"],
                                pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.addCleanup(self.stop_xvfb, xvfb)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([read_end], [], [], left)[0]:
                raise AssertionError("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise AssertionError("Xvfb ended: %r" % xvfb.poll())
            number += chunk
        os.close(read_end)
        return ":" + number.decode().strip()

    @staticmethod
    def stop_xvfb(xvfb):
        xvfb.terminate()
        try:
            xvfb.wait(10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env={**os.environ, "DISPLAY": self.display},
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=15)

    def test_a_path_typed_into_the_real_dialog_serves_its_folder(self):
        # A name with a space and letters outside ASCII: the dialog must
        # hand them back whatever the locale.
        folder = os.path.join(self.top, "my s\u00eete")
        os.makedirs(folder)
        make_tree(folder, {"page \u00fc.html": "<p>typed</p>"})
        chosen = os.path.join(folder, "page \u00fc.html")
        env = {
            "DISPLAY": self.display,
            # No accessibility bus and no settings daemon on this display.
            "NO_AT_BRIDGE": "1",
            "GSETTINGS_BACKEND": "memory",
        }
        # The port comes from the clock; a run whose port another program
        # holds is started again, dialog and all.
        for attempt in range(3):
            s = Foldweb(env=env, wait_listening=False)
            self.addCleanup(s.__exit__)
            self.type_into_dialog(s, chosen)
            try:
                s._wait_listening()
                break
            except AssertionError:
                taken = s.proc.poll() is not None and any("in use" in l for l in s.err.lines)
                if not taken or attempt == 2:
                    raise
        self.assertEqual(s.err.wait_count(1)[0], folder)
        status, _, body = s.get("/")
        self.assertEqual(status, 200)
        self.assertIn("page \u00fc.html".encode(), body)
        self.assertEqual(s.get("/page%20%C3%BC.html")[2], b"<p>typed</p>")

    def type_into_dialog(self, s, path):
        window = None
        deadline = time.monotonic() + 30
        while window is None:
            found = self.xdotool("search", "--onlyvisible", "--name", "^Open$")
            if found.returncode == 0 and found.stdout.split():
                window = found.stdout.split()[0].decode()
            elif s.proc.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("no dialog titled Open; stderr %r" % s.err.lines)
            else:
                time.sleep(0.2)
        time.sleep(0.5)
        # The location field, all of its text replaced by the path, and
        # Return to open it; all of it again should a key have been lost.
        for _ in range(3):
            self.xdotool("windowfocus", window)
            self.xdotool("key", "--clearmodifiers", "ctrl+l")
            time.sleep(0.5)
            self.xdotool("key", "--clearmodifiers", "ctrl+a")
            self.xdotool("type", "--delay", "30", path)
            time.sleep(0.5)
            self.xdotool("key", "Return")
            try:
                s.out.wait_for(lambda l: l.startswith("http://127.0.0.1:"), timeout=5)
                return
            except AssertionError:
                if s.proc.poll() is not None:
                    return  # what it printed tells why

if __name__ == "__main__":
    unittest.main()
