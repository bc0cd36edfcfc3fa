"""Hostile input end to end: requests that try to climb out of the served
folder, NUL and control characters, foreign and missing Host headers,
ambiguous request framing, links planted in the working folders, and names
made of markup. Each case says in its docstring what it proves."""
import html.parser
import os
import shutil
import time
import unittest

from foldweb_run import Foldweb, make_tree, parse_response, scratch_folder, scratch_site

# The content of every file outside the served folder: no answer may hold it.
SECRET = b"TOP-SECRET-6b1f0c"
SMUGGLED = b"SMUGGLED-ANSWER-93ad"

def answers(data):
    """The answers in a stream of bytes, as (status, headers, body)."""
    out = []
    while data:
        head, sep, rest = data.partition(b"\r\n\r\n")
        if not sep:
            break
        status, headers, _ = parse_response(head + sep)
        length = int(headers.get("content-length", "0"))
        out.append((status, headers, rest[:length]))
        data = rest[length:]
    return out


class Site(unittest.TestCase):
    """A served folder between files it must never give away."""

    @classmethod
    def make_site(cls):
        cls.top, cls.site = scratch_site("foldweb-hostile-")
        make_tree(cls.top, {"secret.txt": SECRET, "site2": {"x.html": SECRET}})
        make_tree(cls.site, {"inside.txt": b"inside", "smuggled.txt": SMUGGLED,
                             "sub": {"page.html": "<p>page</p>"}})


