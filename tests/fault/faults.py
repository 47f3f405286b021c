"""What the fault tests of the real palmeno binary share.

They build on the acceptance tests' Session (tests/e2e/harness.py, itself on the shared
Desktop of tests/support/realstack.py): a private X server, sound server and folders per
test, Palmeno driven by xdotool. `FaultSession` adds what these tests need beyond it:
starting Palmeno without listening to it, reading its resident memory, and waiting for it to
end.

Run one test:  PALMENO_BINARY=build/x/bin/palmeno tests/fault/prefs_faults.py PrefsFaults.test_...
"""

import contextlib
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))

import harness  # noqa: E402
import realstack  # noqa: E402

# A failed test keeps its folder; by default somewhere outside the source tree.
os.environ.setdefault("PALMENO_E2E_ARTEFACTS", os.path.join(tempfile.gettempdir(), "palmeno-fault-artefacts"))

PREFS_NAME = "Palmeno Prefs"


binary = harness.binary


def prefs_text(top, left, power, band, needle, place):
    """The six lines that a close writes, as one text."""
    return "windowTop=%d\nwindowLeft=%d\nmainPower=%d\nbandSwitch=%d\ntuneBar=%d\ncurrentPlace=%s\n" % (
        top, left, power, band, needle, place)


def resident_kib(pid):
    """VmRSS of a process, in KiB; None once it has gone."""
    try:
        with open("/proc/%d/status" % pid, encoding="ascii") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except (FileNotFoundError, ProcessLookupError):
        return None
    return None


class FaultSession(harness.Session):
    """A Session without the recorder (these tests listen to nothing)."""

    def start_desktop(self):
        self.desktop.start_x(800, 600)
        self.desktop.start_pulse()

    def start_palmeno(self):
        """Starts Palmeno and waits for its window; returns the process."""
        self.palmeno = self.spawn("palmeno", [self.binary], cwd=self.cwd)
        self.palmeno_pids.add(self.palmeno.pid)
        self.expect_running = True
        self.wait_for_window()
        return self.palmeno

    def wait_until_playing(self, timeout=10):
        """Waits until Palmeno plays a sound (a stream of the sound server that is not
        corked): its Open event has then applied the settings, so input acts on them."""
        def playing():
            out = subprocess.run(["pactl", "list", "sink-inputs"], env=self.env(), stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, text=True, timeout=5).stdout
            return "Corked: no" in out
        self.wait_for(playing, timeout, "Palmeno played no sound within %d s" % timeout)

    def wait_exit(self, timeout):
        try:
            return self.palmeno.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill_palmeno(self):
        """SIGKILL to Palmeno and its web engine's processes (its process group)."""
        self.expect_running = False
        self.desktop.kill(self.palmeno)
        self.palmeno.wait(10)


@contextlib.contextmanager
def session(test, config_home=None):
    """A desktop for one test; Palmeno is started by the test. A failure keeps the folder."""
    s = FaultSession(test.id().rpartition(".")[2], binary())
    if config_home is not None:
        s.desktop.env["XDG_CONFIG_HOME"] = config_home
    try:
        s.start_desktop()
        yield s
    except BaseException:
        s.keep_artefacts()
        raise
    finally:
        s.close()


def main(reaper_seconds):
    realstack.enter_private_namespaces()
    harness.arm_reaper(reaper_seconds)
    unittest.main()
