"""A private desktop for tests that run real GTK programs: an X server, a sound server
whose output can be recorded, and a small HTTP server. Python standard library only.

    with Desktop() as d:                 # temp folders, Xvfb, PulseAudio (null sink)
        server = d.serve({"/a.html": page, "/tone.wav": tone})   # RangeServer
        rec = d.record()                 # Recorder of everything played
        p = d.spawn([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        ...
        rec.stop(); rate, samples = read_wav(rec.path)
        level(samples[a:b], rate, 440)   # Goertzel amplitude of a tone, 0..1

Desktop(timeout=85) also arms a reaper: when the time is up it kills every process group
it started and ends the test process with status 3, so a hang fails instead of blocking.
Desktop.env is the environment for programs (DISPLAY, XDG_RUNTIME_DIR, XDG_CONFIG_HOME,
XDG_CACHE_HOME, XDG_DATA_HOME, HOME all private). Every process is started in a process
group of its own and killed with its group on close.

Helpers: tone_wav(freq, seconds) gives WAV bytes; write_bmp(path, w, h, rgb) writes a
24-bit BMP of one colour; read_wav(path) gives (rate, mono samples in -1..1); level() and
rms() measure them; RangeServer answers Range requests with 206 and sends
Cache-Control: no-store, and logs (method, path, range header, status) in .requests.
"""

import http.server
import math
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import wave

__all__ = ["Desktop", "RangeServer", "Recorder", "tone_wav", "write_bmp", "read_wav",
           "level", "rms", "wait_for"]


def wait_for(predicate, timeout, step=0.05):
    """Polls predicate until it gives a true value (returned) or timeout passes (None)."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= end:
            return None
        time.sleep(step)


class Desktop:
    def __init__(self, timeout=85, keep=False):
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
        self.env = env
        self.display = None
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
        try:
            os.killpg(p.pid, sig)
        except (ProcessLookupError, PermissionError):
            pass

    def _reap(self):
        sys.stderr.write("desktop: time is up; killing everything\n")
        self.close()
        os._exit(3)

    # -- servers ---------------------------------------------------------------------
    def start_x(self, width=1024, height=768):
        """Starts Xvfb on a free display number and sets DISPLAY."""
        read_fd, write_fd = os.pipe()
        # -noreset: by default the server resets whenever its last client leaves, and a
        # program that connects during the reset (after a short-lived xdotool, say) fails.
        self.spawn(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp", "-screen", "0",
                    "%dx%dx24" % (width, height), "-auth", "/dev/null", "-noreset"],
                   pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        data = b""
        with os.fdopen(read_fd, "rb") as f:
            while not data.endswith(b"\n"):
                chunk = f.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                data += chunk
        self.display = ":" + data.decode().strip()
        self.env["DISPLAY"] = self.display
        return self.display

    def start_pulse(self):
        """Starts PulseAudio with a null sink (the default sink; null.monitor records it)."""
        self.spawn(["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
                    "-n", "--load=module-null-sink", "--load=module-native-protocol-unix",
                    "--log-target=stderr", "--log-level=error"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        ok = wait_for(lambda: subprocess.run(["pactl", "info"], env=self.env,
                                             stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL).returncode == 0, 10)
        if not ok:
            raise RuntimeError("PulseAudio did not start")

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
            if p.poll() is None:
                self.kill(p, signal.SIGTERM)
        for p in procs:
            try:
                p.wait(timeout=2)
            except subprocess.TimeoutExpired:
                pass
            # The group may hold children that outlived their leader (web processes).
            self.kill(p, signal.SIGKILL)
            try:
                p.wait(timeout=2)
            except subprocess.TimeoutExpired:
                pass
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
        wait_for(lambda: os.path.exists(self.path) and os.path.getsize(self.path) > 44, 5)

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


def read_wav(path):
    """(rate, samples): the first channel of a 16-bit WAV, as floats in -1..1. Tolerates
    the unfinished header that an interrupted recorder may leave."""
    with open(path, "rb") as f:
        data = f.read()
    try:
        with wave.open(path, "rb") as w:
            rate, channels, width = w.getframerate(), w.getnchannels(), w.getsampwidth()
    except (wave.Error, EOFError):
        rate, channels, width = 48000, 1, 2
    pos = data.find(b"data")
    raw = data[pos + 8:] if pos >= 0 else data[44:]
    if width != 2:
        raise ValueError("16-bit samples expected")
    count = len(raw) // 2
    values = struct.unpack("<%dh" % count, raw[:count * 2])
    return rate, [v / 32768.0 for v in values[::channels]]


def level(samples, rate, freq):
    """The amplitude (0..1) of the tone at freq in the samples (Goertzel)."""
    n = len(samples)
    if n == 0:
        return 0.0
    k = 2 * math.cos(2 * math.pi * freq / rate)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + k * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - k * s1 * s2
    return 2 * math.sqrt(max(power, 0.0)) / n


def rms(samples):
    return math.sqrt(sum(x * x for x in samples) / len(samples)) if samples else 0.0
