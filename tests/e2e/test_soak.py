"""A soak of the built server: 100 client connections at once, for about a
minute, sending a mix of file requests (every byte checked), index requests,
HEAD, malformed requests, oversized header blocks, clients that go away in
the middle of an answer and clients that say nothing. Afterwards the server
must still answer, hold no more file descriptors than before, and have
grown its resident memory by less than 10 MiB. Bounded in count and time."""
import hashlib
import random
import shutil
import socket
import struct
import threading
import time
import unittest

from foldweb_run import Foldweb, make_tree, parse_head, sanitized, scratch_site

CLIENTS = 100
SOAK_SECONDS = 45          # the mixed load; every wait below is bounded too
ACTIONS_PER_CLIENT = 400   # a bound on the count whatever the speed
SETTLE_SECONDS = 15        # for connections the server is still closing
MEMORY_GROWTH_KIB = 10 * 1024
IO_TIMEOUT = 20.0


def blob(size, seed):
    return random.Random(seed).randbytes(size)


FILES = {
    "small.txt": b"small file\n",
    "page.html": b"<p>page</p>" * 50,
    "medium.bin": blob(200 * 1024, 1),
    "large.bin": blob(3 * 1024 * 1024, 2),
}
TREE = dict(FILES, sub={"a.html": "a", "b.htm": "b", "deeper": {}}, empty={})


class Failure(Exception):
    pass


class Connection:
    """One keep-alive client connection that reads whole answers."""

    def __init__(self, port):
        self.port = port
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=IO_TIMEOUT)
        self.pending = b""

    def close(self, reset=False):
        if reset:
            # An abortive close: the server sees a reset, not an end of stream.
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.sock.close()

    def send(self, data):
        self.sock.sendall(data)

    def _fill(self):
        b = self.sock.recv(65536)
        if not b:
            raise Failure("connection closed before the answer was complete")
        self.pending += b

    def read_answer(self, head_only=False):
        while b"\r\n\r\n" not in self.pending:
            self._fill()
        head, _, self.pending = self.pending.partition(b"\r\n\r\n")
        status, headers = parse_head(head)
        length = int(headers["content-length"])
        if head_only:
            return status, headers, b""
        while len(self.pending) < length:
            self._fill()
        body, self.pending = self.pending[:length], self.pending[length:]
        return status, headers, body

    def read_to_close(self):
        data = self.pending
        while True:
            try:
                b = self.sock.recv(65536)
            except ConnectionResetError:
                break
            if not b:
                break
            data += b
        return data


class Client(threading.Thread):
    """One of the hundred: a mix of actions until the time or count is up."""

    def __init__(self, soak, index):
        super().__init__(daemon=True)
        self.soak = soak
        self.rnd = random.Random(index)
        self.answered = 0
        self.failures = []
        self.silent = []

    def request(self, method, target, extra=""):
        return ("%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n%s\r\n"
                % (method, target, self.soak.port, extra)).encode("latin-1")

    def run(self):
        deadline = self.soak.deadline
        actions = [
            (30, self.files_keep_alive),
            (15, self.index_pages),
            (10, self.heads),
            (10, self.malformed),
            (5, self.oversized_header),
            (10, self.gone_mid_answer),
            (5, self.silent_client),
        ]
        weights = [w for w, _ in actions]
        try:
            for _ in range(ACTIONS_PER_CLIENT):
                if time.monotonic() >= deadline:
                    break
                self.rnd.choices([a for _, a in actions], weights)[0]()
        except Exception as e:  # every failure is reported, none ends the soak
            self.failures.append("%s: %r" % (type(e).__name__, e))
        finally:
            for c in self.silent:
                c.close()

    # --- The actions --------------------------------------------------------

    def files_keep_alive(self):
        """Several files on one connection, each byte checked."""
        c = Connection(self.soak.port)
        try:
            for _ in range(self.rnd.randint(1, 4)):
                name = self.rnd.choice(list(FILES))
                c.send(self.request("GET", "/" + name))
                status, _, body = c.read_answer()
                if status != 200 or hashlib.sha256(body).digest() != self.soak.digests[name]:
                    raise Failure("wrong answer for %s: %d, %d bytes" % (name, status, len(body)))
                self.answered += 1
        finally:
            c.close()

    def index_pages(self):
        c = Connection(self.soak.port)
        try:
            for target in self.rnd.sample(["/", "/sub/", "/empty/", "/nosuch/", "/sub/deeper"], 2):
                c.send(self.request("GET", target))
                status, headers, body = c.read_answer()
                if status != 200 or not body.startswith(b"<html") or headers.get("content-type") != "text/html":
                    raise Failure("wrong index answer for %s: %d" % (target, status))
                self.answered += 1
        finally:
            c.close()

    def heads(self):
        c = Connection(self.soak.port)
        try:
            name = self.rnd.choice(list(FILES))
            c.send(self.request("HEAD", "/" + name))
            status, headers, _ = c.read_answer(head_only=True)
            if status != 200 or headers.get("content-length") != str(len(FILES[name])):
                raise Failure("wrong HEAD answer for %s" % name)
            # The connection goes on: no body was sent after the head.
            c.send(self.request("GET", "/small.txt"))
            status, _, body = c.read_answer()
            if (status, body) != (200, FILES["small.txt"]):
                raise Failure("a body followed the HEAD answer")
            self.answered += 2
        finally:
            c.close()

    def malformed(self):
        c = Connection(self.soak.port)
        try:
            c.send(self.rnd.choice([
                b"GARBAGE\r\n\r\n",
                b"GET / HTTP/1.1\r\nHost: evil.example\r\n\r\n",
                b"GET / HTTP/1.1\r\n\r\n",
                b"GET /\x01 HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % self.soak.port,
                b"\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03",
            ]))
            data = c.read_to_close()
            if not data.startswith(b"HTTP/1.1 400 "):
                raise Failure("malformed request answered %r" % data[:40])
            self.answered += 1
        finally:
            c.close()

    def oversized_header(self):
        c = Connection(self.soak.port)
        try:
            c.send(self.request("GET", "/", "X-Filler: %s\r\n" % ("f" * (17 * 1024))))
            data = c.read_to_close()
            if not data.startswith(b"HTTP/1.1 431 "):
                raise Failure("oversized header answered %r" % data[:40])
            self.answered += 1
        finally:
            c.close()

    def gone_mid_answer(self):
        """Asks for the large file, reads a little and resets the connection."""
        c = Connection(self.soak.port)
        try:
            c.send(self.request("GET", "/large.bin"))
            c._fill()
        finally:
            c.close(reset=self.rnd.random() < 0.5)

    def silent_client(self):
        """A connection that says nothing, or half a request, until the end."""
        c = Connection(self.soak.port)
        if self.rnd.random() < 0.5:
            c.send(b"GET /small.txt HTTP/1.1\r\nHost: 127.0.")
        self.silent.append(c)
        # Two at a time per client, so the 100 stay well under the
        # listener's limit of 512 connections.
        if len(self.silent) > 2:
            self.silent.pop(0).close()


