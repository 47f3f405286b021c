#!/usr/bin/env python3
"""Files as a user's machine has them, with the real binary: an installed copy whose binary
is removed while it runs, a working folder removed before the start, a window position that
X11 cannot hold, and a station file or preferences file that is a FIFO or a device.

Run one:  PALMENO_BINARY=build/x/bin/palmeno PALMENO_BUILD_DIR=build/x tests/e2e/files_scenarios.py Files.test_...
"""

import os
import stat
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness  # noqa: E402
import realstack  # noqa: E402
from harness import RATE  # noqa: E402
from realstack import tone_hz  # noqa: E402
import scenarios  # noqa: E402

REAPER_SECONDS = 150


class Files(unittest.TestCase):
    maxDiff = None

    def session(self, binary=None, service=True):
        return harness.desktop_session(self, binary, service)

    def test_installed_copy_keeps_its_resources_when_its_binary_goes(self):
        """An upgrade removes the running binary: the cue and the station still come."""
        build = os.environ.get("PALMENO_BUILD_DIR")
        if not build:
            self.skipTest("PALMENO_BUILD_DIR is not set")
        with self.session() as s:
            prefix = s.path("prefix")
            subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                           stdout=subprocess.DEVNULL)
            s.binary = os.path.join(prefix, "bin", "palmeno")
            s.start_palmeno()
            os.remove(s.binary)
            # The cue and the power-off picture are loaded only now, at the first tuning.
            began = s.now() - int(harness.CAPTURE_LATENCY * RATE)
            s.press("Right", 80)
            s.wait_for_request("/stream/TBS.wav", timeout=10)
            s.wait_for_tone(tone_hz("TBS"), timeout=10)
            scenarios.Scenarios.assert_cue_between(self, s, began, s.now())
            self.assertNotIn("Exception", s.log_text())

    def test_removed_working_folder_means_the_built_in_list(self):
        """Started in a folder that is then removed: no station file, so the built-in list."""
        with self.session() as s:
            gone = s.path("gone")
            os.makedirs(gone)
            wrapper = s.path("start-in-removed-folder")
            with open(wrapper, "w", encoding="utf-8") as f:
                f.write('#!/bin/sh\nrmdir "$PWD" && exec "%s"\n' % s.binary)
            os.chmod(wrapper, 0o755)
            s.binary, s.cwd = wrapper, gone
            s.start_palmeno()
            s.press("Right", 80)
            s.wait_for_request("/stream/TBS.wav", timeout=10)
            s.wait_for_tone(tone_hz("TBS"), timeout=10)
            self.assertFalse(os.path.exists(gone))
            self.assertNotIn("Exception", s.log_text())

    def test_window_position_beyond_x11_comes_back_as_it_was(self):
        """X11 holds 16 bits of a position; the saved value is written back unchanged."""
        with self.session(service=False) as s:
            os.makedirs(os.path.dirname(s.prefs_path), exist_ok=True)
            saved = ["windowTop=40000", "windowLeft=-40000", "mainPower=1", "bandSwitch=1",
                     "tuneBar=150", "currentPlace=東京"]
            with open(s.prefs_path, "w", encoding="utf-8") as f:
                f.write("\n".join(saved) + "\n")
            s.palmeno = s.spawn("palmeno", [s.binary], cwd=s.cwd)
            s.expect_running = True
            # The window is off every screen, where it cannot take the keyboard: wait for the
            # noise, then close it as a window manager's close button does.
            s.wait_for(lambda: realstack.rms(s.listen(0.1)) > 1e-3, 20, "Palmeno stayed silent at start")
            ids = s.x(["search", "--onlyvisible", "--name", "^Palmeno$"]).split()
            self.assertTrue(ids, "no Palmeno window")
            s.window = ids[0]
            self.assertEqual(s.close_palmeno("delete"), 0, s.log_text())
            self.assertEqual(scenarios.read_prefs(s), saved)

    def test_fifo_and_device_files_do_not_hang_the_window(self):
        """A FIFO or /dev/zero as the station file or the preferences file is reported once;
        the window answers and closes as usual. A preferences file that is no plain file is
        not replaced either: the save fails and says so."""
        cases = [("station.txt", "fifo"), ("station.txt", "zero"), ("prefs", "fifo"), ("prefs", "zero")]
        for which, kind in cases:
            with self.subTest(which=which, kind=kind), self.session(service=False) as s:
                os.makedirs(os.path.dirname(s.prefs_path), exist_ok=True)
                path = os.path.join(s.cwd, "station.txt") if which == "station.txt" else s.prefs_path
                if kind == "fifo":
                    os.mkfifo(path)
                else:
                    os.symlink("/dev/zero", path)
                s.start_palmeno(expect_sound=False)
                time.sleep(1.0)
                s.press("Right", 3)
                time.sleep(0.5)
                s.assert_alive()
                if which == "prefs" and kind == "zero":
                    # Ended without a save: a save that went wrong here would hit the
                    # machine's own /dev/zero. The unit tests show the refusal on a FIFO.
                    s.expect_running = False
                    s.desktop.kill(s.palmeno)
                    s.palmeno.wait(10)
                else:
                    status = s.close_palmeno("ctrl+q")
                    self.assertEqual(status, 1 if which == "prefs" else 0, s.log_text())
                log = s.log_text()
                self.assertEqual(log.count("NilObjectException"), 1, log)
                if which == "prefs" and kind == "fifo":
                    self.assertEqual(log.count("IOException"), 1, log)
                    self.assertTrue(stat.S_ISFIFO(os.lstat(path).st_mode), "the FIFO was replaced")


if __name__ == "__main__":
    realstack.enter_private_namespaces()
    harness.arm_reaper(REAPER_SECONDS)
    unittest.main()
