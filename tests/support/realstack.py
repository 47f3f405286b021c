"""What the tests on the real stack (tests/gtk, tests/e2e, tests/fault) and tools/bench-desktop
share: a private desktop to run real GTK programs on, the demo service, and the analysis of
what they play. Python standard library only.

    enter_private_namespaces()          # first thing in a test script: see below
    with Desktop() as d:                 # temp folders, Xvfb, PulseAudio (null sink)
        server = d.serve({"/a.html": page, "/tone.wav": tone})   # RangeServer
        rec = d.record()                 # Recorder of everything played
        p = d.spawn([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        ...
        rec.stop(); samples, rate = read_wav(rec.path)
        level(samples[a:b], rate, 440)   # Goertzel amplitude of a tone, 0..1

Desktop(timeout=85) also arms a reaper: when the time is up it kills every process group
it started and ends the test process with status 3, so a hang fails instead of blocking.
Desktop.env is the environment for programs (DISPLAY, XDG_RUNTIME_DIR, XDG_CONFIG_HOME,
XDG_CACHE_HOME, XDG_DATA_HOME, HOME all private). Every process is started in a process
group of its own and killed with its group on close.

X servers keep their sockets in the one folder /tmp/.X11-unix (Xvfb has no flag to move it)
and also listen on an abstract socket of the same name in the network namespace. The web
engine's sandboxed processes have no network namespace of ours, so they reach the display
only through the socket file, while our own processes reach it through the abstract socket:
an X server elsewhere on the machine that takes the same display number (with -displayfd
Xvfb writes no lock file, and one in another network namespace finds the abstract name free)
replaces our socket file and removes it when it ends; the web engine then fails to open the
display, and WebKit ends the program that waited for its web process. So
`enter_private_namespaces()` gives each test, where we may (root), a network namespace and a
/tmp/.X11-unix of its own, and `Desktop.start_x` checks that both sockets of its display
lead to its own server, choosing another display if not.
"""

import array
import cmath
import ctypes
import http.server
import importlib.machinery
import importlib.util
import math
import os
import random
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import wave

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEMO_SERVICE = os.path.join(SOURCE_DIR, "tools", "demo-service")
X11_SOCKETS = "/tmp/.X11-unix"


# -- waiting ----------------------------------------------------------------------------

def wait_for(predicate, timeout, message=None, interval=0.05):
    """Polls predicate until it gives a true value, which is returned. When timeout passes
    first: raises AssertionError(message), or returns None when no message is given."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= end:
            if message is not None:
                raise AssertionError(message)
            return None
        time.sleep(interval)


# -- isolation --------------------------------------------------------------------------

def enter_private_namespaces():
    """Re-executes this process in new network and mount namespaces when we may (root, and
    unshare works); returns only inside them, or at once when they are not available.

    The network namespace gives the test a loopback of its own (so each can serve the port
    compiled into the binary) and abstract sockets of its own; the mount namespace a
    /tmp/.X11-unix of its own. Parallel tests may then use the same display number without
    ever meeting."""
    if in_private_namespaces():
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=1777", "tmpfs", X11_SOCKETS], check=True)
        return
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        return
    try:
        os.makedirs(X11_SOCKETS, mode=0o1777, exist_ok=True)
    except OSError:
        return
    probe = subprocess.run(["unshare", "--net", "--mount", "sh", "-c",
                            "mount -t tmpfs tmpfs " + X11_SOCKETS],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        return
    os.environ["PALMENO_PRIVATE_NAMESPACES"] = "1"
    sys.stdout.flush()
    sys.stderr.flush()
    os.execvp("unshare", ["unshare", "--net", "--mount", "--fork", "--kill-child",
                          sys.executable] + sys.argv)


def in_private_namespaces():
    """True inside the namespaces of enter_private_namespaces()."""
    return os.environ.get("PALMENO_PRIVATE_NAMESPACES") == "1"


def _become_subreaper():
    """Makes this process the parent of every orphan among its descendants (a web engine's
    helpers whose program has ended), so that close() can still find and end them."""
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        pass


def _proc_stat(pid):
    """(parent, process group) of a process, None once it has gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[1]), int(fields[2])
    except (OSError, IndexError, ValueError):
        return None