class HostileRequestsTest(Site):
    @classmethod
    def setUpClass(cls):
        cls.make_site()
        cls.server = Foldweb(cls.site)
        cls.port = cls.server.port
        cls.host = b"Host: 127.0.0.1:%d\r\n" % cls.port
        cls.sentinels = 0

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__()
        shutil.rmtree(cls.top, ignore_errors=True)

    def send(self, data):
        return answers(self.server.raw(data, timeout=5))

    def get(self, target):
        return self.send(b"GET " + target + b" HTTP/1.1\r\n" + self.host + b"Connection: close\r\n\r\n")

    def console_mark(self):
        """How many console lines there are once all that came before is in."""
        HostileRequestsTest.sentinels += 1
        mark = "/sentinel-%d" % self.sentinels
        self.server.get(mark)
        self.server.out.wait_for(lambda l: l == mark)
        return len(self.server.out.lines)

    def console_since(self, mark):
        return self.server.out.lines[mark:self.console_mark()]

    def test_traversal_in_every_spelling_is_refused(self):
        """No spelling of "..", a separator or a dot (plain, percent-encoded,
        double-encoded, backslash, overlong UTF-8, full-width, absolute form)
        reaches a file outside the folder: a spelling that decodes to a ".."
        component is 403, one that does not is just a name inside the folder
        and gets the index page."""
        port = b"%d" % self.port
        cases = [
            (b"/../secret.txt", 403),
            (b"/sub/../../secret.txt", 403),
            (b"/../site2/x.html", 403),
            (b"//../secret.txt", 403),
            (b"/%2e%2e/secret.txt", 403),
            (b"/%2E%2E%2Fsecret.txt", 403),
            (b"/.%2e/secret.txt", 403),
            (b"/sub/..%2f..%2fsecret.txt", 403),
            (b"/..\\secret.txt", 403),
            (b"/..%5Csecret.txt", 403),
            (b"/sub\\..\\..\\secret.txt", 403),
            (b"/%252e%252e/secret.txt", 200),             # decoded once: a name "%2e%2e"
            (b"/%25252e%25252e/secret.txt", 200),
            (b"/%c0%ae%c0%ae/secret.txt", 200),           # overlong UTF-8 is not a dot
            (b"/%c0%ae%c0%ae%c0%afsecret.txt", 200),      # nor an overlong '/'
            (b"/%e0%80%ae%e0%80%ae/secret.txt", 200),
            (b"/\xc0\xae\xc0\xae/secret.txt", 200),       # the same bytes sent raw
            (b"/%ef%bc%8e%ef%bc%8e/secret.txt", 200),     # full-width full stops
            (b"/..;/secret.txt", 200),
            (b"http://127.0.0.1:" + port + b"/../secret.txt", 403),
            (b"http://127.0.0.1:" + port + b"/%2e%2e/site2/x.html", 403),
        ]
        for target, status in cases:
            with self.subTest(target=target):
                got = self.get(target)
                self.assertEqual(len(got), 1)
                self.assertEqual(got[0][0], status)
                self.assertNotIn(SECRET, got[0][2])
                if status == 200:
                    self.assertEqual(got[0][1].get("content-type"), "text/html")
                    self.assertTrue(got[0][2].startswith(b"<html"))

    def test_nul_and_control_characters(self):
        """A raw NUL or control character in the request is refused by the
        listener; an encoded NUL names no file (it never cuts a name short,
        so "inside.txt%00.html" is not inside.txt) and cannot hide a "..";
        an encoded line break neither adds a header to the answer nor starts
        a line of its own on the console."""
        for target in [b"/a\x00b", b"/a\x1bb", b"/a\x7fb", b"/a\rb", b"/a\tb"]:
            with self.subTest(raw=target):
                got = self.get(target)
                self.assertEqual([a[0] for a in got], [400])
        got = self.send(b"GET / HTTP/1.1\r\n" + self.host + b"X-Null: a\x00b\r\nConnection: close\r\n\r\n")
        self.assertEqual([a[0] for a in got], [400])

        got = self.get(b"/inside.txt%00.html")
        self.assertEqual((got[0][0], got[0][1].get("content-type")), (200, "text/html"))
        self.assertTrue(got[0][2].startswith(b"<html"))
        self.assertEqual(self.get(b"/..%00")[0][0], 403)
        self.assertEqual(self.get(b"/..%00/secret.txt")[0][0], 403)

        mark = self.console_mark()
        got = self.get(b"/x%0d%0aSet-Cookie:%20stolen=1%0d%0a")
        self.assertEqual(got[0][0], 200)
        self.assertNotIn("set-cookie", got[0][1])
        lines = self.console_since(mark)
        self.assertFalse(any(l.startswith("Set-Cookie") for l in lines), lines[-6:])
        self.assertIn(self.site + "/x\\x0d\\x0aSet-Cookie: stolen=1\\x0d\\x0a", lines)

    def test_foreign_and_missing_host(self):
        """Only 127.0.0.1 or localhost with this exact port is a Host of this
        server: a page of another site that reaches the port through a
        rebound DNS name, or any other spelling of the address, gets 400 and
        none of the folder."""
        p = self.port
        refused = [
            b"", b"Host: \r\n", b"Host: evil.example\r\n", b"Host: evil.example:%d\r\n" % p,
            b"Host: 127.0.0.1\r\n", b"Host: 127.0.0.1:%d\r\n" % (p + 1), b"Host: 127.0.0.1:0%d\r\n" % p,
            b"Host: localhost.:%d\r\n" % p, b"Host: localhost.evil.example:%d\r\n" % p,
            b"Host: [::1]:%d\r\n" % p, b"Host: 127.0.0.2:%d\r\n" % p, b"Host: 127.1:%d\r\n" % p,
            b"Host: 2130706433:%d\r\n" % p, b"Host: 0x7f000001:%d\r\n" % p,
            b"Host: evil@127.0.0.1:%d\r\n" % p, b"Host: 127.0.0.1:%d@evil.example\r\n" % p,
            b"Host: 127.0.0.1:%d\r\nHost: evil.example\r\n" % p,
            b"Host: 127.0.0.1:%d\r\nHost: 127.0.0.1:%d\r\n" % (p, p),
        ]
        for version in [b"HTTP/1.1", b"HTTP/1.0"]:
            for host in refused:
                with self.subTest(version=version, host=host):
                    got = self.send(b"GET /inside.txt " + version + b"\r\n" + host + b"\r\n")
                    self.assertEqual([a[0] for a in got], [400])
                    self.assertNotIn(b"inside", got[0][2])
        # The authority of an absolute-form target must name us as well.
        got = self.send(b"GET http://evil.example:%d/inside.txt HTTP/1.1\r\n" % p + self.host + b"\r\n")
        self.assertEqual([a[0] for a in got], [400])
        for host in [b"127.0.0.1:%d" % p, b"localhost:%d" % p, b"LocalHost:%d" % p, b" 127.0.0.1:%d " % p]:
            with self.subTest(accepted=host):
                got = self.send(b"GET /inside.txt HTTP/1.1\r\nHost:" + host + b"\r\nConnection: close\r\n\r\n")
                self.assertEqual([(a[0], a[2]) for a in got], [(200, b"inside")])

    def smuggling(self, version, framing, body):
        """One request with this framing and body, then GET /smuggled.txt."""
        return (b"POST /inside.txt " + version + b"\r\n" + self.host + framing + b"\r\n" + body +
                b"GET /smuggled.txt HTTP/1.1\r\n" + self.host + b"\r\n")

    def expect_refused(self, version, rows):
        mark = self.console_mark()
        for framing, body in rows:
            with self.subTest(version=version, framing=framing):
                got = self.send(self.smuggling(version, framing, body))
                self.assertEqual([a[0] for a in got], [400])
                self.assertNotIn(SMUGGLED, b"".join(a[2] for a in got))
        lines = self.console_since(mark)
        self.assertNotIn("/smuggled.txt", lines)
        self.assertNotIn("/inside.txt", lines)

    def test_conflicting_content_length_and_transfer_encoding(self):
        """A request whose body length two readers could take two ways (a
        Content-Length beside chunked, in either order or spelling; two
        different Content-Lengths) is refused whole: the request hidden in
        its body is never answered as a second request."""
        self.expect_refused(b"HTTP/1.1", [
            (b"Content-Length: 6\r\nTransfer-Encoding: chunked\r\n", b"0\r\n\r\n"),
            (b"Transfer-Encoding: chunked\r\nContent-Length: 40\r\n", b"0\r\n\r\n"),
            (b"Content-Length: 0\r\nTransfer-Encoding:\tchunked\r\n", b""),
            (b"Content-Length: 0\r\nTransfer-Encoding: CHUNKED\r\n", b""),
            (b"Transfer-Encoding : chunked\r\nContent-Length: 0\r\n", b""),
            (b"Transfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n", b"0\r\n\r\n"),
            (b"Content-Length: 0\r\nContent-Length: 44\r\n", b""),
            (b"Content-Length: +0\r\n", b""),
            (b"Content-Length: -1\r\n", b""),
        ])

    def test_transfer_codings_that_do_not_end_in_chunked(self):
        """A Transfer-Encoding whose last coding is not chunked (with or
        without a Content-Length beside it), or any Transfer-Encoding in
        HTTP/1.0, leaves the body length open: refused whole, nothing in the
        body answered."""
        self.expect_refused(b"HTTP/1.1", [
            (b"Transfer-Encoding: xchunked\r\nContent-Length: 0\r\n", b""),
            (b"Transfer-Encoding: identity\r\nContent-Length: 0\r\n", b""),
            (b"Transfer-Encoding: identity\r\n", b""),
            (b"Transfer-Encoding: chunked, gzip\r\n", b""),
            (b"Transfer-Encoding: gzip\r\n", b""),
        ])
        self.expect_refused(b"HTTP/1.0", [(b"Transfer-Encoding: chunked\r\nConnection: keep-alive\r\n",
                                           b"0\r\n\r\n")])

    def test_pipelined_requests_are_still_answered(self):
        """The refusals above are about framing, not pipelining: two plain
        requests in one write are both answered, in order."""
        data = (b"GET /inside.txt HTTP/1.1\r\n" + self.host + b"\r\n" +
                b"GET /smuggled.txt HTTP/1.1\r\n" + self.host + b"Connection: close\r\n\r\n")
        self.assertEqual([(a[0], a[2]) for a in self.send(data)], [(200, b"inside"), (200, SMUGGLED)])


