#!/usr/bin/env python3
"""What the real binary tells a user who can put things right: no display, a GStreamer
plugin or a sound file missing; and that `make run` leaves nothing behind.

Run one:  PALMENO_BINARY=build/x/bin/palmeno tests/e2e/user_errors.py UserErrors.test_...
"""

import glob
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness  # noqa: E402
import realstack  # noqa: E402

REAPER_SECONDS = 110


class UserErrors(unittest.TestCase):
    maxDiff = None

    def session(self):
        return harness.desktop_session(self)

    def test_display_missing_or_unreachable_names_DISPLAY(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        used = set(os.listdir("/tmp/.X11-unix")) if os.path.isdir("/tmp/.X11-unix") else set()
        free = next(n for n in range(97, 200) if "X%d" % n not in used)
        for display, says in ((None, "DISPLAY is not set"), (":%d" % free, '":%d" named by DISPLAY' % free)):
            with self.subTest(display=display):
                run_env = dict(env)
                if display:
                    run_env["DISPLAY"] = display
                done = subprocess.run([harness.binary()], env=run_env, stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT, text=True, timeout=20)
                self.assertEqual(done.returncode, 1, done.stdout)
                self.assertIn(says, done.stdout)

    def test_missing_gstreamer_element_is_named_once_with_its_package(self):
        """Without the WAV parser every sound fails; the report says which element and which
        Debian package once, not once per sound."""
        plugins = sorted(glob.glob("/usr/lib/*/gstreamer-1.0/libgstcoreelements.so"))
        if not plugins:
            self.skipTest("GStreamer's plugins are not where Debian puts them")
        with self.session() as s:
            folder = s.path("plugins")
            os.mkdir(folder)
            for plugin in glob.glob(os.path.join(os.path.dirname(plugins[0]), "*.so")):
                if os.path.basename(plugin) != "libgstwavparse.so":
                    os.symlink(plugin, os.path.join(folder, os.path.basename(plugin)))
            s.desktop.env.update(GST_PLUGIN_SYSTEM_PATH_1_0=folder, GST_REGISTRY_1_0=s.path("registry.bin"))
            s.desktop.env.pop("GST_PLUGIN_PATH_1_0", None)
            s.desktop.env.pop("GST_PLUGIN_PATH", None)
            s.start_palmeno(expect_sound=False)
            s.wait_for(lambda: "wavparse" in s.log_text(), 10, "the missing element was not named")
            time.sleep(1.0)
            lines = [line for line in s.log_text().splitlines() if "wavparse" in line]
            self.assertEqual(len(lines), 1, lines)
            self.assertIn("gstreamer1.0-plugins-good", lines[0])
            s.assert_alive()

    def test_missing_sound_file_is_named_once(self):
        """An installed copy whose AM noise was removed names the file that is missing."""
        with self.session() as s:
            build = os.path.dirname(os.path.dirname(harness.binary()))
            prefix = s.path("installed")
            os.makedirs(os.path.join(prefix, "bin"))
            shutil.copy2(harness.binary(), os.path.join(prefix, "bin", "palmeno"))
            shutil.copytree(os.path.join(build, "share", "palmeno"), os.path.join(prefix, "share", "palmeno"))
            missing = os.path.join(prefix, "share", "palmeno", "amnoise.wav")
            os.remove(missing)
            s.binary = os.path.join(prefix, "bin", "palmeno")
            s.start_palmeno(expect_sound=False)
            s.wait_for(lambda: missing in s.log_text(), 10, "the missing file was not named:\n" + s.log_text())
            s.key("b")
            s.click(harness.BAND_SWITCH)
            time.sleep(1.0)
            self.assertEqual(len([line for line in s.log_text().splitlines() if missing in line]), 1, s.log_text())
            s.assert_alive()

    def test_make_run_removes_the_service_log(self):
        """tools/run-palmeno, with a stand-in for Palmeno that ends at once, leaves no
        request log of the demo service in the temporary folder."""
        with tempfile.TemporaryDirectory() as tmp:
            build = os.path.join(tmp, "build")
            os.makedirs(os.path.join(build, "bin"))
            stand_in = os.path.join(build, "bin", "palmeno")
            with open(stand_in, "w", encoding="utf-8") as f:
                f.write("#!/bin/sh\nexit 3\n")
            os.chmod(stand_in, 0o755)
            with socket.socket() as probe:
                probe.bind(("127.0.0.1", 0))
                port = probe.getsockname()[1]
            temp = os.path.join(tmp, "temp")
            os.mkdir(temp)
            done = subprocess.run([os.path.join(realstack.SOURCE_DIR, "tools", "run-palmeno"), build,
                                   "--port", str(port)], env=dict(os.environ, TMPDIR=temp),
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
            self.assertEqual(done.returncode, 3, done.stdout)
            self.assertIn("request log in", done.stdout)
            self.assertEqual(os.listdir(temp), [])


if __name__ == "__main__":
    realstack.enter_private_namespaces()
    harness.arm_reaper(REAPER_SECONDS)
    unittest.main()
