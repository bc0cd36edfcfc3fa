"""The installed program, both ways a user installs it: the Debian package
that cpack builds, unpacked into a throwaway root, and `cmake --install`
into a throwaway prefix. Each must put the program, its manual, its desktop
entry and its icon where the desktop looks, and the installed program must
serve a folder."""
import configparser
import gzip
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import foldweb_run  # noqa: E402
from foldweb_run import Foldweb, make_tree  # noqa: E402

BUILD = os.environ.get("FOLDWEB_BUILD_DIR", "")
CMAKE = os.environ.get("FOLDWEB_CMAKE", "cmake")
CPACK = os.environ.get("FOLDWEB_CPACK", "cpack")
VERSION = os.environ.get("FOLDWEB_VERSION", "")

# Below the prefix: path, and whether it is a program.
INSTALLED = [
    ("bin/foldweb", True),
    ("share/man/man1/foldweb.1.gz", False),
    ("share/applications/foldweb.desktop", False),
    ("share/icons/hicolor/scalable/apps/foldweb.svg", False),
]


def run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, timeout=300, **kwargs)


def architecture():
    return run("dpkg", "--print-architecture").stdout.strip()


def setUpModule():
    if not BUILD:
        raise unittest.SkipTest("FOLDWEB_BUILD_DIR is not set")
    global SCRATCH, DEB, PREFIXES
    SCRATCH = tempfile.mkdtemp(prefix="foldweb-package-")
    os.chmod(SCRATCH, 0o755)
    out = os.path.join(SCRATCH, "out")
    run(CPACK, "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-G", "DEB", "-B", out)
    DEB = os.path.join(out, "foldweb_%s_%s.deb" % (VERSION, architecture()))
    root = os.path.join(SCRATCH, "root")
    run("dpkg-deb", "-x", DEB, root)
    prefix = os.path.join(SCRATCH, "prefix")
    run(CMAKE, "--install", BUILD, "--prefix", prefix)
    PREFIXES = [("package", os.path.join(root, "usr")), ("cmake --install", prefix)]


def tearDownModule():
    shutil.rmtree(SCRATCH, ignore_errors=True)


class PackageTest(unittest.TestCase):
    def field(self, name):
        return run("dpkg-deb", "-f", DEB, name).stdout.strip()

    def test_control_fields(self):
        self.assertEqual(self.field("Package"), "foldweb")
        self.assertEqual(self.field("Version"), VERSION)
        self.assertEqual(self.field("Architecture"), architecture())
        self.assertEqual(self.field("Recommends"), "xdg-utils, zenity")
        depends = [d.split()[0] for d in self.field("Depends").split(",")]
        for library in ("libc6", "libstdc++6", "libgcc-s1"):
            self.assertIn(library, depends)

    def test_everything_lies_under_usr(self):
        listing = run("dpkg-deb", "-c", DEB).stdout.splitlines()
        paths = [line.split()[-1] for line in listing]
        self.assertTrue(paths)
        for path in paths:
            self.assertTrue(path.startswith("./usr/"), path)
        for path, _ in INSTALLED:
            self.assertIn("./usr/" + path, paths)

    def test_the_packaged_program_is_stripped_and_keeps_its_version_record(self):
        program = os.path.join(PREFIXES[0][1], "bin", "foldweb")
        sections = run("readelf", "-S", "-W", program).stdout
        self.assertNotIn(".debug_info", sections)
        self.assertIn(".foldweb_version", sections)


class InstalledFilesTest(unittest.TestCase):
    def test_files_are_where_the_desktop_looks(self):
        for how, prefix in PREFIXES:
            for path, is_program in INSTALLED:
                with self.subTest(how=how, path=path):
                    full = os.path.join(prefix, path)
                    self.assertTrue(os.path.isfile(full))
                    self.assertEqual(os.access(full, os.X_OK), is_program)

    def test_desktop_entry_opens_folders_and_html_files_in_a_terminal(self):
        for how, prefix in PREFIXES:
            with self.subTest(how=how):
                entry = os.path.join(prefix, "share/applications/foldweb.desktop")
                parser = configparser.ConfigParser(interpolation=None)
                parser.optionxform = str
                parser.read(entry)
                d = parser["Desktop Entry"]
                self.assertEqual(d["Exec"], "foldweb %f")
                self.assertEqual(d["Icon"], "foldweb")
                self.assertEqual(d["Terminal"], "true")
                self.assertEqual(d["MimeType"].rstrip(";").split(";"),
                                 ["inode/directory", "text/html", "application/xhtml+xml"])
                if shutil.which("desktop-file-validate"):
                    result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
                    self.assertEqual((result.returncode, result.stdout), (0, ""))

    def test_manual_page_formats_without_warnings(self):
        for how, prefix in PREFIXES:
            with self.subTest(how=how):
                with gzip.open(os.path.join(prefix, "share/man/man1/foldweb.1.gz"), "rt") as f:
                    text = f.read()
                self.assertIn('"foldweb %s"' % VERSION, text)
                for fact in ("Vantre.tmp/foldweb/", "Vantre.tmp/_trace_/WC/", "127.0.0.1", "Ctrl+C"):
                    self.assertIn(fact, text)
                if not shutil.which("groff"):
                    continue
                result = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z"], input=text,
                                        capture_output=True, text=True)
                self.assertEqual((result.returncode, result.stderr), (0, ""))

    def test_icon_is_an_svg_image(self):
        for how, prefix in PREFIXES:
            with self.subTest(how=how):
                with open(os.path.join(prefix, "share/icons/hicolor/scalable/apps/foldweb.svg")) as f:
                    text = f.read()
                self.assertIn("<svg", text)
                self.assertIn('viewBox="0 0 128 128"', text)


class InstalledProgramTest(unittest.TestCase):
    def setUp(self):
        self.site = tempfile.mkdtemp(prefix="foldweb-package-site-")
        os.chmod(self.site, 0o755)
        self.addCleanup(shutil.rmtree, self.site, True)
        make_tree(self.site, {"index.html": "<p>home</p>", "notes": {"a.html": "a"}})
        self.saved = foldweb_run.BINARY
        self.addCleanup(setattr, foldweb_run, "BINARY", self.saved)

    def test_version(self):
        for how, prefix in PREFIXES:
            with self.subTest(how=how):
                result = run(os.path.join(prefix, "bin", "foldweb"), "--version")
                self.assertEqual(result.stdout, "foldweb %s\n" % VERSION)

    def test_serves_what_the_file_manager_hands_it(self):
        # The desktop entry's %f: a folder, or an HTML file whose folder is
        # served.
        for how, prefix in PREFIXES:
            foldweb_run.BINARY = os.path.join(prefix, "bin", "foldweb")
            for target in (self.site, os.path.join(self.site, "index.html")):
                with self.subTest(how=how, target=target), Foldweb(target) as s:
                    self.assertEqual(s.err.wait_count(1)[0], self.site)
                    status, headers, body = s.get("/")
                    self.assertEqual((status, headers["content-type"]), (200, "text/html"))
                    self.assertIn(b'href="notes/"', body)
                    self.assertIn(b'href="index.html"', body)
                    self.assertEqual(s.get("/index.html")[2], b"<p>home</p>")
                    deadline = time.monotonic() + 5
                    while not s.opened() and time.monotonic() < deadline:
                        time.sleep(0.05)
                    self.assertEqual(s.opened(), ["http://127.0.0.1:%d/" % s.port])
                    day_folders = os.listdir(os.path.join(s.tmpdir, "Vantre.tmp", "foldweb"))
                    self.assertEqual(len(day_folders), 1)


if __name__ == "__main__":
    unittest.main()
