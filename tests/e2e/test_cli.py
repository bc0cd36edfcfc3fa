"""The command line as a user types it: --help and --version when the first
argument is exactly that text, and every other argument still naming a
folder or a file."""
import os
import re
import shutil
import tempfile
import unittest

import foldweb_run
from foldweb_run import Foldweb, make_tree, scratch_folder

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def project_version():
    with open(os.path.join(TOP, "CMakeLists.txt")) as f:
        m = re.search(r"project\(\s*foldweb\s+VERSION\s+([0-9.]+)", f.read())
    assert m, "no project version"
    return m.group(1)


def run_once(*args, cwd=None):
    """(exit status, stdout lines, stderr lines, the run) of a run that ends
    by itself."""
    run = Foldweb(*args, cwd=cwd, wait_listening=False)
    try:
        status = run.proc.wait(10)
    except Exception:
        run.__exit__()
        raise
    run.out.join()
    run.err.join()
    return status, run.out.lines, run.err.lines, run


class InformationTest(unittest.TestCase):
    def test_help_says_what_it_serves_where_it_writes_and_how_to_stop(self):
        for args in (["--help"], ["--help", "/nonexistent"], ["--help", "--version"]):
            with self.subTest(args=args):
                status, out, err, run = run_once(*args)
                with run:
                    self.assertEqual(status, 0)
                    self.assertEqual(err, [])
                    self.assertEqual(out[0], "Usage: foldweb [FOLDER | FILE]")
                    text = "\n".join(out)
                    for fact in ("http://127.0.0.1:PORT/",
                                 "TEMP/Vantre.tmp/foldweb/YYYYMMDD/PORT_NNNN.htm",
                                 "TEMP/Vantre.tmp/_trace_/WC/MMDD_HH.txt",
                                 "$TMP, $TMPDIR, $TEMP", "/tmp/$USER", "Ctrl+C", "./--help"):
                        self.assertIn(fact, text)
                    # Nothing was served, opened or written.
                    self.assertEqual(run.opened(), [])
                    self.assertEqual(os.listdir(run.tmpdir), [])

    def test_version_comes_from_the_version_record(self):
        expected = "foldweb " + project_version()
        status, out, err, run = run_once("--version", "/nonexistent")
        with run:
            self.assertEqual((status, out, err), (0, [expected], []))
            self.assertEqual(os.listdir(run.tmpdir), [])
        # A renamed copy still reports the build it is.
        folder = tempfile.mkdtemp(prefix="foldweb-cli-")
        self.addCleanup(shutil.rmtree, folder, True)
        renamed = os.path.join(folder, "webview")
        shutil.copy2(foldweb_run.BINARY, renamed)
        saved = foldweb_run.BINARY
        foldweb_run.BINARY = renamed
        try:
            status, out, _, run = run_once("--version")
        finally:
            foldweb_run.BINARY = saved
        with run:
            self.assertEqual((status, out), (0, [expected]))


class FolderNamesTest(unittest.TestCase):
    """Arguments that look like options but are not exactly one are names."""

    def setUp(self):
        self.site = scratch_folder("foldweb-cli-")
        self.addCleanup(shutil.rmtree, self.site, True)
        make_tree(self.site, {"--help": {"in-help.html": "help folder"},
                              "--version": {"in-version.html": "version folder"},
                              "top.html": "top"})

    def test_names_that_look_like_options_are_served(self):
        site = self.site
        cases = [
            (["./--help"], os.path.join(site, "--help")),
            (["--help/"], os.path.join(site, "--help")),
            (["././--help"], os.path.join(site, "--help")),
            (["./--version"], os.path.join(site, "--version")),
            (["--version/"], os.path.join(site, "--version")),
            # Names of nothing serve their folder part, the current folder.
            (["-h"], site),
            (["--HELP"], site),
            (["--help=1"], site),
            # Only the first argument counts.
            (["./--help", "--version"], os.path.join(site, "--help")),
        ]
        for args, served in cases:
            with self.subTest(args=args), Foldweb(*args, cwd=site) as s:
                self.assertEqual(s.err.wait_count(1)[0], served)
                self.assertEqual(s.out.lines[0], "http://127.0.0.1:%d/" % s.port)
                status, _, body = s.get("/")
                self.assertEqual(status, 200)
                self.assertTrue(body.startswith(b"<html"))


if __name__ == "__main__":
    unittest.main()
