"""The index page end to end: the exact text over real HTTP, what each kind
of request lists, and a real browser following every link of a page whose
names hold characters that mean something in URLs and in markup."""
import html
import json
import os
import queue
import re
import shutil
import subprocess
import threading
import time
import unittest
import urllib.parse

from foldweb_run import BINARY, Foldweb, make_tree, scratch_folder, scratch_site

STAMP = r"\d{4}/\d\d/\d\d \d\d:\d\d:\d\d"
PAGE = re.compile(
    r'<html\tlang="ja"\t>\t\t<head\t>\t\t<meta\tcharset="UTF-8"\t/>\t'
    r'<meta\tname="viewport"\tcontent="width=device-width,initial-scale=1\.0"\t/>\t'
    r"(?:<title\t>(?P<title>[^<]*)</title>\t)?"
    r"<!--\t\r\n"
    r"Pagolinecraft\t1\.02\t(?P<stamp>" + STAMP + r")\thtmout\.cpp\r\n"
    r"EXE {10}\t {4}\t(?P<built>" + STAMP + r")\t(?P<exe>[^\r\n]*)\r\n"
    r"Time {9}\t {4}\t(?P<now>" + STAMP + r")\r\n"
    r"foldweb\.test \t {4}\tdev@foldweb\.example\.org\r\n"
    r"\t-->\t</head>\t(?P<body><body\t>.*</body>)\t</html>",
    re.S)
LINK = re.compile(r'<a\thref="([^"]*)"\t>([^<]*)</a>')


def body_of(folders, pages):
    """The body the page lists these names in (href and text as written)."""
    def link(name):
        href = urllib.parse.quote(os.fsencode(name), safe="/!$&'()*,;=@~")
        return '<a\thref="%s"\t>%s</a>' % (html.escape(href, quote=True), html.escape(name, quote=False))
    body = '<body\t>\t\t<a\thref=".."\t>../</a>\t<hr\t/>\t'
    body += "".join(link(n + "/") + "\t<br\t/>\t" for n in folders)
    body += "<hr\t/>"
    body += "".join("\t" + link(n) + "\t<br\t/>" for n in pages)
    return body + "\t</body>"


def break_hyphens(text):
    """What the comment makes of a text: every second hyphen of a run is a tab."""
    chars = list("\t" + text + "\t")
    i = 0
    while i + 1 < len(chars):
        if chars[i] == "-" and chars[i + 1] == "-":
            chars[i + 1] = "\t"
        i += 1
    return "".join(chars)[1:-1]


class PageText:
    def __init__(self, test, server, target):
        before = time.strftime("%Y/%m/%d %H:%M:%S")
        status, headers, body = server.get(target)
        after = time.strftime("%Y/%m/%d %H:%M:%S")
        test.assertEqual((status, headers.get("content-type")), (200, "text/html"), target)
        self.text = body.decode("utf-8")
        self.m = PAGE.fullmatch(self.text)
        test.assertIsNotNone(self.m, "%s: %r" % (target, self.text))
        test.assertTrue(before <= self.m["now"] <= after, (before, self.m["now"], after))
        test.assertEqual(self.m["exe"], break_hyphens(os.path.realpath(BINARY)))
        self.title = self.m["title"]
        self.body = self.m["body"]


class IndexOverHttpTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = scratch_folder("foldweb-site-")
        make_tree(cls.site, {
            "docs": {"guide.html": "guide"},
            "x.html": {},
            "index.html": "home",
            "photo.jpg": b"\xff\xd8",
            "a&b.html": "amp",
        })
        cls.server = Foldweb(cls.site)

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__()
        shutil.rmtree(cls.site, ignore_errors=True)

    def test_what_each_request_lists(self):
        root = body_of(["docs", "x.html"], ["a&b.html", "index.html"])
        cases = [
            ("/", root, None),
            ("/docs", body_of([], ["guide.html"]), "docs"),
            ("/docs/", body_of([], ["guide.html"]), None),
            ("/nosuch.txt", root, "nosuch"),
            ("/gone/", root, None),
            ("/gone/deeper/", body_of([], []), None),
            ("/?a=1", root, None),
        ]
        for target, body, title in cases:
            with self.subTest(target=target):
                page = PageText(self, self.server, target)
                self.assertEqual(page.body, body)
                self.assertEqual(page.title, title)

    def test_names_are_escaped_and_encoded(self):
        page = PageText(self, self.server, "/")
        self.assertIn('<a\thref="a&amp;b.html"\t>a&amp;b.html</a>', page.text)
        # A folder named like a page is listed among the folders only.
        self.assertIn('<a\thref="x.html/"\t>x.html/</a>\t<br\t/>\t<hr\t/>', page.text)
        self.assertNotIn('href="x.html"', page.text)


