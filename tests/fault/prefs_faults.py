#!/usr/bin/env python3
"""The preferences file under faults, with the real binary: killed while it writes, and
writes that fail. The file must always hold either the old six lines or the new six, and a
failed write must be reported and leave the old file alone.
"""

import os
import random
import shutil
import subprocess
import time
import unittest

import faults
import realstack
from faults import PREFS_NAME, prefs_text

REAPER_SECONDS = 170
# The settings the tests start from: power on (its noise tells when they are applied), AM,
# needle at 150, away from every station. Three right-arrow presses make the new file differ
# from the old one.
OLD = prefs_text(120, 80, 1, 1, 150, "東京")
NEW = prefs_text(120, 80, 1, 1, 153, "東京")


def read(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", errors="replace")


def leftovers(folder):
    """Files beside the preferences file: what a write may leave behind."""
    # "pulse" is the sound server's own folder: the desktop shares XDG_CONFIG_HOME with it.
    return sorted(name for name in os.listdir(folder) if name not in (PREFS_NAME, "pulse"))


class PrefsFaults(unittest.TestCase):
    maxDiff = None

    def start_and_change(self, s, settings_applied=True):
        s.start_palmeno()
        if settings_applied:
            s.wait_until_playing()
        else:
            time.sleep(1.0)
        s.key("Right", "Right", "Right")
        # The keys are delivered asynchronously; give the tuner a moment to take them.
        time.sleep(0.3)

    def test_kill_while_writing(self):
        """SIGKILL at random moments around the write never leaves a torn file."""
        rng = random.Random(20261210)
        with faults.session(self) as s:
            config = s.desktop.env["XDG_CONFIG_HOME"]
            prefs = os.path.join(config, PREFS_NAME)

            # One undisturbed close: the new file, and how long after the key it is there.
            with open(prefs, "w", encoding="utf-8") as f:
                f.write(OLD)
            self.start_and_change(s)
            s.x(["windowfocus", s.window])
            began = time.monotonic()
            subprocess.Popen(["xdotool", "key", "ctrl+q"], env=s.env())
            while read(prefs) != NEW and time.monotonic() - began < 10:
                time.sleep(0.0005)
            written = time.monotonic() - began
            self.assertEqual(s.wait_exit(10), 0, s.log_text())
            self.assertEqual(read(prefs), NEW)

            # Then kills spread from the key press to a little after the file is written.
            outcomes = {"old": 0, "new": 0}
            deadline = time.monotonic() + 40
            rounds = 0
            # At least ten rounds however slow the machine is; more while time allows.
            while rounds < 40 and (rounds < 10 or time.monotonic() < deadline):
                rounds += 1
                with open(prefs, "w", encoding="utf-8") as f:
                    f.write(OLD)
                self.start_and_change(s)
                s.x(["windowfocus", s.window])
                subprocess.Popen(["xdotool", "key", "ctrl+q"], env=s.env())
                # Every other kill aims at the moment of the write itself.
                time.sleep(written * rng.uniform(0.8, 1.2) if rounds % 2 else rng.uniform(0.0, written * 1.5))
                s.kill_palmeno()
                text = read(prefs)
                self.assertIn(text, (OLD, NEW), "round %d left a torn file" % rounds)
                outcomes["old" if text == OLD else "new"] += 1
            print("kill rounds: %d, old file kept %d, new file %d, written %.3f s after the key, left beside it: %s"
                  % (rounds, outcomes["old"], outcomes["new"], written, leftovers(config)))
            self.assertGreaterEqual(rounds, 10)

            # A kill in the middle of a write leaves its temporary file; the next save that
            # completes takes them all away.
            stale = os.path.join(config, "." + PREFS_NAME + ".k1LL3d")
            with open(stale, "w", encoding="utf-8") as f:
                f.write("windowTop=1\n")
            with open(prefs, "w", encoding="utf-8") as f:
                f.write(OLD)
            self.start_and_change(s)
            s.key("ctrl+q")
            self.assertEqual(s.wait_exit(10), 0, s.log_text())
            self.assertEqual(read(prefs), NEW)
            self.assertEqual(leftovers(config), [], "temporary files were left beside the preferences")

    def check_failed_write(self, s, prefs, old):
        """Closes Palmeno while its file cannot be written; the failure is reported, nothing
        crashes and the old file, if any, stays whole."""
        self.start_and_change(s, settings_applied=old is not None)
        s.key("ctrl+q")
        status = s.wait_exit(10)
        log = s.log_text()
        self.assertIsNotNone(status, "palmeno did not end after ctrl+q:\n" + log)
        self.assertGreaterEqual(status, 0, "palmeno died of signal %d:\n%s" % (-status, log))
        self.assertIn("IOException", log)
        self.assertNotIn("AddressSanitizer", log)
        print("reported: " + " | ".join(line for line in log.splitlines() if "Exception" in line))
        if old is not None:
            self.assertEqual(read(prefs), old)
        return log

    def test_write_fails_when_folder_is_a_file(self):
        """The preferences folder's path is taken by a regular file."""
        with faults.session(self) as s:
            occupied = s.path("config-is-a-file")
            with open(occupied, "w", encoding="utf-8") as f:
                f.write("occupied\n")
            s.desktop.env["XDG_CONFIG_HOME"] = occupied
            self.check_failed_write(s, None, None)
            self.assertEqual(read(occupied), "occupied\n")

    def test_write_fails_on_full_disk(self):
        """The preferences folder is a tiny file system with no room left."""
        if os.geteuid() != 0 or shutil.which("mount") is None:
            self.skipTest("needs root to mount a small file system")
        if not realstack.in_private_namespaces():
            self.skipTest("needs a private mount namespace, so the mount cannot outlive the test")
        with faults.session(self) as s:
            config = s.desktop.env["XDG_CONFIG_HOME"]
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k,nr_inodes=64", "tmpfs", config], check=True)
            try:
                prefs = os.path.join(config, PREFS_NAME)
                with open(prefs, "w", encoding="utf-8") as f:
                    f.write(OLD)
                # Fill every remaining block.
                try:
                    with open(os.path.join(config, "filler"), "wb") as f:
                        while True:
                            f.write(b"\0" * 4096)
                            f.flush()
                except OSError:
                    pass
                self.check_failed_write(s, prefs, OLD)
                self.assertEqual(leftovers(config), ["filler"], "a failed write left a file behind")
            finally:
                subprocess.run(["umount", "-l", config], check=False)


if __name__ == "__main__":
    faults.main(REAPER_SECONDS)
