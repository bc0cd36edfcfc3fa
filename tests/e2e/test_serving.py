"""The serving spine end to end: start-up, the road of a request, content
types, the index answer, and the requests that must not get through."""
import os
import shutil
import socket
import time
import unittest

from foldweb_run import Foldweb, make_tree, parse_response, scratch_folder, scratch_site

TREE = {
    "Photo.JPG": b"\xff\xd8jpeg",
    "doc.HTML": "<p>doc</p>",
    "style.css": "p{}",
    "app.js": "export {}",
    "README": "read me",
    "a b.html": "space",
    "a+b.html": "plus",
    "sub": {"page one.html": "<p>one</p>"},
}


class ServingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.top, cls.site = scratch_site("foldweb-site-")
        make_tree(cls.site, TREE)
        # A sibling the requests must never reach.
        make_tree(cls.top, {"secret.txt": "secret", "site2": {"x.html": "sibling"}})
        cls.server = Foldweb(cls.site + "/")

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__()
        shutil.rmtree(cls.top, ignore_errors=True)

    def test_start_up(self):
        s = self.server
        self.assertTrue(50000 <= s.port <= 58191)
        self.assertEqual(s.out.lines[0], "http://127.0.0.1:%d/" % s.port)
        # The served folder loses its trailing separator.
        self.assertEqual(s.err.wait_count(1)[0], self.site)
        deadline = time.monotonic() + 5
        while not s.opened() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(s.opened(), ["http://127.0.0.1:%d/" % s.port])

    def test_files_and_content_types(self):
        cases = [
            ("/Photo.JPG", "image/jpeg", TREE["Photo.JPG"]),
            ("/doc.HTML", "text/html", b"<p>doc</p>"),
            ("/style.css", "text/css", b"p{}"),
            ("/app.js", "text/javascript", b"export {}"),
            ("/README", "application/octet-stream", b"read me"),
            ("/sub/page%20one.html", "text/html", b"<p>one</p>"),
            ("/a+b.html", "text/html", b"space"),          # + is a space
            ("/a%2Bb.html", "text/html", b"plus"),
            ("/sub%2Fpage%20one.html", "text/html", b"<p>one</p>"),
            ("http://127.0.0.1:%d/README" % self.server.port, "application/octet-stream", b"read me"),
        ]
        for target, ctype, body in cases:
            with self.subTest(target=target):
                status, headers, got = self.server.get(target)
                self.assertEqual(status, 200)
                self.assertEqual(headers.get("content-type"), ctype)
                self.assertEqual(headers.get("content-length"), str(len(body)))
                self.assertEqual(got, body)

    def test_console_lines_of_a_request(self):
        self.server.get("/sub/page%20one.html")
        lines = self.server.out.wait_for(lambda l: l == self.site + "/sub/page one.html")
        i = self.server.out.lines.index(lines)
        self.assertEqual(self.server.out.lines[i - 1], "/sub/page%20one.html")

    def test_index_answers(self):
        # Everything that names no regular file is answered with an index page.
        for target in ["/", "/sub", "/sub/", "/nosuch.txt", "/favicon.ico",
                       "/doc.HTML?v=2", "/doc.HTML%00", "/gone/deeper/"]:
            with self.subTest(target=target):
                status, headers, body = self.server.get(target)
                self.assertEqual(status, 200)
                self.assertEqual(headers.get("content-type"), "text/html")
                self.assertTrue(body.startswith(b"<html"), body[:80])

    def test_index_page_is_kept_on_disk(self):
        status, _, body = self.server.get("/")
        self.assertEqual(status, 200)
        day = time.strftime("%Y%m%d")
        folder = os.path.join(self.server.tmpdir, "Vantre.tmp", "foldweb")
        pages = []
        for d in os.listdir(folder):
            pages += [os.path.join(folder, d, p) for p in os.listdir(os.path.join(folder, d))]
        prefix = "%d_" % self.server.port
        self.assertTrue(all(os.path.basename(p).startswith(prefix) and p.endswith(".htm") for p in pages))
        with open(max(pages), "rb") as f:
            self.assertEqual(f.read(), body)
        self.assertTrue(any(day in p for p in pages))

    def test_requests_that_climb_out_are_refused(self):
        for target in ["/../secret.txt", "/%2e%2e/secret.txt", "/sub/..%2F..%2Fsecret.txt",
                       "/..%5Csecret.txt", "/sub/%2E%2E", "/..", "/..%00", "/.%2e/site2/x.html",
                       "/sub/../../secret.txt"]:
            with self.subTest(target=target):
                status, _, body = self.server.get(target)
                self.assertEqual(status, 403)
                self.assertNotIn(b"secret", body.replace(b"403", b""))
        # A target that does not begin with '/' would name a sibling folder.
        status, _, body = parse_response(self.server.raw(
            b"GET 2/x.html HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n\r\n" % self.server.port))
        self.assertIn(status, (400, 403))
        self.assertNotIn(b"sibling", body)

    def test_double_encoding_is_decoded_once(self):
        # %252e is a literal "%2e" in the name: no file, an index answer.
        status, headers, _ = self.server.get("/%252e%252e/secret.txt")
        self.assertEqual(status, 200)
        self.assertEqual(headers.get("content-type"), "text/html")

    def test_foreign_host_is_refused(self):
        for host in ["evil.example.org", "127.0.0.1:1", "localhost.evil.example.org:%d" % self.server.port]:
            with self.subTest(host=host):
                status, _, _ = self.server.get("/README", host=host)
                self.assertEqual(status, 400)
        status, _, body = self.server.get("/README", host="localhost:%d" % self.server.port)
        self.assertEqual((status, body), (200, b"read me"))

    def test_control_characters_never_reach_the_console(self):
        self.server.get("/%1b[31mred%07")
        line = self.server.out.wait_for(lambda l: "red" in l and l.startswith(self.site))
        self.assertNotIn("\x1b", line)
        self.assertIn("\\x1b[31mred\\x07", line)
        self.assertFalse(any("\x1b" in l for l in self.server.out.lines))

    def test_head_has_headers_and_no_body(self):
        data = self.server.raw(b"HEAD /README HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nConnection: close\r\n\r\n"
                               % self.server.port)
        status, headers, body = parse_response(data)
        self.assertEqual((status, headers.get("content-length"), body), (200, "7", b""))


