"""Runs the built foldweb the way a user does and talks to it over HTTP.

The binary comes from $FOLDWEB_BINARY (set by CTest). Each run gets its own
temporary home: TMPDIR and HOME point into it, and a fake xdg-open earlier on
PATH records the address it was handed instead of opening a browser.
"""
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time

BINARY = os.environ.get("FOLDWEB_BINARY", "")

FAKE_OPENER = """#!/bin/sh
printf '%s\\n' "$@" >> "{record}"
exit {status}
"""


def find_programs(*names):
    """The names not found on PATH. Under CI a missing tool is a failure,
    not a reason to skip: scripts/install-deps test installs them all."""
    missing = [n for n in names if shutil.which(n) is None]
    if missing and os.environ.get("CI"):
        raise AssertionError("missing in CI: %s (scripts/install-deps test installs them)" % missing)
    return missing


class Lines:
    """Collects the lines a stream writes, from a thread of its own."""

    def __init__(self, stream):
        self.lines = []
        self._cond = threading.Condition()
        self._thread = threading.Thread(target=self._pump, args=(stream,), daemon=True)
        self._thread.start()

    def _pump(self, stream):
        for raw in iter(stream.readline, b""):
            with self._cond:
                self.lines.append(raw.rstrip(b"\n").decode("utf-8", "replace"))
                self._cond.notify_all()
        stream.close()

    def wait_for(self, predicate, timeout=10.0):
        """The first line for which predicate is true; fails after timeout."""
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                for line in self.lines:
                    if predicate(line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("no such line; got %r" % self.lines)
                self._cond.wait(left)

    def wait_count(self, n, timeout=10.0):
        deadline = time.monotonic() + timeout
        with self._cond:
            while len(self.lines) < n:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise AssertionError("expected %d lines; got %r" % (n, self.lines))
                self._cond.wait(left)
            return list(self.lines)

    def join(self, timeout=10.0):
        self._thread.join(timeout)


class Foldweb:
    """One running foldweb. Use as a context manager."""

    def __init__(self, *args, opener_status=0, cwd=None, env=None, wrapper=(), wait_listening=True,
                 preexec_fn=None, prepare=None):
        if not BINARY:
            raise RuntimeError("FOLDWEB_BINARY is not set")
        self.home = scratch_folder("foldweb-e2e-")
        self.tmpdir = os.path.join(self.home, "tmp")
        self.bindir = os.path.join(self.home, "bin")
        os.makedirs(self.tmpdir)
        os.makedirs(self.bindir)
        os.chmod(self.tmpdir, 0o777)
        self.opener_record = os.path.join(self.home, "opened.txt")
        if opener_status is not None:
            opener = os.path.join(self.bindir, "xdg-open")
            with open(opener, "w") as f:
                f.write(FAKE_OPENER.format(record=self.opener_record, status=opener_status))
            os.chmod(opener, 0o755)
        self.env = dict(os.environ)
        self.env.update({"TMPDIR": self.tmpdir, "HOME": self.home,
                         "PATH": self.bindir + ":" + os.environ.get("PATH", "/usr/bin:/bin")})
        self.env.pop("DISPLAY", None)
        if env:
            self.env.update(env)
        self._command = ([*wrapper, BINARY, *args], cwd)
        # Runs in the child before the program starts (resource limits, say).
        self._preexec_fn = preexec_fn
        self.port = None
        # The port comes from the clock; another program on this machine may
        # hold it, so a start that finds it taken is tried again.
        attempts = 6
        for attempt in range(attempts):
            if os.path.exists(self.opener_record):
                os.remove(self.opener_record)  # only the run that listens counts
            if prepare:
                prepare()  # what a run that ended at once may have changed is made again
            self._start()
            if not wait_listening:
                return
            try:
                self._wait_listening()
                return
            except AssertionError:
                taken = self.proc.poll() is not None and any("in use" in l for l in self.err.lines)
                if not taken or attempt == attempts - 1:
                    raise
                time.sleep(0.05 * (attempt + 1))  # a later tick gives another port

    def _start(self):
        command, cwd = self._command
        self.proc = subprocess.Popen(command, cwd=cwd, env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, preexec_fn=self._preexec_fn)
        self.out = Lines(self.proc.stdout)
        self.err = Lines(self.proc.stderr)

    def _wait_listening(self):
        prefix = self.out.wait_for(lambda l: l.startswith("http://127.0.0.1:"))
        m = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/", prefix)
        assert m, prefix
        self.port = int(m.group(1))
        deadline = time.monotonic() + 10
        while True:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                if self.proc.poll() is not None:
                    self.err.join()
                    raise AssertionError("foldweb ended; stderr %r" % self.err.lines)
                if time.monotonic() > deadline:
                    raise AssertionError("foldweb is not listening; stderr %r" % self.err.lines)
                time.sleep(0.02)

    def opened(self):
        try:
            with open(self.opener_record) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def raw(self, data, timeout=10.0):
        """Sends raw bytes on a new connection and reads until it closes."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(data)
            chunks = []
            while True:
                try:
                    b = s.recv(65536)
                except socket.timeout:
                    break
                if not b:
                    break
                chunks.append(b)
            return b"".join(chunks)

    def get(self, target, method="GET", host=None, timeout=10.0):
        """(status, headers, body) of one request on its own connection."""
        host = host or "127.0.0.1:%d" % self.port
        req = "%s %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n" % (method, target, host)
        return parse_response(self.raw(req.encode("latin-1"), timeout))

    def open_fds(self):
        """The file descriptors the server holds open, by number."""
        return sorted(int(fd) for fd in os.listdir("/proc/%d/fd" % self.proc.pid))

    def resident_kib(self):
        """The server's resident memory (VmRSS) in KiB."""
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        raise AssertionError("no VmRSS for %d" % self.proc.pid)

    def stop(self, sig=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.out.join()
        self.err.join()
        return self.proc.returncode

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.home, ignore_errors=True)


def sanitized():
    """True when the binary is built with AddressSanitizer, whose memory
    figures (quarantine, shadow) say nothing about the program's own."""
    with open(BINARY, "rb") as f:
        return b"__asan_init" in f.read()


def parse_head(head):
    """(status, headers) of an answer's header block, without its blank line;
    header names in lower case."""
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1])
    headers = {}
    for line in lines[1:]:
        k, _, v = line.partition(":")
        headers[k.strip().lower()] = v.strip()
    return status, headers


def parse_response(data):
    head, _, body = data.partition(b"\r\n\r\n")
    return (*parse_head(head), body)


def scratch_folder(prefix):
    """A new temporary folder that others may read: a server run as another
    user (through setpriv, say) must see what a test puts in it."""
    top = tempfile.mkdtemp(prefix=prefix)
    os.chmod(top, 0o755)
    return top


def scratch_site(prefix):
    """(top, site): a new scratch folder and the empty folder site inside it
    to serve, with room beside it for what must never be served."""
    top = scratch_folder(prefix)
    site = os.path.join(top, "site")
    os.makedirs(site)
    return top, site


def make_tree(root, spec):
    """Creates files (bytes or str values) and folders (dict values)."""
    for name, value in spec.items():
        path = os.path.join(root, name)
        if isinstance(value, dict):
            os.makedirs(path, exist_ok=True)
            make_tree(path, value)
        else:
            with open(path, "wb") as f:
                f.write(value if isinstance(value, bytes) else value.encode())
