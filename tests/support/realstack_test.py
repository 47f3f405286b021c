#!/usr/bin/env python3
"""The shared helpers of the real-stack tests, where a fault would make those tests pass or
fail for the wrong reason: the GTK complaint filter against GTK's own output, the check that
an X server owns its display's sockets, what close() ends, and WAV files as recorders leave
them."""

import os
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import realstack  # noqa: E402

# A real GTK program that trips the same kind of assertion as a misused widget does.
GTK_MISUSE = """
import gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk
Gtk.init([])
Gtk.Label(label="x").get_preferred_height_for_width(-1)
print("done", flush=True)
"""


def wav_bytes(samples, rate, channels, width, data_size=None):
    frames = (bytes(s + 128 for s in samples) if width == 1
              else struct.pack("<%dh" % len(samples), *samples))
    size = len(frames) if data_size is None else data_size
    return struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + size, b"WAVE", b"fmt ", 16, 1, channels,
                       rate, rate * channels * width, channels * width, width * 8, b"data", size) + frames


class Desktop(unittest.TestCase):
    def test_gtk_complaints_of_a_real_gtk_program(self):
        # The system's Python carries the GTK bindings (python3-gi).
        python = "/usr/bin/python3"
        if subprocess.run([python, "-c", "import gi"], stderr=subprocess.DEVNULL).returncode != 0:
            self.skipTest("python3-gi is missing")
        with realstack.Desktop(timeout=60) as d:
            with open(d.path("misuse.err"), "wb") as err:
                p = d.spawn([python, "-c", GTK_MISUSE], stdout=subprocess.PIPE, stderr=err)
            self.assertEqual(p.communicate(timeout=30)[0].strip(), b"done")
            with open(d.path("misuse.err"), encoding="utf-8") as f:
                text = f.read()
            found = realstack.gtk_complaints(text, {p.pid})
            self.assertEqual(len(found), 1, text)
            self.assertIn("Gtk-CRITICAL", found[0])
            self.assertEqual(realstack.gtk_complaints(text, {p.pid + 1}), [])
            self.assertEqual(realstack.gtk_complaints(
                "(palmeno:12): Gtk-WARNING **: 10:00:00.000: Negative content width\n"
                "(palmeno:12): GLib-GIO-WARNING **: not GTK\n"
                "** (WebKitWebProcess:2): WARNING **: Unable to get session D-Bus address\n"),
                ["(palmeno:12): Gtk-WARNING **: 10:00:00.000: Negative content width"])

    def test_x_server_owns_its_sockets(self):
        with realstack.Desktop(timeout=60) as d:
            number = int(d.display[1:])
            self.assertTrue(realstack.x_sockets_lead_to(number, d.x_server.pid))
            self.assertFalse(realstack.x_sockets_lead_to(number, os.getpid()))
        # A socket file of someone else under the display's name.
        with tempfile.TemporaryDirectory() as folder:
            self.assertFalse(realstack.x_sockets_lead_to(7, os.getpid(), folder))
            listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            listener.bind(os.path.join(folder, "X7"))
            listener.listen(1)
            try:
                self.assertTrue(realstack.x_sockets_lead_to(7, os.getpid(), folder))
                self.assertFalse(realstack.x_sockets_lead_to(7, os.getpid() + 1, folder))
            finally:
                listener.close()

    def test_close_ends_what_outlived_its_group_leader(self):
        d = realstack.Desktop(timeout=60)
        marker = os.path.join(d.tmp, "child.pid")
        leader = d.spawn(["sh", "-c", "sleep 300 & echo $! > '%s'" % marker])
        leader.wait(10)  # collected: its number no longer names the group
        with open(marker) as f:
            child = int(f.read())
        d.close()
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                with open("/proc/%d/stat" % child) as f:
                    if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                        break
            except FileNotFoundError:
                break
            time.sleep(0.05)
        else:
            self.fail("the group's orphan %d is still running after close()" % child)


class Wav(unittest.TestCase):
    def test_read_wav(self):
        cases = [
            # samples, rate, channels, width, stated data size, expected mono samples
            ([16384, -16384, 0, 32767], 16000, 1, 2, None, [0.5, -0.5, 0.0, 32767 / 32768]),
            # A recorder stopped by a kill leaves a data size of 0: read to the end of the file.
            ([16384, -16384], 48000, 1, 2, 0, [0.5, -0.5]),
            ([64, 0, -64, -128], 8000, 2, 1, None, [0.25, -0.75]),
        ]
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "x.wav")
            for samples, rate, channels, width, size, expected in cases:
                with open(path, "wb") as f:
                    f.write(wav_bytes(samples, rate, channels, width, size))
                got, got_rate = realstack.read_wav(path)
                self.assertEqual(got_rate, rate)
                self.assertEqual([round(v, 6) for v in got], [round(v, 6) for v in expected])
            realstack.write_wav(path, [0.25] * 100, 16000)
            self.assertEqual(len(realstack.read_wav(path, limit_seconds=0.005)[0]), 80)

    def test_level_of_a_tone(self):
        rate = 48000
        tone = [0.3 * realstack.math.sin(2 * realstack.math.pi * 1000 * i / rate) for i in range(rate // 2)]
        self.assertAlmostEqual(realstack.level(tone, rate, 1000), 0.3, places=2)
        self.assertLess(realstack.level(tone, rate, 440), 0.01)
        self.assertGreater(realstack.tone_share(tone, 1000, rate), 0.9)
        self.assertEqual(realstack.level([], rate, 1000), 0.0)


if __name__ == "__main__":
    realstack.enter_private_namespaces()
    unittest.main()
