"""A video in the served folder plays in a real browser and can be sought:
headless Chromium opens a page with a <video>, seeks to the middle and plays
on from there. A browser seeks only in a resource whose server answers byte
ranges, so this also shows range answers working end to end."""
import http.client
import json
import os
import shutil
import signal
import subprocess
import tempfile
import unittest
import urllib.parse

from foldweb_run import Foldweb, find_programs, make_tree, scratch_site

SECONDS = 8

# The page reports what it saw with one request for a missing file with a
# query string: foldweb answers it with an index page and logs its target.
PAGE = """<!doctype html>
<meta charset="utf-8">
<title>media</title>
<video id="v" muted preload="auto" src="clip.webm"></video>
<script>
const v = document.getElementById("v");
const seen = {events: []};
let sent = false;
function ranges(r) {
  const out = [];
  for (let i = 0; i < r.length; i++) out.push([r.start(i), r.end(i)]);
  return out;
}
function report(why) {
  if (sent) return;
  sent = true;
  seen.why = why;
  seen.currentTime = v.currentTime;
  seen.played = ranges(v.played);
  seen.paused = v.paused;
  seen.error = v.error && {code: v.error.code, message: v.error.message};
  new Image().src = "/report?" + encodeURIComponent(JSON.stringify(seen));
}
function waitFor(what, test, seconds) {
  return new Promise(resolve => {
    const timer = setTimeout(() => resolve(false), seconds * 1000);
    const check = () => {
      if (!test()) return;
      clearTimeout(timer);
      v.removeEventListener(what, check);
      resolve(true);
    };
    v.addEventListener(what, check);
    check();
  });
}
v.addEventListener("error", () => report("error"));
for (const e of ["loadedmetadata", "seeking", "seeked", "playing"])
  v.addEventListener(e, () => seen.events.push(e));
(async () => {
  if (!await waitFor("loadedmetadata", () => v.readyState >= 1, 20)) return report("no metadata");
  seen.duration = v.duration;
  seen.seekable = ranges(v.seekable);
  const middle = v.duration / 2;
  seen.middle = middle;
  v.currentTime = middle;
  const seeked = new Promise(resolve => v.addEventListener("seeked", () => resolve(true), {once: true}));
  seen.seeked = await Promise.race([seeked, new Promise(r => setTimeout(() => r(false), 10000))]);
  seen.afterSeek = v.currentTime;
  if (!seen.seeked) return report("no seeked");
  try { await v.play(); } catch (e) { seen.playError = String(e); return report("play refused"); }
  const on = await waitFor("timeupdate", () => v.currentTime >= middle + 1, 15);
  v.pause();
  report(on ? "played" : "stalled");
})();
</script>
"""


def make_video(path):
    # VP8 in WebM, with a key frame every second (25 frames) so a seek to
    # a whole second lands on one.
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                    "-f", "lavfi", "-i", "testsrc=duration=%d:size=160x120:rate=25" % SECONDS,
                    "-c:v", "libvpx", "-b:v", "150k", "-g", "25", "-keyint_min", "25", "-an", path],
                   check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)


class MediaTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        missing = find_programs("chromium", "ffmpeg")
        if missing:
            raise unittest.SkipTest("not installed: %s" % missing)
        cls.top, cls.site = scratch_site("foldweb-media-")
        make_tree(cls.site, {"media.html": PAGE})
        make_video(os.path.join(cls.site, "clip.webm"))
        with open(os.path.join(cls.site, "clip.webm"), "rb") as f:
            cls.video = f.read()
        cls.server = Foldweb(cls.site)

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__()
        shutil.rmtree(cls.top, ignore_errors=True)

    def request(self, headers):
        conn = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10)
        try:
            conn.request("GET", "/clip.webm", headers=headers)
            response = conn.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            conn.close()

    def test_the_video_is_answered_in_ranges(self):
        size = len(self.video)
        status, headers, body = self.request({})
        self.assertEqual((status, headers.get("accept-ranges")), (200, "bytes"))
        self.assertEqual(body, self.video)
        # A piece from the middle, and the open-ended form a browser asks
        # with after a seek.
        cases = [("bytes=1000-1999", 1000, 1999), ("bytes=%d-" % (size // 2), size // 2, size - 1)]
        for asked, first, last in cases:
            with self.subTest(asked):
                status, headers, body = self.request({"Range": asked})
                self.assertEqual(status, 206)
                self.assertEqual(headers.get("content-range"), "bytes %d-%d/%d" % (first, last, size))
                self.assertEqual(body, self.video[first:last + 1])

    def test_the_browser_plays_on_from_the_middle_after_a_seek(self):
        seen = self.open_in_browser("http://127.0.0.1:%d/media.html" % self.server.port)
        self.assertIsNone(seen["error"], seen)
        self.assertAlmostEqual(seen.get("duration", 0), SECONDS, delta=0.1, msg=seen)
        middle = seen["middle"]
        # Seekable over the middle: what a browser grants only a server that
        # answers ranges.
        self.assertTrue(any(a <= middle <= b for a, b in seen["seekable"]), seen)
        self.assertTrue(seen["seeked"], seen)
        self.assertAlmostEqual(seen["afterSeek"], middle, delta=0.05, msg=seen)
        self.assertEqual(seen["why"], "played", seen)
        self.assertGreaterEqual(seen["currentTime"], middle + 1, seen)
        # Playing began at the middle, never from the start.
        self.assertTrue(seen["played"], seen)
        self.assertGreaterEqual(min(a for a, _ in seen["played"]), middle - 0.05, seen)

    def open_in_browser(self, address):
        """What the page reported, once headless Chromium has run it."""
        profile = tempfile.mkdtemp(prefix="chromium-", dir=self.top)
        log_path = os.path.join(self.top, "chromium.log")
        log = open(log_path, "wb")
        self.addCleanup(log.close)
        browser = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-dev-shm-usage", "--disable-quic", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--mute-audio",
             "--autoplay-policy=no-user-gesture-required", "--user-data-dir=" + profile, address],
            env={**os.environ, "HOME": profile, "TMPDIR": profile}, stdin=subprocess.DEVNULL,
            stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        # The browser's own helpers share its process group.
        self.addCleanup(stop_group, browser)
        try:
            line = self.server.out.wait_for(lambda l: l.startswith("/report?"), timeout=90)
        except AssertionError:
            stop_group(browser)
            with open(log_path, "rb") as f:
                # Without a session bus every start logs its complaints.
                lines = [l for l in f.read().decode("utf-8", "replace").splitlines() if "dbus" not in l]
            tail = "\n".join(lines[-30:])
            raise AssertionError("the page reported nothing (browser exit %r); its log ends:\n%s"
                                 % (browser.poll(), tail)) from None
        return json.loads(urllib.parse.unquote(line[len("/report?"):]))


def stop_group(proc):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(10)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        except ProcessLookupError:
            pass
    # Helpers left over once the browser itself has gone.
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


if __name__ == "__main__":
    unittest.main()