def _orphans_of_group(group):
    """Our descendants that are still in a process group whose leader we have reaped."""
    me = os.getpid()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        pid = int(entry)
        stat = _proc_stat(pid)
        if stat is None or stat[1] != group:
            continue
        parent, hops = stat[0], 0
        while parent not in (me, 0, 1) and hops < 64:
            up = _proc_stat(parent)
            parent, hops = (up[0] if up else 0), hops + 1
        if parent == me:
            found.append(pid)
    return found


def _peer_pid(address):
    """The process that listens on a Unix socket address, None when none does."""
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        s.settimeout(5)
        s.connect(address)
        creds = s.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, struct.calcsize("3i"))
        return struct.unpack("3i", creds)[0]
    except OSError:
        return None
    finally:
        s.close()


def x_sockets_lead_to(display_number, pid, folder=X11_SOCKETS):
    """True when the socket file of the display is the server `pid`'s, and so is the
    abstract socket of that name where there is one."""
    path = "%s/X%d" % (folder, display_number)
    return _peer_pid(path) == pid and _peer_pid("\0" + path) in (None, pid)


# -- the desktop ------------------------------------------------------------------------

class Desktop:
    def __init__(self, timeout=85, keep=False):
        _become_subreaper()
        self.tmp = tempfile.mkdtemp(prefix="desktop-")
        self.keep = keep
        self.procs = []
        self.servers = []
        self._lock = threading.Lock()
        runtime = os.path.join(self.tmp, "run")
        os.mkdir(runtime, 0o700)
        os.chmod(runtime, 0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER", "DBUS_SESSION_BUS_ADDRESS")}
        for name in ("config", "cache", "data", "home"):
            os.mkdir(os.path.join(self.tmp, name))
        env.update(XDG_RUNTIME_DIR=runtime,
                   XDG_CONFIG_HOME=os.path.join(self.tmp, "config"),
                   XDG_CACHE_HOME=os.path.join(self.tmp, "cache"),
                   XDG_DATA_HOME=os.path.join(self.tmp, "data"),
                   HOME=os.path.join(self.tmp, "home"),
                   GDK_BACKEND="x11", NO_AT_BRIDGE="1")
        env.pop("PALMENO_PRIVATE_NAMESPACES", None)
        self.env = env
        self.display = None
        self.x_server = None
        self._reaper = threading.Timer(timeout, self._reap)
        self._reaper.daemon = True
        self._reaper.start()

    # -- processes -------------------------------------------------------------------
    def spawn(self, argv, **kwargs):
        """Starts a process in a group of its own with self.env; killed on close."""
        kwargs.setdefault("env", self.env)
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        p = subprocess.Popen(argv, start_new_session=True, **kwargs)
        with self._lock:
            self.procs.append(p)
        return p

    def kill(self, p, sig=signal.SIGKILL):
        """Sends sig to the process group of p. Once p itself has been waited for, its number
        may name someone else's group, so then only our own descendants left in the group
        get the signal."""
        if p.returncode is None:
            try:
                os.killpg(p.pid, sig)
            except (ProcessLookupError, PermissionError):
                pass
            return
        for pid in _orphans_of_group(p.pid):
            try:
                os.kill(pid, sig)
            except (ProcessLookupError, PermissionError):
                pass

    def stop(self, p, timeout=2):
        """Ends p and its group: SIGTERM, then after `timeout` s SIGKILL for what is left
        (the group may hold children that outlived their leader, such as web processes)."""
        self.kill(p, signal.SIGTERM)
        end = time.monotonic() + timeout
        # Wait for the leader without collecting it, so that its number keeps naming its group.
        while p.returncode is None and time.monotonic() < end:
            try:
                if os.waitid(os.P_PID, p.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT):
                    break
            except ChildProcessError:
                break
            time.sleep(0.02)
        self.kill(p, signal.SIGKILL)
        try:
            p.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            pass
        for pid in _orphans_of_group(p.pid):
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass

    def _reap(self):
        sys.stderr.write("desktop: time is up; killing everything\n")
        self.close()
        os._exit(3)

    # -- servers ---------------------------------------------------------------------
    def start_x(self, width=1024, height=768):
        """Starts Xvfb on a free display number whose sockets lead to it, and sets DISPLAY."""
        number = None
        for _ in range(10):
            server, got = self._start_xvfb(width, height, number)
            if got is not None and x_sockets_lead_to(got, server.pid):
                self.x_server = server
                self.display = ":%d" % got
                self.env["DISPLAY"] = self.display
                return self.display
            if got is not None:
                sys.stderr.write("desktop: display :%d is shared with another X server; "
                                 "trying another\n" % got)
            self.stop(server)
            # An explicit number well away from the one that failed.
            number = (got if got is not None else number or 0) + random.randint(1, 200)
        raise RuntimeError("Xvfb did not start on a display of its own")

    def _start_xvfb(self, width, height, number):
        """(process, display number); the number is None when the server did not start."""
        read_fd, write_fd = os.pipe()
        # -noreset: by default the server resets whenever its last client leaves, and a
        # program that connects during the reset (after a short-lived xdotool, say) fails.
        argv = ["Xvfb"] + ([":%d" % number] if number is not None else []) + [
            "-displayfd", str(write_fd), "-nolisten", "tcp", "-screen", "0",
            "%dx%dx24" % (width, height), "-auth", "/dev/null", "-noreset"]
        server = self.spawn(argv, pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
        os.close(write_fd)
        data = b""
        with os.fdopen(read_fd, "rb") as f:
            while not data.endswith(b"\n"):
                chunk = f.read(1)
                if not chunk:
                    return server, None
                data += chunk
        return server, int(data.decode().strip())

    def start_pulse(self):
        """Starts PulseAudio with a null sink (the default sink; null.monitor records it)."""
        self.spawn(["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
                    "-n", "--load=module-null-sink", "--load=module-native-protocol-unix",
                    "--log-target=stderr", "--log-level=error"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: subprocess.run(["pactl", "info"], env=self.env,
                                        stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL).returncode == 0,
                 10, "PulseAudio did not start")

    def record(self, name="recording.wav"):
        rec = Recorder(self, os.path.join(self.tmp, name))
        rec.start()
        return rec

    def serve(self, files):
        server = RangeServer(files)
        self.servers.append(server)
        return server

    def path(self, name):
        return os.path.join(self.tmp, name)

    # -- lifetime --------------------------------------------------------------------
    def close(self):
        with self._lock:
            procs = list(reversed(self.procs))
            self.procs = []
        for p in procs:
            self.kill(p, signal.SIGTERM)
        for p in procs:
            self.stop(p)
        for s in self.servers:
            s.close()
        self.servers = []
        if not self.keep:
            shutil.rmtree(self.tmp, ignore_errors=True)

    def __enter__(self):
        self.start_x()
        self.start_pulse()
        return self

    def __exit__(self, *exc):
        self._reaper.cancel()
        self.close()
        return False


class Recorder:
    """Records the null sink's monitor to a WAV file (mono, 16-bit, 48 kHz). elapsed()
    tells how many seconds of sound the file holds now, the best mark for "now" in it;
    the capture itself runs about 0.2 s behind what is played."""

    def __init__(self, desktop, path):
        self.desktop, self.path, self.proc, self.started = desktop, path, None, None

    def start(self):
        self.proc = self.desktop.spawn(
            ["parecord", "--latency-msec=20", "--device=null.monitor", "--file-format=wav",
             "--channels=1", "--rate=48000", "--format=s16le", self.path],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started = time.monotonic()
        wait_for(lambda: os.path.exists(self.path) and os.path.getsize(self.path) > 44, 15,
                 "the recorder wrote nothing")

    RATE = 48000

    def elapsed(self):
        try:
            return max(os.path.getsize(self.path) - 44, 0) / (2.0 * self.RATE)
        except OSError:
            return 0.0

    def stop(self):
        if self.proc and self.proc.poll() is None:
            os.kill(self.proc.pid, signal.SIGINT)
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.desktop.kill(self.proc)
        return self.path


class RangeServer:
    """Serves a dict of path -> (bytes, content type) or path -> bytes on 127.0.0.1 with
    Range support (206) and Cache-Control: no-store."""

    TYPES = {".html": "text/html; charset=utf-8", ".wav": "audio/wav", ".png": "image/png"}

    def __init__(self, files):
        self.files = dict(files)
        self.requests = []
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def handle(self):
                # The web engine drops connections it no longer needs (a looping element's
                # earlier request, a page left): not a fault of the test.
                try:
                    super().handle()
                except (BrokenPipeError, ConnectionResetError):
                    pass

            def do_HEAD(self):
                self.do_GET(body=False)

            def do_GET(self, body=True):
                path = self.path.split("?", 1)[0].split("#", 1)[0]
                entry = outer.files.get(path)
                rng = self.headers.get("Range")
                if entry is None:
                    outer.requests.append((self.command, path, rng, 404))
                    self.send_response(404)
                    self.send_header("Content-Length", "0")
                    self.send_header("Cache-Control", "no-store")
                    self.end_headers()
                    return
                data, ctype = entry if isinstance(entry, tuple) else (
                    entry, outer.TYPES.get(os.path.splitext(path)[1], "application/octet-stream"))
                start, end, status = 0, len(data) - 1, 200
                if rng and rng.startswith("bytes="):
                    first, _, last = rng[6:].split(",")[0].partition("-")
                    try:
                        if first:
                            start = int(first)
                            end = min(int(last), len(data) - 1) if last else len(data) - 1
                        else:
                            start = max(len(data) - int(last), 0)
                        status = 206
                    except ValueError:
                        status = 200
                    if status == 206 and (start > end or start >= len(data)):
                        outer.requests.append((self.command, path, rng, 416))
                        self.send_response(416)
                        self.send_header("Content-Range", "bytes */%d" % len(data))
                        self.send_header("Content-Length", "0")
                        self.end_headers()
                        return
                outer.requests.append((self.command, path, rng, status))
                self.send_response(status)
                self.send_header("Content-Type", ctype)
                self.send_header("Accept-Ranges", "bytes")
                self.send_header("Cache-Control", "no-store")
                if status == 206:
                    self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, len(data)))
                self.send_header("Content-Length", str(end - start + 1))
                self.end_headers()
                if body:
                    try:
                        self.wfile.write(data[start:end + 1])
                    except (BrokenPipeError, ConnectionResetError):
                        pass

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.httpd.daemon_threads = True
        self.port = self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


# -- the demo service -------------------------------------------------------------------

_demo_service = []


def demo_service():
    """tools/demo-service as a module, for its own rules (the tone of a station code)."""
    if not _demo_service:
        loader = importlib.machinery.SourceFileLoader("demo_service", DEMO_SERVICE)
        spec = importlib.util.spec_from_loader("demo_service", loader)
        module = importlib.util.module_from_spec(spec)
        loader.exec_module(module)
        _demo_service.append(module)
    return _demo_service[0]


def tone_hz(code):
    """The stream tone of a station code, by the service's own rule."""
    return demo_service().tone_hz(code)


def start_demo_service(desktop, port, log, delay=0.0, redirect_host=None, **kwargs):
    """Starts tools/demo-service on 127.0.0.1:port as a process of the desktop, logging each
    request to `log`; returns it once it answers."""
    argv = [sys.executable, DEMO_SERVICE, "--port", str(port), "--log", log]
    if delay:
        argv += ["--delay", str(delay)]
    if redirect_host:
        argv += ["--redirect-host", redirect_host]
    service = desktop.spawn(argv, **kwargs)

    def answers():
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return True
        except OSError:
            return False

    wait_for(answers, 10, "the demo service did not answer on 127.0.0.1:%d (see its log)" % port)
    return service


# -- what a GTK program says --------------------------------------------------------------

GTK_COMPLAINT = re.compile(r"\(([^():\s]+):(\d+)\): Gtk-(CRITICAL|WARNING) \*\*")


def gtk_complaints(text, pids=None):
    """The lines of a program's output where GTK reports a critical or a warning, of the
    processes `pids` only when given (GLib prefixes each with "(name:pid)")."""
    found = []
    for line in text.splitlines():
        m = GTK_COMPLAINT.search(line)
        if m and (pids is None or int(m.group(2)) in pids):
            found.append(line.strip())
    return found


# -- sound and picture files ------------------------------------------------------------

def tone_wav(freq, seconds, rate=44100, amplitude=0.5):
    """A mono 16-bit WAV of a sine tone, as bytes. Whole periods, so it loops cleanly."""
    n = int(rate * seconds)
    periods = max(1, round(freq * n / rate))
    n = int(round(periods * rate / freq))
    frames = struct.pack("<%dh" % n, *(int(32767 * amplitude * math.sin(2 * math.pi * freq * i / rate))
                                       for i in range(n)))
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(frames), b"WAVE", b"fmt ", 16,
                         1, 1, rate, rate * 2, 2, 16, b"data", len(frames))
    return header + frames


def write_bmp(path, width, height, rgb):
    """Writes a 24-bit BMP of one colour (rgb: a 0xRRGGBB integer)."""
    row = bytes([rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF]) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def from_s16le(data):
    """Mono signed 16-bit little-endian bytes as floats in [-1, 1)."""
    samples = array.array("h")
    samples.frombytes(data[: len(data) // 2 * 2])
    return [s / 32768.0 for s in samples]


def read_wav(path, limit_seconds=None):
    """A PCM WAV file (8- or 16-bit) as (mono floats in -1..1, rate); channels are averaged.
    Tolerates the unfinished header that an interrupted recorder leaves: the samples then
    run to the end of the file."""
    with open(path, "rb") as f:
        data = f.read()
    rate, channels, width = 48000, 1, 2
    pos, samples = 12, None
    while pos + 8 <= len(data):
        kind, size = struct.unpack("<4sI", data[pos:pos + 8])
        if kind == b"fmt ":
            _, channels, rate, _, _, bits = struct.unpack("<HHIIHH", data[pos + 8:pos + 24])
            width = bits // 8
        elif kind == b"data":
            samples = data[pos + 8:pos + 8 + size] if size else data[pos + 8:]
            break
        pos += 8 + size + (size & 1)
    if samples is None:
        samples = data[44:]
    if limit_seconds is not None:
        samples = samples[:int(rate * limit_seconds) * channels * width]
    if width == 2:
        values = array.array("h")
        values.frombytes(samples[:len(samples) // 2 * 2])
        flat, scale = values, 32768.0
    elif width == 1:
        flat, scale = [b - 128 for b in samples], 128.0
    else:
        raise ValueError("unsupported sample width %d in %s" % (width, path))
    if channels == 1:
        return [v / scale for v in flat], rate
    mono = [sum(flat[i:i + channels]) / (channels * scale)
            for i in range(0, len(flat) - channels + 1, channels)]
    return mono, rate


def write_wav(path, samples, rate):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(array.array("h", (max(-32768, min(32767, int(s * 32768))) for s in samples)).tobytes())


# -- sound analysis ---------------------------------------------------------------------
#
# The tests ask three questions of a stretch of recorded sound: is it silent, is a given tone
# there (Goertzel at the tone's frequency against its neighbours), and which of a few reference
# sounds does its spectrum look like (a band-energy profile compared by shape). The checks of
# the acceptance tests are relative: to the stretch's own energy or to neighbouring
# frequencies, never an absolute level, since the stream, the cue and the noises come at
# levels we do not control.

# Bands for the profile: log-spaced from 150 Hz to 7 kHz, below the Nyquist frequency of the
# 16 kHz recording and of every reference file.
PROFILE_EDGES = [150.0 * (7000.0 / 150.0) ** (i / 14) for i in range(15)]
FRAME = 1024


def rms(x):
    return math.sqrt(sum(s * s for s in x) / len(x)) if x else 0.0


def level(x, rate, frequency):
    """The amplitude (0..1) of the tone at `frequency` in x (Goertzel, no window)."""
    return 2.0 * math.sqrt(max(goertzel(x, frequency, rate), 0.0))


def goertzel(x, frequency, rate):
    """Power of x at one frequency (the squared magnitude of that DFT coefficient, over N^2)."""
    coeff = 2.0 * math.cos(2.0 * math.pi * frequency / rate)
    s1 = s2 = 0.0
    for sample in x:
        s1, s2 = sample + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return power / (len(x) ** 2) if x else 0.0


def tone_db(x, frequency, rate):
    """How far the tone stands above its neighbourhood, in dB: Goertzel power at the frequency
    over the mean power at six frequencies 60 to 180 Hz away. A Hann window keeps the leakage
    of a strong tone out of its neighbours. About 0 dB for noise, far above 20 for a tone."""
    n = len(x)
    w = [s * (0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1))) for i, s in enumerate(x)]
    at = goertzel(w, frequency, rate)
    around = [goertzel(w, frequency + d, rate) for d in (-180, -120, -60, 60, 120, 180)]
    floor = sum(around) / len(around)
    return 10.0 * math.log10((at + 1e-20) / (floor + 1e-20))


def tone_share(x, frequency, rate):
    """The share of the stretch's energy that lies in the tone at `frequency`: about 1 for a
    pure sine at that frequency, near 0 for noise or for a tone elsewhere."""
    n = len(x)
    mean_square = sum(s * s for s in x) / n
    if mean_square <= 0:
        return 0.0
    w = [s * (0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1))) for i, s in enumerate(x)]
    # A sine of amplitude A gives a Hann-windowed Goertzel power of A^2/16 and a mean
    # square of A^2/2, hence the factor 8.
    return 8.0 * goertzel(w, frequency, rate) / mean_square


def fft(values):
    """Iterative radix-2 FFT of a list of complex numbers whose length is a power of two."""
    n = len(values)
    a = list(values)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            a[i], a[j] = a[j], a[i]
    size = 2
    while size <= n:
        step = cmath.exp(-2j * math.pi / size)
        half = size // 2
        for start in range(0, n, size):
            w = 1.0
            for k in range(start, start + half):
                t = w * a[k + half]
                a[k + half] = a[k] - t
                a[k] += t
                w *= step
        size *= 2
    return a


def band_energies(x, rate):
    """Welch-averaged energy in each profile band (Hann frames of 1024, half overlap)."""
    window = [0.5 - 0.5 * math.cos(2 * math.pi * i / (FRAME - 1)) for i in range(FRAME)]
    bins = [0.0] * (FRAME // 2)
    frames = 0
    for start in range(0, len(x) - FRAME + 1, FRAME // 2):
        spectrum = fft([x[start + i] * window[i] for i in range(FRAME)])
        for k in range(FRAME // 2):
            c = spectrum[k]
            bins[k] += c.real * c.real + c.imag * c.imag
        frames += 1
    if frames == 0:
        raise ValueError("too few samples for a spectrum")
    energies = []
    for low, high in zip(PROFILE_EDGES, PROFILE_EDGES[1:]):
        first = int(math.ceil(low * FRAME / rate))
        last = int(math.floor(high * FRAME / rate))
        energies.append(sum(bins[first:last + 1]) / frames)
    return energies


def profile(x, rate):
    """The spectral shape in dB per band, with its mean removed so that level does not count."""
    db = [10.0 * math.log10(e + 1e-18) for e in band_energies(x, rate)]
    mean = sum(db) / len(db)
    return [d - mean for d in db]


def profile_distance(a, b):
    """RMS difference of two profiles in dB."""
    return math.sqrt(sum((p - q) ** 2 for p, q in zip(a, b)) / len(a))


def is_broadband(x, rate, spread_db=30.0):
    """True when the energy is spread like noise: most bands lie within spread_db of the
    strongest one, and no single band carries most of the energy."""
    energies = band_energies(x, rate)
    strongest = max(energies)
    if strongest <= 0:
        return False
    close = sum(1 for e in energies if e > strongest * 10 ** (-spread_db / 10))
    return close >= len(energies) // 2 and strongest < 0.8 * sum(energies)
