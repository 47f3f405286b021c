"""A private desktop for one acceptance scenario of the real palmeno binary.

`Session` builds on the shared Desktop (tests/support/realstack.py: temporary folders, Xvfb,
PulseAudio with a null sink in a private XDG_RUNTIME_DIR, process groups, a reaper) and adds
a live recorder of the sink's monitor, the demo service, and Palmeno itself with fresh HOME,
XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME and working folder. It drives Palmeno with
xdotool and answers what a user would hear (through realstack's sound analysis) and see
(screenshots).

Isolation: `realstack.enter_private_namespaces()` re-runs the scenario in its own network
namespace, so every scenario can serve 127.0.0.1:8642 (the host compiled into the binary)
while others run in parallel, and with a /tmp/.X11-unix of its own.

A failing scenario keeps its folder (recording, screenshot, logs, preferences) and prints
its path; a passing one removes it.
"""

import contextlib
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
import unittest
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "support"))

import realstack  # noqa: E402

RATE = 16000
CONTENT_WIDTH, CONTENT_HEIGHT = 340, 46
# Where the two switches sit within the 340x46 content.
POWER_SWITCH = (4 + 12, 10 + 12)
BAND_SWITCH = (32 + 7, 5 + 17)
# The recorder runs about 0.2 s behind what is played.
CAPTURE_LATENCY = 0.3


def binary():
    """The binary under test, from PALMENO_BINARY (set by CTest); the test is skipped without it."""
    path = os.environ.get("PALMENO_BINARY")
    if not path:
        raise unittest.SkipTest("PALMENO_BINARY is not set")
    return os.path.abspath(path)


def service_port():
    host = os.environ.get("PALMENO_SERVICE_HOST", "127.0.0.1:8642")
    return int(host.rpartition(":")[2]) if ":" in host else 80


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("xclient", _ClientMessage), ("pad", ctypes.c_long * 24)]