class EmptyFolderTest(unittest.TestCase):
    def test_empty_folder_page(self):
        site = scratch_folder("foldweb-site-")
        self.addCleanup(shutil.rmtree, site, True)
        with Foldweb(site) as s:
            page = PageText(self, s, "/")
            self.assertIsNone(page.title)
            self.assertEqual(page.body, '<body\t>\t\t<a\thref=".."\t>../</a>\t<hr\t/>\t<hr\t/>\t</body>')
            self.assertTrue(page.text.startswith('<html\tlang="ja"\t>'))
            self.assertTrue(page.text.endswith("</html>"))


# Names that mean something in a URL or in markup, and letters beyond ASCII.
# Each file holds a marker naming it; each folder holds one page whose name
# says which folder it is in.
HOSTILE_FILES = ["a b.html", "x#y.html", "50%.html", "a+b.html", "a&b.html", 'q"uote.html',
                 "<b>.html", "what?.html", "caf\u00e9.html", "\u65e5\u672c\u8a9e.html", "na\u00efve \u0416.htm",
                 "javascript:alert(1).html", "semi;colon=1.html"]
HOSTILE_FOLDERS = ["sub folder", "#hash", "100%", "c+d", "&amp;", 'say "hi"', "<b>", "\u00fcber", "x.html"]


def marker(i):
    return "<!doctype html><title>m</title><p id=m>marker-%d</p>" % i