class WorkingFolderLinksTest(Site):
    """Links planted in the working folders, where the pages are written."""

    def setUp(self):
        self.make_site()
        self.addCleanup(shutil.rmtree, self.top, True)
        self.outside = os.path.join(self.top, "outside")
        os.makedirs(self.outside, mode=0o700)

    def day_folder(self, server, make=True):
        levels = [os.path.join(server.tmpdir, "Vantre.tmp")]
        levels.append(os.path.join(levels[-1], "foldweb"))
        levels.append(os.path.join(levels[-1], time.strftime("%Y%m%d")))
        if make:
            for level in levels:
                os.makedirs(level, mode=0o700, exist_ok=True)
                os.chmod(level, 0o700)
        return levels

    def test_a_page_file_name_that_is_a_link(self):
        """A symbolic link planted under the name of the next page file (to a
        file outside, or to a name that does not exist yet) is neither
        written through nor served: the file outside keeps its bytes, no file
        appears where the dangling link points, the answer is the index page
        itself, and one line on the error stream names the page file."""
        for kind in ["to a file", "dangling"]:
            with self.subTest(kind):
                target = os.path.join(self.outside, "victim.txt" if kind == "to a file" else "made.txt")
                if kind == "to a file":
                    with open(target, "wb") as f:
                        f.write(SECRET)
                with Foldweb(self.site) as s:
                    day = self.day_folder(s)[-1]
                    page = os.path.join(day, "%d_0001.htm" % s.port)
                    os.symlink(target, page)
                    status, headers, body = s.get("/")
                    self.assertEqual((status, headers.get("content-type")), (200, "text/html"))
                    self.assertTrue(body.startswith(b"<html") and b"page.html" not in body and b"sub/" in body, body[:80])
                    self.assertNotIn(SECRET, body)
                    line = s.err.wait_for(lambda l: "cannot write" in l)
                    # What the terminal shows: the text after any progress line.
                    self.assertEqual(line.rsplit("\r", 1)[-1], "foldweb: cannot write the page file " + page)
                    self.assertTrue(os.path.islink(page))
                    # The next page has a name of its own and is written.
                    status, _, body = s.get("/sub/")
                    with open(os.path.join(day, "%d_0002.htm" % s.port), "rb") as f:
                        self.assertEqual(f.read(), body)
                if kind == "to a file":
                    with open(target, "rb") as f:
                        self.assertEqual(f.read(), SECRET)
                    os.remove(target)
                else:
                    self.assertFalse(os.path.lexists(target))

    def test_a_working_folder_level_that_is_a_link(self):
        """A level of the working folder replaced by a link to a folder
        elsewhere (one that is the user's own and private, so only being a
        link tells it apart) is not written into: the page goes to the next
        safe place and the folder the link points to stays empty."""
        fallback = lambda s: os.path.join(s.home, ".cache", "Temp", "Temp", "Vantre.tmp", "foldweb",
                                          time.strftime("%Y%m%d"))
        cases = [
            # level replaced, where the page lands instead
            (0, fallback),
            (1, fallback),
            (2, lambda s: os.path.join(s.tmpdir, "Vantre.tmp", "foldweb")),
        ]
        for level, lands in cases:
            with self.subTest(level=level), Foldweb(self.site, env={"XDG_CACHE_HOME": ""}) as s:
                levels = self.day_folder(s, make=False)
                for above in levels[:level]:
                    os.makedirs(above, mode=0o700)
                os.symlink(self.outside, levels[level])
                status, _, body = s.get("/")
                self.assertEqual(status, 200)
                with open(os.path.join(lands(s), "%d_0001.htm" % s.port), "rb") as f:
                    self.assertEqual(f.read(), body)
                self.assertEqual(os.listdir(self.outside), [])
                self.assertFalse(any("cannot write" in l for l in s.err.lines), s.err.lines)

    def test_links_inside_the_served_folder_are_followed(self):
        """What the folder's owner links to is served: a symbolic link inside
        the served folder is followed, also to a file outside it. (A promise
        not made, and written down so: the folder's content is the user's.)"""
        os.symlink(os.path.join(self.top, "secret.txt"), os.path.join(self.site, "linked.txt"))
        with Foldweb(self.site) as s:
            self.assertEqual(s.get("/linked.txt")[2], SECRET)