def send_delete_request(display, window):
    """Asks a window to close, as a window manager's close button does (WM_DELETE_WINDOW);
    there is no window manager on the test display to do it."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    if not connection:
        raise RuntimeError("cannot open display %s" % display)
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = window
        event.xclient.message_type = x11.XInternAtom(connection, b"WM_PROTOCOLS", 0)
        event.xclient.format = 32
        event.xclient.data[0] = x11.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
        event.xclient.data[1] = 0  # CurrentTime
        x11.XSendEvent(connection, window, 0, 0, ctypes.byref(event))
        x11.XFlush(connection)
    finally:
        x11.XCloseDisplay(connection)


class Reaper(Exception):
    pass


class Session:
    def __init__(self, test_name, binary, reaper_seconds=170):
        self.test_name = test_name
        self.binary = binary
        # The Desktop's own reaper is the last resort, after the scenario's (arm_reaper).
        self.desktop = realstack.Desktop(timeout=reaper_seconds, keep=True)
        self.root = self.desktop.tmp
        self.home = self.desktop.env["HOME"]
        self.cwd = self.path("work")
        os.makedirs(self.cwd)
        self.palmeno = None
        self.palmeno_pids = set()
        self.expect_running = False
        self.service = None
        self.window = None
        self.recording = bytearray()
        self.recorder_thread = None
        self.failed = False

    # -- files --------------------------------------------------------------------------
    def path(self, *parts):
        return os.path.join(self.root, *parts)

    @property
    def display(self):
        return self.desktop.display

    @property
    def prefs_path(self):
        return os.path.join(self.desktop.env["XDG_CONFIG_HOME"], "Palmeno Prefs")

    def write_station_file(self, text):
        """Writes station.txt from a text (as UTF-8) or from bytes as they are."""
        with open(os.path.join(self.cwd, "station.txt"), "wb") as f:
            f.write(text if isinstance(text, bytes) else text.encode("utf-8"))

    def env(self):
        return self.desktop.env

    # -- processes ----------------------------------------------------------------------
    def spawn(self, name, argv, **kwargs):
        """Starts a process of the desktop (own process group, killed on close), its output
        going to <name>.log in the session's folder unless told otherwise."""
        with open(self.path(name + ".log"), "ab") as log:
            kwargs.setdefault("stdout", log)
            kwargs.setdefault("stderr", log)
            return self.desktop.spawn(argv, **kwargs)

    def start_desktop(self):
        self.desktop.start_x(800, 600)
        self.desktop.start_pulse()
        self.start_recorder()

    def start_recorder(self):
        self.recorder = recorder = self.spawn("recorder", ["parec", "--latency-msec=20", "--device=null.monitor",
                                           "--format=s16le", "--rate=%d" % RATE, "--channels=1"],
                              stdout=subprocess.PIPE)

        def pump():
            while True:
                chunk = recorder.stdout.read1(65536)
                if not chunk:
                    return
                self.recording += chunk

        self.recorder_thread = threading.Thread(target=pump, daemon=True)
        self.recorder_thread.start()
        self.wait_for(lambda: len(self.recording) > 0, 10, "the recorder delivered nothing")

    def start_service(self, delay=0.0, redirect_host=None):
        self.service_log = self.path("service-requests.log")
        with open(self.path("service.log"), "ab") as log:
            self.service = realstack.start_demo_service(self.desktop, service_port(), self.service_log,
                                                        delay, redirect_host, stdout=log, stderr=log)

    def start_palmeno(self, expect_sound=True):
        self.palmeno = self.spawn("palmeno", [self.binary], cwd=self.cwd)
        self.palmeno_pids.add(self.palmeno.pid)
        self.expect_running = True
        self.wait_for_window()
        if expect_sound:
            # The window maps before its Open event has run; the first sound tells that the
            # settings are applied, so input from now on acts on them.
            self.wait_for(lambda: realstack.rms(self.listen(0.1)) > 1e-3, 10, "Palmeno stayed silent at start")
        return self.palmeno

    def wait_for_window(self, timeout=20):
        """Waits for Palmeno's window to be mapped, and reads its geometry."""
        self.window = None

        def found():
            if self.palmeno.poll() is not None:
                raise AssertionError("palmeno exited with %s at start:\n%s"
                                     % (self.palmeno.returncode, self.log_text()))
            # A search that meets windows being made and unmade at start-up can hang; try again.
            try:
                out = self.x(["search", "--onlyvisible", "--name", "^Palmeno$"], check=False, timeout=2)
            except subprocess.TimeoutExpired:
                return False
            ids = out.split()
            if ids:
                self.window = ids[0]
            return bool(ids)

        self.wait_for(found, timeout, "the Palmeno window did not appear")
        self.geometry()

    def log_text(self):
        """What Palmeno (every start of it in this session) wrote to its output."""
        try:
            with open(self.path("palmeno.log"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def assert_no_gtk_complaints(self):
        """GTK reports misuse as criticals and warnings and carries on: each is a fault of ours."""
        found = realstack.gtk_complaints(self.log_text(), self.palmeno_pids)
        if found:
            raise AssertionError("GTK complained in palmeno's output:\n" + "\n".join(found))

    def close_palmeno(self, how="ctrl+q", timeout=10):
        """Ends Palmeno as a user would and waits for it; returns its exit status. `how` is a
        key ("ctrl+q"), or "delete" for the request a window manager's close button sends."""
        self.expect_running = False
        if how == "delete":
            send_delete_request(self.display, int(self.window))
        else:
            self.key(how)
        try:
            return self.palmeno.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("palmeno did not exit within %d s after %s" % (timeout, how))

    def assert_alive(self):
        if self.palmeno.poll() is not None:
            raise AssertionError("palmeno exited with %s (see palmeno.log in the artefacts)"
                                 % self.palmeno.returncode)

    # -- X input and output -------------------------------------------------------------
    def x(self, args, check=True, timeout=20):
        done = subprocess.run(["xdotool"] + args, env=self.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, timeout=timeout)
        if check and done.returncode != 0:
            raise RuntimeError("xdotool %s failed: %s" % (" ".join(args), done.stderr.strip()))
        return done.stdout

    def geometry(self):
        """The window's geometry, and where its 340x46 content starts (below the menu bar)."""
        out = self.x(["getwindowgeometry", "--shell", self.window])
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        self.win_x, self.win_y = int(values["X"]), int(values["Y"])
        self.win_w, self.win_h = int(values["WIDTH"]), int(values["HEIGHT"])
        self.content_dx = max(0, (self.win_w - CONTENT_WIDTH) // 2)
        self.content_dy = max(0, self.win_h - CONTENT_HEIGHT)
        return self.win_x, self.win_y, self.win_w, self.win_h

    def key(self, *keys, delay_ms=15):
        # Keys go through XTEST to the focused window: events sent to a window directly are
        # marked as synthetic, which toolkits may treat differently.
        self.x(["windowfocus", self.window])
        self.x(["key", "--delay", str(delay_ms)] + list(keys))

    def press(self, key, times, delay_ms=15):
        for start in range(0, times, 50):
            self.key(*([key] * min(50, times - start)), delay_ms=delay_ms)

    def click(self, content_xy, button=1):
        x, y = content_xy
        self.x(["mousemove", "--window", self.window, str(x + self.content_dx), str(y + self.content_dy),
                "click", str(button)])

    def wheel(self, steps):
        """Scrolls over the dial: positive steps are button 5 (down), negative button 4 (up)."""
        button = "5" if steps > 0 else "4"
        self.x(["mousemove", "--window", self.window, str(200 + self.content_dx), str(23 + self.content_dy)])
        self.x(["click", "--repeat", str(abs(steps)), "--delay", "15", button])

    def snapshot_rgb(self, x, y, w, h):
        """Raw RGB bytes of a rectangle of the content, taken from the root window."""
        crop = "%dx%d+%d+%d" % (w, h, self.win_x + self.content_dx + x, self.win_y + self.content_dy + y)
        done = subprocess.run(["import", "-window", "root", "-crop", crop, "-depth", "8", "rgb:-"],
                              env=self.env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=20)
        if done.returncode != 0:
            raise RuntimeError("import failed: %s" % done.stderr.decode(errors="replace"))
        return done.stdout

    def needle_x(self):
        """Where the orange needle is drawn, in content pixels (None when it is not seen)."""
        rgb = self.snapshot_rgb(0, 0, CONTENT_WIDTH, CONTENT_HEIGHT)
        columns = []
        for i in range(0, len(rgb) - 2, 3):
            r, g, b = rgb[i], rgb[i + 1], rgb[i + 2]
            if r > 200 and 60 < g < 170 and b < 90:
                columns.append((i // 3) % CONTENT_WIDTH)
        if not columns:
            return None
        columns.sort()
        return columns[len(columns) // 2]

    def screenshot(self, name="screen.png"):
        if not self.display:
            return
        subprocess.run(["import", "-window", "root", self.path(name)], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)

    # -- sound --------------------------------------------------------------------------
    def now(self):
        """The recording position that holds what is played from now on."""
        return len(self.recording) // 2 + int(CAPTURE_LATENCY * RATE)

    def listen(self, seconds, start=None):
        """The samples of the next `seconds` of sound (or of that stretch from `start`)."""
        first = self.now() if start is None else start
        last = first + int(seconds * RATE)
        self.wait_for(lambda: len(self.recording) // 2 >= last, seconds + 10, "the recorder stalled")
        return realstack.from_s16le(bytes(self.recording[first * 2:last * 2]))

    def wait_for_tone(self, frequency, timeout, window=0.4, share=0.5):
        """Waits until the tone carries most of the sound in a window of the recording;
        returns how long that took."""
        began = time.monotonic()
        position = self.now()
        best = 0.0
        while time.monotonic() - began < timeout:
            x = self.listen(window, start=position)
            position += int(window * RATE)
            found = realstack.tone_share(x, frequency, RATE)
            best = max(best, found)
            if found >= share and realstack.rms(x) > 1e-3:
                return time.monotonic() - began
        raise AssertionError("no %d Hz tone within %.1f s (best share %.2f)" % (frequency, timeout, best))

    # -- the service's log --------------------------------------------------------------
    def requests(self):
        """(method, path, status) of every request the demo service answered so far."""
        try:
            with open(self.service_log, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except (AttributeError, FileNotFoundError):
            return []
        found = []
        for line in lines:
            fields = line.split(" ")
            if len(fields) >= 4 and fields[1] in ("GET", "HEAD"):
                found.append((fields[1], urllib.parse.unquote(fields[2]), fields[3]))
        return found

    def paths(self):
        return [path for _, path, _ in self.requests()]

    def wait_for_request(self, path, count=1, timeout=10.0):
        self.wait_for(lambda: self.paths().count(path) >= count, timeout,
                      "the service saw %s fewer than %d times; it saw %s" % (path, count, self.paths()))

    # -- helpers ------------------------------------------------------------------------
    wait_for = staticmethod(realstack.wait_for)

    def keep_artefacts(self):
        """Saves the recording and a screenshot beside the logs, for a failed scenario."""
        self.failed = True
        try:
            self.screenshot()
        except Exception as error:  # a broken X server must not hide the real failure
            print("screenshot failed: %s" % error, file=sys.stderr)
        if self.recording:
            realstack.write_wav(self.path("recording.wav"), realstack.from_s16le(bytes(self.recording)), RATE)

    def close(self):
        self.desktop.__exit__(None, None, None)
        if self.recorder_thread:
            self.recorder_thread.join(2)
            self.recorder.stdout.close()
        if self.failed:
            target = os.environ.get("PALMENO_E2E_ARTEFACTS")
            where = self.root
            if target:
                where = os.path.join(target, re.sub(r"\W+", "_", self.test_name))
                shutil.rmtree(where, ignore_errors=True)
                os.makedirs(target, exist_ok=True)
                shutil.move(self.root, where)
            print("artefacts of %s kept in %s" % (self.test_name, where), file=sys.stderr)
        else:
            shutil.rmtree(self.root, ignore_errors=True)


@contextlib.contextmanager
def desktop_session(test, binary_path=None, service=False):
    """A private desktop for one test case, named after it, with the demo service when asked;
    Palmeno is started by the test. A failure keeps the session's artefacts."""
    s = Session(test.id().rpartition(".")[2], binary_path or binary())
    try:
        s.start_desktop()
        if service:
            s.start_service()
        yield s
    except BaseException:
        s.keep_artefacts()
        raise
    finally:
        s.close()


def arm_reaper(seconds):
    """Fails the scenario instead of hanging it: raises Reaper in the main thread."""
    def fire(signum, frame):
        raise Reaper("the scenario did not finish within %d s" % seconds)
    signal.signal(signal.SIGALRM, fire)
    signal.alarm(seconds)