class BrowserTest(unittest.TestCase):
    """Headless Chromium, driven over its DevTools pipe (standard library only)."""

    CHROMIUM = "/usr/bin/chromium"

    @classmethod
    def setUpClass(cls):
        if not os.access(cls.CHROMIUM, os.X_OK):
            raise AssertionError("%s is missing: scripts/install-deps test installs it" % cls.CHROMIUM)
        cls.top, cls.site = scratch_site("foldweb-browser-")
        tree = {}
        for i, name in enumerate(HOSTILE_FILES):
            tree[name] = marker(i)
        for i, name in enumerate(HOSTILE_FOLDERS):
            tree[name] = {"inside-%d.html" % i: "inner"}
        make_tree(cls.site, tree)
        # A name whose bytes are not UTF-8 at all (Latin-1).
        cls.latin1 = os.fsdecode(b"latin1-caf\xe9.html")
        with open(os.path.join(os.fsencode(cls.site), os.fsencode(cls.latin1)), "w") as f:
            f.write(marker(len(HOSTILE_FILES)))
        cls.server = Foldweb(cls.site)
        try:
            cls.browser = Chromium(cls.CHROMIUM, os.path.join(cls.top, "chromium"))
        except BaseException:
            cls.server.__exit__()
            shutil.rmtree(cls.top, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.server.__exit__()
        shutil.rmtree(cls.top, ignore_errors=True)

    def root(self):
        return "http://127.0.0.1:%d/" % self.server.port

    def test_every_link_lands_on_its_file_or_folder(self):
        b = self.browser
        b.open(self.root())
        links = b.eval("Array.from(document.links, a => a.textContent)")
        files = HOSTILE_FILES + [self.latin1]
        shown = lambda name: name.encode("utf-8", "surrogateescape").decode("utf-8", "replace")
        self.assertEqual(sorted(links), sorted(["../"] + [n + "/" for n in HOSTILE_FOLDERS] +
                                              [shown(n) for n in files]))
        hrefs = b.eval("Array.from(document.links, a => a.href)")
        for i, text in enumerate(links):
            with self.subTest(link=text):
                if "?" in text:
                    # NOTE: the server gives a name holding '?' no extension,
                    # so no content type: the browser would download it. Follow
                    # the address the browser made of the link instead.
                    status, _, body = self.server.get(urllib.parse.urlsplit(hrefs[i]).path)
                    k = [shown(n) for n in files].index(text)
                    self.assertEqual((status, body), (200, marker(k).encode()))
                    continue
                b.open(self.root())
                landed = b.click_link(i)
                path = urllib.parse.unquote_to_bytes(urllib.parse.urlsplit(landed["url"]).path)
                self.assertEqual(urllib.parse.urlsplit(landed["url"]).netloc, "127.0.0.1:%d" % self.server.port)
                self.assertEqual(urllib.parse.urlsplit(landed["url"]).query, "")
                self.assertEqual(urllib.parse.urlsplit(landed["url"]).fragment, "")
                if text == "../":
                    self.assertEqual(path, b"/")
                elif text.endswith("/"):
                    k = HOSTILE_FOLDERS.index(text[:-1])
                    self.assertEqual(path, b"/" + os.fsencode(text))
                    self.assertEqual(landed["links"], ["../", "inside-%d.html" % k])
                else:
                    k = [shown(n) for n in files].index(text)
                    self.assertEqual(path, b"/" + os.fsencode(files[k]))
                    self.assertEqual(landed["marker"], "marker-%d" % k)

    def test_markup_in_names_shows_as_text(self):
        b = self.browser
        b.open(self.root())
        self.assertEqual(b.eval("document.querySelectorAll('body b, body i, script').length"), 0)
        texts = b.eval("Array.from(document.links, a => a.textContent)")
        self.assertIn("<b>.html", texts)
        self.assertIn("<b>/", texts)
        self.assertEqual(b.eval("document.title"), "")


class Chromium:
    """A headless Chromium spoken to over --remote-debugging-pipe: commands
    as NUL-ended JSON on fd 3, answers and events from fd 4."""

    TIMEOUT = 15.0  # one command or one page load
    BUDGET = 240.0  # everything one browser does, so a broken page cannot stall the suite

    def __init__(self, binary, home):
        os.makedirs(home)
        profile = os.path.join(home, "profile")
        os.makedirs(profile)
        to_chrome_r, self._to_chrome = os.pipe()
        self._from_chrome, from_chrome_w = os.pipe()
        args = [binary, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--user-data-dir=" + profile, "--remote-debugging-pipe",
                "about:blank"]
        env = dict(os.environ, HOME=home)
        self.log_path = os.path.join(home, "chromium.log")
        self._log = open(self.log_path, "wb")
        # The shell puts the two pipe ends on the descriptors Chromium reads.
        self.proc = subprocess.Popen(
            ["/bin/sh", "-c", 'exec "$@" 3<&%d 4>&%d' % (to_chrome_r, from_chrome_w), "sh", *args],
            pass_fds=(to_chrome_r, from_chrome_w), stdin=subprocess.DEVNULL, stdout=self._log,
            stderr=self._log, env=env)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self._end = time.monotonic() + self.BUDGET
        self._next_id = 0
        self._answers = {}
        self._events = queue.Queue()
        self._cond = threading.Condition()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        try:
            target = self.call("Target.createTarget", url="about:blank")["targetId"]
            self.session = self.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
            self.call("Page.enable", session=True)
        except BaseException:
            self.close()
            raise

    def _read(self):
        buf = b""
        while True:
            try:
                chunk = os.read(self._from_chrome, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                with self._cond:
                    self._answers[None] = "closed"
                    self._cond.notify_all()
                return
            buf += chunk
            while b"\0" in buf:
                raw, buf = buf.split(b"\0", 1)
                msg = json.loads(raw)
                if "id" in msg:
                    with self._cond:
                        self._answers[msg["id"]] = msg
                        self._cond.notify_all()
                else:
                    self._events.put(msg)

    def _fail(self, what):
        with open(self.log_path, "rb") as f:
            tail = f.read()[-3000:].decode("utf-8", "replace")
        raise AssertionError("chromium: %s; its log ends:\n%s" % (what, tail))

    def call(self, method, session=False, **params):
        self._next_id += 1
        msg = {"id": self._next_id, "method": method, "params": params}
        if session:
            msg["sessionId"] = self.session
        os.write(self._to_chrome, json.dumps(msg).encode() + b"\0")
        deadline = self._deadline()
        with self._cond:
            while self._next_id not in self._answers:
                left = deadline - time.monotonic()
                if left <= 0 or None in self._answers:
                    self._fail("no answer to %s" % method)
                self._cond.wait(left)
            answer = self._answers.pop(self._next_id)
        if "error" in answer:
            self._fail("%s failed: %r" % (method, answer["error"]))
        return answer.get("result", {})

    def _drain_events(self):
        while True:
            try:
                self._events.get_nowait()
            except queue.Empty:
                return

    def _deadline(self):
        return min(time.monotonic() + self.TIMEOUT, self._end)

    def _wait_load(self):
        deadline = self._deadline()
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                self._fail("the page did not load")
            try:
                ev = self._events.get(timeout=left)
            except queue.Empty:
                continue
            if ev.get("method") == "Page.loadEventFired" and ev.get("sessionId") == self.session:
                return

    def eval(self, expression):
        result = self.call("Runtime.evaluate", session=True, expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            self._fail("script failed: %r" % result["exceptionDetails"])
        return result["result"].get("value")

    def open(self, url):
        self._drain_events()
        self.call("Page.navigate", session=True, url=url)
        self._wait_load()

    def click_link(self, index):
        """Clicks the link as a user would and tells where the browser landed."""
        self._drain_events()
        self.eval("document.links[%d].click()" % index)
        self._wait_load()
        return self.eval("({url: location.href,"
                         " marker: (document.getElementById('m') || {}).textContent || null,"
                         " links: Array.from(document.links, a => a.textContent)})")

    def close(self):
        try:
            self.call("Browser.close")
        except AssertionError:
            pass
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self._to_chrome)
        self._reader.join(5)
        os.close(self._from_chrome)
        self._log.close()


if __name__ == "__main__":
    unittest.main()
