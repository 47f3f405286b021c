#!/usr/bin/env python3
"""The demo service answers as the web engine needs: byte ranges, no caching, a log line per
request, and a stream whose loop point joins without a jump. A fault here would show up in
the scenarios only as a stream that stops, so it is checked on its own."""

import http.client
import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))

from realstack import DEMO_SERVICE, tone_hz  # noqa: E402


class DemoService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.log = os.path.join(cls.folder.name, "requests.log")
        cls.service = subprocess.Popen([sys.executable, DEMO_SERVICE, "--port", "0", "--log", cls.log],
                                       stderr=subprocess.PIPE, text=True)
        line = cls.service.stderr.readline()
        cls.port = int(line.rsplit(":", 1)[1].strip(" /\n"))

    @classmethod
    def tearDownClass(cls):
        cls.service.terminate()
        cls.service.wait(5)
        cls.service.stderr.close()
        cls.folder.cleanup()

    def fetch(self, path, method="GET", headers=None):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            connection.request(method, path, headers=headers or {})
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def test_ranges(self):
        status, headers, whole = self.fetch("/stream/TBS.wav")
        self.assertEqual(status, 200)
        self.assertEqual(headers["Cache-Control"], "no-store")
        self.assertEqual(headers["Accept-Ranges"], "bytes")
        size = len(whole)
        cases = [
            ("bytes=44-", 206, 44, size - 1),
            ("bytes=0-9", 206, 0, 9),
            ("bytes=-10", 206, size - 10, size - 1),
            ("bytes=%d-%d" % (size - 5, size + 100), 206, size - 5, size - 1),
            ("bytes=%d-" % size, 416, None, None),
            ("bytes=5-2", 200, 0, size - 1),
            ("items=0-1", 200, 0, size - 1),
        ]
        for header, want, first, last in cases:
            with self.subTest(range=header):
                status, headers, body = self.fetch("/stream/TBS.wav", headers={"Range": header})
                self.assertEqual(status, want)
                if status == 206:
                    self.assertEqual(headers["Content-Range"], "bytes %d-%d/%d" % (first, last, size))
                    self.assertEqual(body, whole[first:last + 1])
                elif status == 416:
                    self.assertEqual(headers["Content-Range"], "bytes */%d" % size)
                else:
                    self.assertEqual(body, whole)

    def test_routes_and_log(self):
        status, headers, page = self.fetch("/player/player.html")
        self.assertEqual(status, 200)
        self.assertIn(b'"/stream/"', page)
        status, headers, body = self.fetch("/player/player.html", method="HEAD")
        self.assertEqual((status, body, headers["Content-Length"]), (200, b"", str(len(page))))
        status, headers, logo = self.fetch("/static/2.0/common/images/sitelogo.png")
        self.assertEqual((status, headers["Content-Type"], logo[:8]), (200, "image/png", b"\x89PNG\r\n\x1a\n"))
        for path in ("/", "/player/", "/stream/a/b.wav", "/static/2.0/common/images/other.png"):
            with self.subTest(path=path):
                self.assertEqual(self.fetch(path)[0], 404)
        self.fetch("/stream/INT.wav", headers={"Range": "bytes=44-"})
        time.sleep(0.2)
        with open(self.log, encoding="utf-8") as f:
            lines = [line.split(" ", 1)[1] for line in f.read().splitlines()]
        self.assertIn("GET /stream/INT.wav 206 bytes=44-", lines)
        self.assertIn("HEAD /player/player.html 200 -", lines)

    def test_stream_tone_loops_seamlessly(self):
        for code in ("TBS", "INT", "東京局"):
            with self.subTest(code=code):
                status, _, wav = self.fetch("/stream/" + "".join("%%%02X" % b for b in code.encode()) + ".wav")
                self.assertEqual(status, 200)
                channels, rate = struct.unpack("<HI", wav[22:28])
                samples = struct.unpack("<%dh" % ((len(wav) - 44) // 2), wav[44:])
                self.assertEqual((wav[:4], wav[8:12], channels), (b"RIFF", b"WAVE", 1))
                # Zero crossings count the cycles: twice the tone's frequency per second.
                crossings = sum(1 for a, b in zip(samples, samples[1:]) if a < 0 <= b or b < 0 <= a)
                self.assertAlmostEqual(crossings / (len(samples) / rate) / 2, tone_hz(code), delta=1)
                # The sample after the last is the first again: the loop point does not jump.
                step = samples[1] - samples[0]
                self.assertLessEqual(abs((samples[0] - samples[-1]) - step), 2)


if __name__ == "__main__":
    unittest.main()
