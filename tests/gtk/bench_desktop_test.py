#!/usr/bin/env python3
"""The measuring parts of tools/bench-desktop: its X connection outlives windows that vanish,
"settled" is read from the keys' answers as the docs say, and memory counts each page of a
process tree once. Usage: bench_desktop_test.py"""

import importlib.machinery
import importlib.util
import os
import signal
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))
from realstack import Desktop, enter_private_namespaces  # noqa: E402

TOOL = os.path.join(os.path.dirname(os.path.dirname(HERE)), "tools", "bench-desktop")
loader = importlib.machinery.SourceFileLoader("bench_desktop", TOOL)
bench = importlib.util.module_from_spec(importlib.util.spec_from_loader("bench_desktop", loader))
loader.exec_module(bench)


class Clock:
    def __init__(self):
        self.now = 0.0


class FakeProgram:
    """Stands for the display and a program whose needle starts at 100. It handles a key
    at once unless it is busy before `busy_until`; what it handled is shown at the next
    frame (every 1/60 s), as a window's drawing is."""

    def __init__(self, clock, busy_until):
        self.clock, self.busy_until = clock, busy_until
        self.keys = []  # (time handled, step)

    def needle(self, window):
        shown = int(self.clock.now * 60) / 60.0  # the last frame
        return 100 + sum(step for t, step in self.keys if t <= shown)

    def focus(self, window):
        pass

    def key(self, name):
        self.keys.append((max(self.clock.now, self.busy_until), 1 if name == "Right" else -1))
        return self.clock.now


class SettleTest(unittest.TestCase):
    def run_settle(self, busy_until, watch=1.5):
        clock = Clock()
        program = FakeProgram(clock, busy_until)
        real = bench.time
        fake_time = type("FakeTime", (), {
            "monotonic": staticmethod(lambda: clock.now),
            "sleep": staticmethod(lambda s: setattr(clock, "now", clock.now + s)),
        })
        bench.time = fake_time
        try:
            return bench.settle(program, 1, 0.0, watch)
        finally:
            bench.time = real

    def test_settled_follows_the_programs_stall(self):
        # Keys sent up to 20 ms plus a frame before the stall's end are still answered in
        # time; earlier ones are not.
        prompt = 0.020 + 1 / 60.0
        for busy_until in (0.0, 0.3, 0.7):
            with self.subTest(busy_until=busy_until):
                drawn, settled, after = self.run_settle(busy_until)
                self.assertEqual(drawn, 0.0)
                self.assertIsNotNone(settled)
                low = max(0.0, busy_until - prompt - 0.006)
                self.assertTrue(low <= settled <= max(busy_until, 0.005), settled)
                self.assertLessEqual(max(after), 0.020 + 1 / 60.0 + 0.003)

    def test_a_program_that_never_answers_never_settles(self):
        self.assertIsNone(self.run_settle(busy_until=10.0)[1])


class XDisplayTest(unittest.TestCase):
    def test_a_vanished_window_is_not_fatal(self):
        with Desktop(timeout=60) as desktop:
            display = bench.XDisplay(desktop.env["DISPLAY"])
            gone = 0x7ffff0  # no client has made this window
            self.assertIsNone(display.title(gone))
            self.assertIsNone(display.needle(gone))
            display.x.XSync(display.dpy, 0)


@unittest.skipUnless(os.geteuid() == 0, "page frame numbers need root")
class MemoryTest(unittest.TestCase):
    def test_shared_pages_count_once(self):
        tree = subprocess.Popen(["sh", "-c", "sleep 30 & sleep 30 & wait"], start_new_session=True)
        try:
            bench.wait_for(lambda: len(bench.descendants(tree.pid)) == 2, 5, "the children")
            mem = bench.memory(tree.pid)
            rss = 0
            for pid in [tree.pid] + bench.descendants(tree.pid):
                with open("/proc/%d/smaps_rollup" % pid) as f:
                    rss += sum(int(l.split()[1]) for l in f if l.startswith("Rss:")) / 1024.0
            self.assertEqual(mem["processes"], 3)
            self.assertAlmostEqual(sum(mem["share"].values()), mem["own"], places=3)
            # The two sleeps share their whole program and libc: far less than the RSS sum.
            self.assertLess(mem["own"], 0.8 * rss)
            self.assertGreater(mem["own"], 0)
            # A page one process maps alone is also in its share, and shared pages are in
            # no process's "alone".
            for k, alone in mem["alone"].items():
                self.assertLessEqual(alone, mem["share"][k] + 1e-9)
            self.assertLess(sum(mem["alone"].values()), 0.5 * mem["own"])
        finally:
            os.killpg(tree.pid, signal.SIGKILL)
            tree.wait()


if __name__ == "__main__":
    enter_private_namespaces()
    unittest.main()