class SpecialFilesTest(unittest.TestCase):
    def setUp(self):
        self.site = scratch_folder("foldweb-site-")
        self.addCleanup(shutil.rmtree, self.site, True)

    def test_fifo_gets_the_index_answer_and_does_not_block(self):
        os.mkfifo(os.path.join(self.site, "pipe.html"))
        make_tree(self.site, {"after.txt": "after"})
        with Foldweb(self.site) as s:
            status, headers, _ = s.get("/pipe.html", timeout=5)
            self.assertEqual((status, headers.get("content-type")), (200, "text/html"))
            self.assertEqual(s.get("/after.txt", timeout=5)[2], b"after")

    def test_file_that_cannot_be_opened_is_403_and_the_loop_goes_on(self):
        make_tree(self.site, {"locked.txt": "locked", "open.txt": "open"})
        os.chmod(os.path.join(self.site, "locked.txt"), 0)
        # Permission bits do not stop root, so run the server as nobody then.
        wrapper = ("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups") if os.geteuid() == 0 else ()
        with Foldweb(self.site, wrapper=wrapper) as s:
            self.assertEqual(s.get("/locked.txt")[0], 403)
            self.assertEqual(s.get("/open.txt")[2], b"open")


class StartUpTest(unittest.TestCase):
    def setUp(self):
        self.site = scratch_folder("foldweb-site-")
        self.addCleanup(shutil.rmtree, self.site, True)
        make_tree(self.site, {"index.html": "home", "sub": {}})

    def test_arguments_name_the_served_folder(self):
        cases = [
            ([self.site], self.site),
            ([self.site + "/"], self.site),
            ([os.path.join(self.site, "index.html")], self.site),
            ([os.path.join(self.site, "nosuch")], self.site),
            ([os.path.join(self.site, "sub"), self.site], os.path.join(self.site, "sub")),
        ]
        for args, served in cases:
            with self.subTest(args=args), Foldweb(*args) as s:
                self.assertEqual(s.err.wait_count(1)[0], served)

    def test_relative_argument_is_taken_against_the_current_folder(self):
        for arg, served in [("nosuch", self.site), ("sub", os.path.join(self.site, "sub")), (".", self.site)]:
            with self.subTest(arg=arg), Foldweb(arg, cwd=self.site) as s:
                self.assertEqual(s.err.wait_count(1)[0], served)
                if arg != "sub":
                    self.assertEqual(s.get("/index.html")[2], b"home")

    def test_no_opener_does_not_stop_serving(self):
        with Foldweb(self.site, opener_status=None, env={"PATH": "/nonexistent"}) as s:
            self.assertEqual(s.get("/index.html")[2], b"home")

    def test_taken_port_is_reported_and_ends_with_status_1(self):
        # The port follows the millisecond tick counter; hold every port the
        # next second of ticks can give, then start.
        import resource
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 4096), hard))
        held = []
        try:
            now = int(time.clock_gettime(time.CLOCK_MONOTONIC) * 1000)
            for tick in range(now, now + 1500):
                s = socket.socket()
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                try:
                    s.bind(("127.0.0.1", (tick & 0x1FFF) + 50000))
                    s.listen(1)
                    held.append(s)
                except OSError:
                    s.close()
            run = Foldweb(self.site, wait_listening=False)
            code = run.proc.wait(20)
            run.out.join()
            run.err.join()
            shutil.rmtree(run.home, ignore_errors=True)
        finally:
            for s in held:
                s.close()
            resource.setrlimit(resource.RLIMIT_NOFILE, (soft, hard))
        self.assertEqual(code, 1)
        self.assertTrue(any("127.0.0.1:" in l and "in use" in l for l in run.err.lines), run.err.lines)


if __name__ == "__main__":
    unittest.main()
