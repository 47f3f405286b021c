#!/usr/bin/env python3
"""Smoke test of the GTK backend through gtk_smoke on a private X server and sound server:
the window and its drawing, keys, wheel, clicks, a menu shortcut, a looping sound and a
hidden web view's page sound. Usage: smoke.py PATH/TO/gtk_smoke"""

import os
import queue
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from realstack import (Desktop, enter_private_namespaces, gtk_complaints, level, read_wav,  # noqa: E402
                       rms, tone_wav, wait_for, write_bmp)

LOOP_HZ, PAGE_HZ = 440, 1000
BACKDROP, CANVAS, NEEDLE = (0x20, 0x40, 0xC0), (0xE0, 0x10, 0x10), (0xFF, 0x80, 0x00)

failures = []


def frange(start, stop, step):
    """start, start + step, ... up to stop (at least start itself)."""
    values = [start]
    while values[-1] + step <= stop:
        values.append(values[-1] + step)
    return values


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


class Program:
    """gtk_smoke with its printed lines collected as they come."""

    def __init__(self, desktop, argv):
        self.err_path = desktop.path("smoke.err")
        with open(self.err_path, "wb") as err:
            self.p = desktop.spawn(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=err, text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.p.stdout:
            self.lines.put(line.rstrip("\n"))

    def send(self, command):
        try:
            self.p.stdin.write(command + "\n")
            self.p.stdin.flush()
        except BrokenPipeError:
            raise RuntimeError("gtk_smoke ended (status %s) before %r; it said:\n%s"
                               % (self.p.poll(), command, self.errors())) from None

    def errors(self):
        """What the program wrote to its standard error so far."""
        try:
            with open(self.err_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def expect(self, timeout=5):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            return None

    def drain(self, quiet=0.4):
        """Every line that arrives until none has come for `quiet` seconds."""
        got = []
        while True:
            line = self.expect(quiet)
            if line is None:
                return got
            got.append(line)


def xdo(desktop, *args):
    return subprocess.run(["xdotool", *args], env=desktop.env, capture_output=True, text=True,
                          timeout=10).stdout.strip()


def geometry(desktop, wid):
    out = subprocess.run(["xwininfo", "-id", wid], env=desktop.env, capture_output=True,
                         text=True, timeout=10).stdout
    values = {}
    for line in out.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


def screenshot(desktop, wid, width, height):
    raw = subprocess.run(["import", "-window", wid, "-depth", "8", "rgb:-"], env=desktop.env,
                         capture_output=True, timeout=20).stdout
    if len(raw) < width * height * 3:
        return None
    return lambda x, y: tuple(raw[(y * width + x) * 3:(y * width + x) * 3 + 3])


def bounding_box(pixel, width, height, colour):
    xs, ys = [], []
    for y in range(height):
        for x in range(width):
            if pixel(x, y) == colour:
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1) if xs else None


def noise_floor(samples, rate, until):
    """The level of either tone in the recording before the first sound (at `until` s)."""
    # The capture runs about 0.2 s behind what is played.
    noise = samples[int(0.2 * rate):int((max(until - 0.1, 0.1) + 0.2) * rate)]
    return max(level(noise, rate, LOOP_HZ), level(noise, rate, PAGE_HZ), 1e-4)


def main(binary):
    enter_private_namespaces()
    # The reaper fires before CTest's limit of 240 s, so that a hang shows where it was; a
    # run takes about 25 s, and over 100 s on a heavily loaded machine.
    with Desktop(timeout=220) as d:
        page = ('<!doctype html><html><body><audio autoplay loop src="/tone.wav"></audio>'
                '</body></html>').encode()
        server = d.serve({"/tone.html": page, "/quiet.html": b"<!doctype html><p>quiet</p>",
                          "/tone.wav": tone_wav(PAGE_HZ, 1.0)})
        with open(d.path("loop.wav"), "wb") as f:
            f.write(tone_wav(LOOP_HZ, 0.5))
        write_bmp(d.path("backdrop.bmp"), 340, 46, 0x2040C0)
        write_bmp(d.path("canvas.bmp"), 30, 20, 0xE01010)
        rec = d.record()

        prog = Program(d, [binary, "--wav", d.path("loop.wav"), "--backdrop",
                           d.path("backdrop.bmp"), "--canvas", d.path("canvas.bmp"),
                           "--top", "100", "--left", "120"])
        first = prog.drain(1.0) if prog.expect(20) == "open" else None
        check(first is not None and not any(l.startswith("error") for l in first),
              "the program opens its windows and its sound")
        wid = wait_for(lambda: xdo(d, "search", "--onlyvisible", "--name", "^Palmeno smoke$"), 10)
        if not check(bool(wid), "the main window is mapped"):
            sys.stdout.write("gtk_smoke's standard error:\n" + prog.errors())
            return 1
        wid = wid.split()[0]
        check(not xdo(d, "search", "--onlyvisible", "--name", "^Smoke player$"),
              "the player window stays hidden")

        # Geometry and drawing: the content is 340x46 below the menu bar, with the
        # backdrop, the canvas picture at (250, 20) and the needle at x 110.
        x, y, width, height = geometry(d, wid)
        check((x, y) == (120, 100), "the window stands at left 120, top 100 (got %d, %d)" % (x, y))
        check(width == 340 and height > 46, "the window is 340 wide with a menu bar above "
              "the content (got %dx%d)" % (width, height))
        pixel = screenshot(d, wid, width, height)
        menu_height = height - 46
        if check(pixel is not None, "the window can be captured"):
            box = bounding_box(pixel, width, height, BACKDROP)
            check(box == (0, menu_height, 340, 46), "the backdrop fills the 340x46 content "
                  "(got %s)" % (box,))
            box = bounding_box(pixel, width, height, CANVAS)
            check(box == (250, menu_height + 20, 30, 20),
                  "the canvas picture is drawn at (250, 20) (got %s)" % (box,))
            check(pixel(110, menu_height + 20) == NEEDLE and pixel(111, menu_height + 20) == BACKDROP,
                  "the needle is drawn at x 110")

        # Keys. The window has the keyboard focus from being presented.
        xdo(d, "mousemove", "--window", wid, "60", str(menu_height + 30))
        for key, expected in (("Right", "key 29"), ("Left", "key 28"), ("space", "key 32"),
                              ("b", "key 98"), ("Return", "key 13")):
            xdo(d, "key", key)
            got = prog.drain()
            check(got == [expected], "key %s gives %r (got %r)" % (key, expected, got))
        xdo(d, "key", "Shift_L")
        got = prog.drain()
        check(got == [], "a modifier alone gives nothing (got %r)" % (got,))
        xdo(d, "key", "ctrl+k")
        got = prog.drain()
        check(got == ["enable", "menu FileBeep"],
              "Ctrl+K brings the menus up to date and chooses the item, and is no key (got %r)"
              % (got,))
        xdo(d, "key", "Right")
        prog.drain()
        pixel = screenshot(d, wid, width, height)
        check(pixel is not None and pixel(111, menu_height + 20) == NEEDLE
              and pixel(110, menu_height + 20) == BACKDROP, "the needle is redrawn where it moved")

        # Wheel and clicks.
        for button, expected in (("4", "wheel 0 -1"), ("5", "wheel 0 1")):
            xdo(d, "click", button)
            got = prog.drain()
            check(got == [expected], "wheel button %s gives %r (got %r)" % (button, expected, got))
        xdo(d, "mousemove", "--window", wid, "255", str(menu_height + 25))
        xdo(d, "click", "1")
        got = prog.drain(0.6)
        check(got == ["mousedown 5 5"], "one click on the canvas is one mousedown (got %r)" % (got,))
        xdo(d, "mousemove", "--window", wid, "20", str(menu_height + 25))
        xdo(d, "click", "1")
        got = prog.drain()
        check(got == [], "a click beside the canvas gives nothing (got %r)" % (got,))

        # Sound: the looping WAV, then the hidden web view's page, then another page.
        marks = {"loop": rec.elapsed()}
        prog.send("loop")
        time.sleep(3.0)
        prog.send("state")
        state = prog.expect()
        check(state == "sound looping", "a looping sound says so (got %r)" % state)
        marks["stop"] = rec.elapsed()
        prog.send("stop")
        time.sleep(0.6)
        marks["page"] = rec.elapsed()
        prog.send("load " + server.url("/tone.html"))
        heard = wait_for(lambda: any(r[1] == "/tone.wav" for r in server.requests), 20)
        check(bool(heard), "the hidden web view fetches the page's sound")
        # Under load the web process may take seconds to start playing: wait until the
        # recording holds the tone (or give up after 20 s), then let it play on a little.
        samples, rate = read_wav(rec.path)
        floor = noise_floor(samples, rate, marks["loop"])

        def page_playing():
            samples, rate = read_wav(rec.path)
            return level(samples[-rate // 2:], rate, PAGE_HZ) > 20 * floor

        wait_for(page_playing, 20, interval=0.25)
        time.sleep(1.0)
        marks["quiet"] = rec.elapsed()
        prog.send("load " + server.url("/quiet.html"))
        time.sleep(1.5)
        # Once, after resting for seconds: it must start at once and keep its end.
        marks["play"] = rec.elapsed()
        prog.send("play")
        time.sleep(1.2)
        marks["end"] = rec.elapsed()
        # The backend alone hears the end of a sound played once; the sound asks it.
        prog.send("state")
        state = prog.expect()
        check(state == "sound idle", "a sound played once is idle after its end (got %r)" % state)

        prog.send("quit")
        code = prog.p.wait(timeout=10)
        rest = prog.drain(0.5)
        check(code == 0 and "exit 0" in rest, "quit ends the program with status 0 (got %r, %r)"
              % (code, rest))
        rec.stop()
        # GTK reports misuse as criticals and warnings and carries on: each is a fault.
        complaints = gtk_complaints(prog.errors(), {prog.p.pid})
        check(not complaints, "GTK reports no critical or warning (got %s)" % complaints)
        errors = prog.errors()

        samples, rate = read_wav(rec.path)

        def span(a, b):
            # The capture runs about 0.2 s behind what is played.
            return samples[int((a + 0.2) * rate):int((b + 0.2) * rate)]

        floor = noise_floor(samples, rate, marks["loop"])
        looping = span(marks["loop"] + 0.3, marks["stop"] - 0.3)
        check(level(looping, rate, LOOP_HZ) > 20 * floor and rms(looping) > 0.05,
              "the looping sound is heard (level %.4f, floor %.5f)" % (level(looping, rate, LOOP_HZ), floor))
        # Gapless: no 10 ms stretch of the loop is silent.
        step = rate // 100
        quiet_blocks = [i for i in range(0, len(looping) - step, step)
                        if rms(looping[i:i + step]) < 0.02]
        check(not quiet_blocks, "the loop has no silent gap (quiet 10 ms blocks at %s s)"
              % [round(i / rate, 2) for i in quiet_blocks])
        stopped = span(marks["stop"] + 0.3, marks["page"])
        check(level(stopped, rate, LOOP_HZ) < 5 * floor, "Stop silences the sound")
        page_level = max(level(span(t, t + 0.5), rate, PAGE_HZ)
                         for t in frange(marks["page"], marks["quiet"] - 0.6, 0.25))
        check(page_level > 20 * floor, "the hidden web view's page is heard (level %.4f)" % page_level)
        after = span(marks["quiet"] + 0.6, marks["play"])
        check(level(after, rate, PAGE_HZ) < 5 * floor,
              "loading another page ends the sound (level %.4f)" % level(after, rate, PAGE_HZ))

        # The one-shot run, measured within the recording: the 10 ms blocks from the first
        # loud one on. The 0.5 s tone must be heard whole and begin soon after the command.
        # The capture's lag varies, so the stretch begins well before the command.
        once = span(marks["play"] - 0.5, marks["end"])
        loud = [rms(once[i:i + step]) > 0.05 for i in range(0, len(once) - step, step)]
        onset = loud.index(True) if True in loud else None
        run = 0
        while onset is not None and onset + run < len(loud) and loud[onset + run]:
            run += 1
        check(onset is not None and 0.05 < onset * 0.01 < 0.5 + 0.5,
              "Play after a rest starts promptly (onset %s s after the command)"
              % (None if onset is None else round(onset * 0.01 - 0.5, 2)))
        check(run >= 47, "the played sound is heard to its end (%d ms of 500 ms)" % (run * 10))

    if failures:
        sys.stdout.write("gtk_smoke's standard error:\n" + errors)
        print("FAILED: %d check(s)" % len(failures))
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