class PageTags(html.parser.HTMLParser):
    """The tags, attributes, comments and link texts of a page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags, self.attrs, self.comments, self.links, self._in_a = set(), [], [], [], False

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        self.attrs += attrs
        if tag == "a":
            self._in_a = True
            self.links.append("")

    def handle_startendtag(self, tag, attrs):
        self.tags.add(tag)
        self.attrs += attrs

    def handle_endtag(self, tag):
        if tag == "a":
            self._in_a = False

    def handle_data(self, data):
        if self._in_a:
            self.links[-1] += data

    def handle_comment(self, data):
        self.comments.append(data)


class MarkupNamesTest(unittest.TestCase):
    """Folders and files named with markup, and requests that carry markup."""

    FILES = ["<script>alert(1).html", 'x" onmouseover="alert(1).html', "' onfocus='alert(1)'.htm",
             "&lt;b&gt;.html", "<img src=x onerror=alert(1)>.html", "--><!--.html", "]]>.htm"]
    FOLDERS = ["<script>", '"><svg onload=alert(1)>', "javascript:alert(1)", "<!--"]
    TAGS = {"html", "head", "meta", "title", "body", "a", "br", "hr"}
    ATTRIBUTES = {"lang", "charset", "name", "content", "href"}

    @classmethod
    def setUpClass(cls):
        cls.site = scratch_folder("foldweb-markup-")
        make_tree(cls.site, {name: "x" for name in cls.FILES})
        make_tree(cls.site, {name: {"inner.html": "inner"} for name in cls.FOLDERS})
        cls.server = Foldweb(cls.site)

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__()
        shutil.rmtree(cls.site, ignore_errors=True)

    def page(self, target):
        status, headers, body = self.server.get(target)
        self.assertEqual((status, headers.get("content-type")), (200, "text/html"))
        parsed = PageTags()
        parsed.feed(body.decode("utf-8"))
        parsed.close()
        self.assertLessEqual(parsed.tags, self.TAGS)
        self.assertLessEqual({k for k, _ in parsed.attrs}, self.ATTRIBUTES)
        for k, v in parsed.attrs:
            if k == "href":
                self.assertFalse(v.strip().lower().startswith(("javascript:", "data:", "//")), v)
                self.assertNotIn(":", v.split("/")[0], v)  # always a relative address
        self.assertEqual(len(parsed.comments), 1)  # the build comment alone
        return parsed

    def test_names_and_requests_made_of_markup_stay_text(self):
        """Names that try to open a tag, close an attribute, start a script
        address or end the build comment come out as the page's text only:
        every page holds nothing but its own few tags and attributes, the
        one build comment, and the names as link texts, letter for letter."""
        root = self.page("/")
        self.assertEqual(sorted(root.links), sorted(["../"] + [n + "/" for n in self.FOLDERS] + self.FILES))
        for folder in self.FOLDERS:
            with self.subTest(folder=folder):
                quoted = "".join("%%%02X" % b for b in folder.encode())
                self.assertEqual(self.page("/" + quoted + "/").links, ["../", "inner.html"])
        # The request's last component becomes the page title.
        for target in ["/%3Cscript%3Ealert(1)%3C%2Fscript%3E.txt", "/%22%3E%3Cimg%20src=x%20onerror=alert(1)%3E.txt",
                       "/--%3E%3Cscript%3E.txt"]:
            with self.subTest(target=target):
                self.page(target)


if __name__ == "__main__":
    unittest.main()