class SoakTest(unittest.TestCase):
    def setUp(self):
        self.top, self.site = scratch_site("foldweb-soak-")
        self.addCleanup(shutil.rmtree, self.top, True)
        make_tree(self.site, TREE)
        self.digests = {name: hashlib.sha256(data).digest() for name, data in FILES.items()}

    def settled_fds(self, server, baseline):
        """The server's descriptors once its closing connections are gone."""
        deadline = time.monotonic() + SETTLE_SECONDS
        while True:
            fds = server.open_fds()
            if len(fds) <= len(baseline) or time.monotonic() > deadline:
                return fds
            time.sleep(0.2)

    def test_hundred_connections_of_mixed_and_hostile_clients(self):
        with Foldweb(self.site) as server:
            self.port = server.port
            # One of each answer first, so what the first use of each road
            # allocates for good (the working folder, caches of the C
            # library) is in the baseline.
            for target in ["/", "/sub/", "/small.txt", "/large.bin"]:
                self.assertEqual(server.get(target)[0], 200)
            baseline_fds = self.settled_fds(server, [])
            baseline_kib = server.resident_kib()

            self.deadline = time.monotonic() + SOAK_SECONDS
            clients = [Client(self, i) for i in range(CLIENTS)]
            for c in clients:
                c.start()
            peak_fds = 0
            while any(c.is_alive() for c in clients) and time.monotonic() < self.deadline + 60:
                peak_fds = max(peak_fds, len(server.open_fds()))
                time.sleep(0.5)
            for c in clients:
                c.join(IO_TIMEOUT)
                self.assertFalse(c.is_alive(), "a client is still waiting for the server")
            failures = [f for c in clients for f in c.failures]
            self.assertEqual(failures, [])
            answered = sum(c.answered for c in clients)

            # Still answering, at once and correctly.
            status, _, body = server.get("/small.txt", timeout=5)
            self.assertEqual((status, body), (200, FILES["small.txt"]))
            self.assertEqual(server.get("/", timeout=5)[0], 200)

            fds = self.settled_fds(server, baseline_fds)
            grown_kib = server.resident_kib() - baseline_kib
            print("\nsoak: %d answers checked by %d clients in %d s; descriptors %d before, "
                  "%d at most, %d after; resident memory %+d KiB"
                  % (answered, CLIENTS, SOAK_SECONDS, len(baseline_fds), peak_fds, len(fds), grown_kib))
            self.assertLessEqual(len(fds), len(baseline_fds), (baseline_fds, fds))
            if not sanitized():
                self.assertLess(grown_kib, MEMORY_GROWTH_KIB)
            self.assertIsNone(server.proc.poll())


if __name__ == "__main__":
    unittest.main()
