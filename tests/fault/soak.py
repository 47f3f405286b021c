#!/usr/bin/env python3
"""A short soak of the real binary: about 20 s of random keys, wheel turns and clicks on the
switches, with the demo service playing the stations it tunes in. Palmeno must stay alive,
its resident memory must stay flat after a warm-up, and it must still close cleanly.
"""

import os
import random
import time
import unittest

import faults
from faults import resident_kib

REAPER_SECONDS = 170
WARM_UP_SECONDS = 6
SOAK_SECONDS = 20
# The user-interface process holds the toolkit, the web view's client side and the sound
# pipelines; pages play in processes of their own. Its resident memory wanders by a few
# megabytes as pages and sounds come and go; a leak per input would grow far beyond this.
GROWTH_LIMIT_KIB = 12 * 1024

POWER_SWITCH = (16, 22)
BAND_SWITCH = (39, 22)


class Soak(unittest.TestCase):
    def test_random_input(self):
        rng = random.Random(20261210)
        with faults.session(self) as s:
            s.start_service()
            s.start_palmeno()
            s.wait_until_playing()
            pid = s.palmeno.pid
            s.x(["windowfocus", s.window])

            def one_input():
                kind = rng.randrange(8)
                if kind <= 2:
                    s.x(["key", "--delay", "5"] + [rng.choice(["Right", "Left"])] * rng.randint(1, 30))
                elif kind == 3:
                    s.x(["key", rng.choice(["space", "b", "x", "Return", "Up", "Escape", "B"])])
                elif kind == 4:
                    s.wheel(rng.choice([-1, 1]) * rng.randint(1, 25))
                elif kind == 5:
                    s.click(POWER_SWITCH)
                elif kind == 6:
                    s.click(BAND_SWITCH)
                else:
                    time.sleep(rng.uniform(0.0, 0.3))  # let a page load and play

            began = time.monotonic()
            inputs = 0
            baseline = None
            samples = []
            while time.monotonic() - began < SOAK_SECONDS:
                one_input()
                inputs += 1
                s.assert_alive()
                elapsed = time.monotonic() - began
                if baseline is None and elapsed >= WARM_UP_SECONDS:
                    baseline = resident_kib(pid)
                elif baseline is not None:
                    samples.append(resident_kib(pid))

            self.assertIsNotNone(baseline)
            self.assertTrue(samples)
            # The later half of the run, so that one momentary peak does not decide.
            late = sorted(samples[len(samples) // 2:])
            growth = late[len(late) // 2] - baseline
            print("soak: %d inputs in %.0f s; resident %d KiB after warm-up, median of the late half %+d KiB"
                  % (inputs, time.monotonic() - began, baseline, growth))
            self.assertLess(growth, GROWTH_LIMIT_KIB)

            s.x(["windowfocus", s.window])
            s.x(["key", "ctrl+q"])
            self.assertEqual(s.wait_exit(10), 0, s.log_text())
            with open(os.path.join(s.desktop.env["XDG_CONFIG_HOME"], faults.PREFS_NAME), encoding="utf-8") as f:
                self.assertEqual(len(f.read().splitlines()), 6)


if __name__ == "__main__":
    faults.main(REAPER_SECONDS)
