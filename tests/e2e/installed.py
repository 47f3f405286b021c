#!/usr/bin/env python3
"""An installed copy of the real binary: `cmake --install` puts every file where desktops
and tools look for it, and the window carries the installed icon.

Run:  PALMENO_BINARY=build/x/bin/palmeno tests/e2e/installed.py
"""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness  # noqa: E402
import realstack  # noqa: E402

REAPER_SECONDS = 110
INSTALLED = [
    "bin/palmeno",
    "share/applications/palmeno.desktop",
    "share/icons/hicolor/scalable/apps/palmeno.svg",
    "share/metainfo/org.palmeno.Palmeno.metainfo.xml",
    "share/man/man1/palmeno.1",
    "share/palmeno/tuned.wav",
]


class Installed(unittest.TestCase):
    def test_installed_copy_shows_its_icon(self):
        s = harness.Session("installed_copy_shows_its_icon", harness.binary())
        try:
            s.start_desktop()
            prefix = s.path("prefix")
            build = os.path.dirname(os.path.dirname(harness.binary()))
            subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                           stdout=subprocess.DEVNULL, timeout=60)
            for path in INSTALLED:
                self.assertTrue(os.path.isfile(os.path.join(prefix, path)), path + " was not installed")
            s.desktop.env["XDG_DATA_DIRS"] = os.path.join(prefix, "share") + ":/usr/share"
            s.binary = os.path.join(prefix, "bin", "palmeno")
            s.start_palmeno()
            icon = subprocess.run(["xprop", "-id", s.window, "_NET_WM_ICON"], env=s.env(),
                                  stdout=subprocess.PIPE, text=True, timeout=10).stdout
            self.assertIn("Icon (", icon, "the window has no icon: " + icon[:200])
            self.assertEqual(s.close_palmeno("ctrl+q"), 0)
        except BaseException:
            s.keep_artefacts()
            raise
        finally:
            s.close()


if __name__ == "__main__":
    realstack.enter_private_namespaces()
    harness.arm_reaper(REAPER_SECONDS)
    unittest.main()
