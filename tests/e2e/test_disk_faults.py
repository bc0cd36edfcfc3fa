"""Faults of the disk end to end: working folders that cannot be made
because a file stands where a folder should be, and page files that cannot
be written because the file-size limit (RLIMIT_FSIZE) stops the write.
Every index request is still answered with its page, one line on the error
stream names the page file that could not be written, and nothing already
on disk is damaged. The tests may run as root, so none relies on
permission bits."""
import os
import resource
import shutil
import time
import unittest

from foldweb_run import Foldweb, make_tree, scratch_site

CANNOT_WRITE = "foldweb: cannot write the page file "
IN_THE_WAY = b"a file where a folder should be\n"
FILE_SIZE_LIMIT = 8 * 1024


def shown(line):
    """A line as the terminal leaves it: the progress display draws over
    itself with carriage returns, and a message may follow it on its line."""
    return line.rsplit("\r", 1)[-1]


def read(path):
    with open(path, "rb") as f:
        return f.read()


class DiskFaults(unittest.TestCase):
    def setUp(self):
        self.top, self.site = scratch_site("foldweb-disk-")
        self.addCleanup(shutil.rmtree, self.top, True)
        make_tree(self.site, {
            "index.html": "home",
            "large.bin": os.urandom(4 * FILE_SIZE_LIMIT),
            "small": {"one.html": "1"},
            # Enough long names that its page is several times the limit.
            "big": {"page-%03d-%s.html" % (i, "x" * 60): "p" for i in range(120)},
        })

    @staticmethod
    def levels(server):
        """The working folder, level by level: suite, program, day."""
        suite = os.path.join(server.tmpdir, "Vantre.tmp")
        program = os.path.join(suite, "foldweb")
        return [suite, program, os.path.join(program, time.strftime("%Y%m%d"))]

    def expect_page(self, server, target):
        status, headers, body = server.get(target)
        self.assertEqual((status, headers.get("content-type")), (200, "text/html"), target)
        self.assertTrue(body.startswith(b"<html") and body.endswith(b"</html>"), body[:80])
        return body

    @staticmethod
    def cannot_write_lines(server, names):
        """The error lines of pages that could not be saved, once the line of
        each page in `names` is in. A page saved whole never has a line, so
        no other can follow."""
        for name in names:
            server.err.wait_for(lambda l, name=name: shown(l).startswith(CANNOT_WRITE) and l.endswith("/" + name))
        return [shown(l) for l in server.err.lines if shown(l).startswith(CANNOT_WRITE)]


class FolderInTheWayTest(DiskFaults):
    def test_a_file_where_a_working_folder_level_should_be(self):
        """A file at any level of the working folder, with the fallback
        folder blocked the same way: every index request is answered with
        the page, the pages that cannot be saved are named one line each on
        the error stream, and the files in the way keep their bytes. A file
        in place of the day's folder only moves the pages one level up."""
        for level in range(3):
            with self.subTest(level=level), Foldweb(self.site, env={"XDG_CACHE_HOME": ""}) as s:
                levels = self.levels(s)
                for above in levels[:level]:
                    os.makedirs(above, mode=0o700)
                blockers = [levels[level], os.path.join(s.home, ".cache")]
                for path in blockers:
                    with open(path, "wb") as f:
                        f.write(IN_THE_WAY)
                bodies = [self.expect_page(s, t) for t in ["/", "/small/", "/big/"]]
                self.assertIn(b"one.html", bodies[1])
                names = ["%d_%04d.htm" % (s.port, n) for n in (1, 2, 3)]
                if level == 2:
                    for name, body in zip(names, bodies):
                        self.assertEqual(read(os.path.join(levels[1], name)), body)
                    self.assertEqual(self.cannot_write_lines(s, []), [])
                else:
                    lines = self.cannot_write_lines(s, names)
                    self.assertEqual(len(lines), 3, lines)
                for path in blockers:
                    self.assertEqual(read(path), IN_THE_WAY, path)


class FileSizeLimitTest(DiskFaults):
    def test_writes_that_pass_the_file_size_limit(self):
        """With a file-size limit smaller than one page, the write of that
        page fails (EFBIG; SIGXFSZ does not end the server): the answer is
        still the whole page, one line names the page file, the pages before
        and after it are written whole, an earlier run's page and this run's
        first page keep their bytes, and files larger than the limit are
        still served whole (the limit binds writes only)."""
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_LIMIT, FILE_SIZE_LIMIT))
        earlier = b"<html>an earlier run's page</html>" * 400  # itself over the limit
        with Foldweb(self.site, preexec_fn=limit) as s:
            day = self.levels(s)[2]
            os.makedirs(day, mode=0o700)
            for level in self.levels(s):
                os.chmod(level, 0o700)
            with open(os.path.join(day, "1_0001.htm"), "wb") as f:
                f.write(earlier)

            first = self.expect_page(s, "/small/")
            big = self.expect_page(s, "/big/")
            self.assertGreater(len(big), FILE_SIZE_LIMIT)
            self.assertIn(b"page-119-", big)
            after = self.expect_page(s, "/small/")
            self.assertEqual(s.get("/large.bin")[2], read(os.path.join(self.site, "large.bin")))

            page = lambda n: os.path.join(day, "%d_%04d.htm" % (s.port, n))
            self.assertEqual(read(page(1)), first)
            self.assertEqual(read(page(3)), after)
            self.assertEqual(self.cannot_write_lines(s, [os.path.basename(page(2))]), [CANNOT_WRITE + page(2)])
            self.assertEqual(read(os.path.join(day, "1_0001.htm")), earlier)
            self.assertIsNone(s.proc.poll())


if __name__ == "__main__":
    unittest.main()
