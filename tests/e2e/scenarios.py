#!/usr/bin/env python3
"""Acceptance scenarios of the real palmeno binary, one desktop each (see harness.py).

Run one scenario:  PALMENO_BINARY=build/x/bin/palmeno tests/e2e/scenarios.py Scenarios.test_first_run
CTest runs each scenario as a test of its own, so that they run in parallel.

Where the needle finds the stations of the built-in list: TBS (954 kHz) at 190 and 191 on AM,
INT (76.1 MHz) at 111 and 112 on FM. The first run starts at 110 on AM, with the AM noise.
"""

import contextlib
import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness  # noqa: E402
import realstack  # noqa: E402
from harness import RATE  # noqa: E402
from realstack import tone_hz  # noqa: E402

PLAYER = "/player/player.html"
LOGO = "/static/2.0/common/images/sitelogo.png"
REAPER_SECONDS = 150
# The cue is two beeps, at 880 Hz and then 1318.5 Hz; the stream tones lie below 800 Hz.
CUE_HZ = 880.0
BAND_SWITCH_RECT = (32, 5, 15, 34)

STATION_FILE = "東京,TBS,954\n東京,INT,76.1\n大阪,MBS,550\n大阪,ABC,1008\n"
# Two stations one empty needle step apart on AM: AAA at 120, BBB at 122.
NEIGHBOURS = "東京,AAA,600\n東京,BBB,610\n"


binary = harness.binary


_references = {}


def reference(name):
    """The spectral profile of one of Palmeno's own sounds, from the binary's resources."""
    if name not in _references:
        resources = os.path.join(os.path.dirname(os.path.dirname(binary())), "share", "palmeno")
        x, rate = realstack.read_wav(os.path.join(resources, name + ".wav"), limit_seconds=4.0)
        _references[name] = realstack.profile(x, rate)
    return _references[name]


class Scenarios(unittest.TestCase):
    maxDiff = None

    @contextlib.contextmanager
    def palmeno(self, service=True, delay=0.0, station_file=None, needle=None, redirect_host=None):
        session = harness.Session(self.id().rpartition(".")[2], binary())
        try:
            session.start_desktop()
            if service:
                session.start_service(delay=delay, redirect_host=redirect_host)
            if station_file is not None:
                session.write_station_file(station_file)
            if needle is not None:
                # Settings of a run that ended with the power on, on AM, at this needle.
                with open(session.prefs_path, "w", encoding="utf-8") as f:
                    f.write("windowTop=100\nwindowLeft=100\nmainPower=1\nbandSwitch=1\n"
                            "tuneBar=%d\ncurrentPlace=東京\n" % needle)
            session.start_palmeno()
            yield session
            if session.expect_running:
                session.assert_alive()
            session.assert_no_gtk_complaints()
        except BaseException:
            session.keep_artefacts()
            raise
        finally:
            session.close()

    # -- what is heard ------------------------------------------------------------------
    def assert_noise(self, x, which):
        """The stretch is band noise, and the noise of `which` band rather than the other's."""
        self.assertGreater(realstack.rms(x), 1e-3, "silence where the %s was expected" % which)
        self.assertTrue(realstack.is_broadband(x, RATE), "not noise-like where the %s was expected" % which)
        heard = realstack.profile(x, RATE)
        other = "fmnoise" if which == "amnoise" else "amnoise"
        near, far = realstack.profile_distance(heard, reference(which)), realstack.profile_distance(heard, reference(other))
        self.assertLess(near, far, "the noise sounds like %s, not %s (%.1f dB against %.1f dB)"
                        % (other, which, far, near))

    def assert_silent(self, x):
        self.assertLess(realstack.rms(x), 1e-3, "sound where silence was expected")

    def assert_no_stream(self, x, codes=("TBS", "QRR", "LFR", "INT", "FMT", "FMJ")):
        for code in codes:
            self.assertLess(realstack.tone_share(x, tone_hz(code), RATE), 0.05, "the %s stream is heard" % code)

    def assert_cue_between(self, s, start, end):
        """The cue was heard somewhere in the stretch of the recording from start to end."""
        x = realstack.from_s16le(bytes(s.recording[start * 2:end * 2]))
        step = RATE // 20
        # Measured against its neighbours, not against all that is heard: the stream may
        # already be playing under the cue.
        best = max((realstack.tone_db(x[i:i + step * 2], CUE_HZ, RATE)
                    for i in range(0, max(1, len(x) - step * 2), step)), default=-99.0)
        self.assertGreater(best, 20.0, "the cue was not heard")

    def tune_tbs(self, s):
        """From the first-run needle (110, AM) to TBS at 190; returns where the recording was
        when the keys began, once the stream is heard."""
        began = s.now() - int(harness.CAPTURE_LATENCY * RATE)
        s.press("Right", 80)
        s.wait_for_request("/stream/TBS.wav", timeout=10)
        s.wait_for_tone(tone_hz("TBS"), timeout=10)
        return began

    # -- the scenarios ------------------------------------------------------------------
    def test_first_run(self):
        """The first run plays the AM noise at once, loops it, and tunes nothing."""
        with self.palmeno() as s:
            x = s.listen(1.5)
            self.assert_noise(x, "amnoise")
            self.assert_no_stream(x)
            # Past the end of the noise's three-second file the noise goes on.
            time.sleep(2.0)
            self.assert_noise(s.listen(1.5), "amnoise")
            self.assertNotIn(PLAYER, s.paths())
            self.assertEqual(s.needle_x(), 110)
            self.assertEqual(s.win_w, harness.CONTENT_WIDTH)
            self.assertGreaterEqual(s.win_h, harness.CONTENT_HEIGHT)

    def test_tune_am_station(self):
        """80 presses of the right arrow reach TBS: the cue, then its stream and no noise."""
        with self.palmeno() as s:
            began = self.tune_tbs(s)
            stream = s.listen(1.2)
            # Nearly all of what is heard is the stream's tone: the noise has stopped.
            self.assertGreater(realstack.tone_share(stream, tone_hz("TBS"), RATE), 0.9)
            self.assert_cue_between(s, began, s.now())
            self.assertEqual(s.paths()[:2], [PLAYER, "/stream/TBS.wav"])
            self.assertEqual(s.needle_x(), 190)
            # The stream's file lasts four seconds; the page loops it by asking for a range.
            time.sleep(4.0)
            self.assertGreater(realstack.tone_share(s.listen(1.0), tone_hz("TBS"), RATE), 0.9)
            self.assertIn("206", [status for _, path, status in s.requests() if path == "/stream/TBS.wav"])

    def test_tune_fm_station(self):
        """A click on the band switch brings the FM noise; one step right reaches INT."""
        with self.palmeno() as s:
            s.click(harness.BAND_SWITCH)
            self.assert_noise(s.listen(1.5), "fmnoise")
            s.press("Right", 1)
            s.wait_for_request("/stream/INT.wav", timeout=10)
            s.wait_for_tone(tone_hz("INT"), timeout=10)
            self.assertNotIn("/stream/TBS.wav", s.paths())

    def test_leave_station(self):
        """Moving off a station loads the logo, which ends the stream, and the noise returns."""
        with self.palmeno() as s:
            self.tune_tbs(s)
            s.press("Right", 2)
            s.wait_for_request(LOGO, timeout=10)
            time.sleep(0.3)
            x = s.listen(1.5)
            self.assert_noise(x, "amnoise")
            self.assert_no_stream(x)
            # The wheel leads back onto the station, which is tuned in anew.
            s.wheel(-2)
            s.wait_for_request(PLAYER, count=2, timeout=10)
            s.wait_for_tone(tone_hz("TBS"), timeout=10)
            self.assertEqual(s.needle_x(), 190)

    def test_power_cycle(self):
        """Power off while tuned is silence; power on brings the station back, with the cue."""
        with self.palmeno() as s:
            self.tune_tbs(s)
            s.key("space")
            s.wait_for_request(LOGO, timeout=10)
            time.sleep(0.3)
            self.assert_silent(s.listen(1.5))
            # Keys and clicks with the power off move the needle but tune nothing.
            s.press("Left", 1)
            s.press("Right", 1)
            time.sleep(0.5)
            self.assert_silent(s.listen(0.5))
            self.assertEqual(s.paths().count(PLAYER), 1)

            began = s.now() - int(harness.CAPTURE_LATENCY * RATE)
            s.click(harness.POWER_SWITCH)
            s.wait_for_request(PLAYER, count=2, timeout=10)
            s.wait_for_tone(tone_hz("TBS"), timeout=10)
            self.assert_cue_between(s, began, s.now())

    def test_band_click_against_b_key(self):
        """A click on the band switch changes picture and noise; "b" changes the picture only."""
        with self.palmeno() as s:
            am_picture = s.snapshot_rgb(*BAND_SWITCH_RECT)
            s.click(harness.BAND_SWITCH)
            time.sleep(0.3)
            fm_picture = s.snapshot_rgb(*BAND_SWITCH_RECT)
            self.assertTrue(fm_picture != am_picture, "the click did not change the band switch")
            self.assert_noise(s.listen(1.5), "fmnoise")

            s.key("b")
            time.sleep(0.3)
            self.assertTrue(s.snapshot_rgb(*BAND_SWITCH_RECT) == am_picture, '"b" did not show AM again')
            self.assert_noise(s.listen(1.5), "fmnoise")

            # Back on the FM side by "b", one step right reaches INT: the band is FM again.
            s.key("b")
            s.press("Right", 1)
            s.wait_for_tone(tone_hz("INT"), timeout=10)

    def test_region_from_station_file(self):
        """The region menu lists the regions of station.txt; choosing one tunes its station."""
        with self.palmeno(station_file=STATION_FILE) as s:
            # Tokyo's list has nothing at 550 kHz, where the first-run needle stands.
            self.assert_noise(s.listen(1.0), "amnoise")
            self.choose_region(s, 2)
            s.wait_for_request("/stream/MBS.wav", timeout=10)
            s.wait_for_tone(tone_hz("MBS"), timeout=10)
            self.assertEqual(s.close_palmeno("ctrl+q"), 0)
            self.assertEqual(read_prefs(s)[5], "currentPlace=大阪")

    def choose_region(self, s, position):
        """Chooses the region entry at `position` (from 1) with the keyboard: F10 opens the
        menu bar, two steps right reach the region menu, which is the third."""
        s.key("F10")
        time.sleep(0.3)
        s.key("Right", "Right")
        time.sleep(0.3)
        s.key(*(["Down"] * position))
        time.sleep(0.2)
        s.key("Return")

    def test_restart_with_saved_state(self):
        """Closing saves six lines; the next start restores them and tunes in at once."""
        with self.palmeno() as s:
            self.tune_tbs(s)
            self.assertEqual(s.close_palmeno("delete"), 0)
            prefs = read_prefs(s)
            self.assertEqual(len(prefs), 6, prefs)
            self.assertRegex(prefs[0], r"^windowTop=-?\d+$")
            self.assertRegex(prefs[1], r"^windowLeft=-?\d+$")
            self.assertEqual(prefs[2:], ["mainPower=1", "bandSwitch=1", "tuneBar=190", "currentPlace=東京"])

            s.start_palmeno()
            s.wait_for_request(PLAYER, count=2, timeout=10)
            s.wait_for_tone(tone_hz("TBS"), timeout=10)
            self.assertEqual(s.needle_x(), 190)
            # A second close without any change writes the same file: the position does not drift.
            self.assertEqual(s.close_palmeno("ctrl+q"), 0)
            self.assertEqual(read_prefs(s), prefs)

    def test_service_down(self):
        """Without the service the tuner keeps working: cue on a station, noise off it."""
        with self.palmeno(service=False) as s:
            began = s.now() - int(harness.CAPTURE_LATENCY * RATE)
            s.press("Right", 80)
            time.sleep(1.0)
            self.assert_cue_between(s, began, s.now())
            s.press("Right", 2)
            time.sleep(0.3)
            self.assert_noise(s.listen(1.5), "amnoise")
            s.press("Left", 2)
            time.sleep(1.0)
            s.assert_alive()
            self.assertEqual(s.close_palmeno("ctrl+q"), 0)
            self.assertEqual(read_prefs(s)[2:5], ["mainPower=1", "bandSwitch=1", "tuneBar=190"])

    def test_slow_service(self):
        """A slow service delays the stream, never the tuner: the noise comes back at once
        when the needle leaves a station whose page is still loading."""
        with self.palmeno(delay=2.0) as s:
            s.press("Right", 80)
            s.press("Right", 2)
            time.sleep(0.3)
            self.assert_noise(s.listen(1.0), "amnoise")
            s.press("Left", 2)
            s.wait_for_tone(tone_hz("TBS"), timeout=20)
            self.assertEqual(s.close_palmeno("ctrl+q"), 0)
            self.assertEqual(read_prefs(s)[4], "tuneBar=190")

    def test_next_station_while_logo_loads(self):
        """Two steps 150 ms apart over a service that answers in 0.3 s: the first leaves AAA
        (its logo still on the way), the second reaches BBB, whose page replaces AAA's."""
        with self.palmeno(delay=0.3, station_file=NEIGHBOURS, needle=120) as s:
            s.wait_for_tone(tone_hz("AAA"), timeout=10)
            s.key("Right", "Right", delay_ms=150)
            s.wait_for_request("/stream/BBB.wav", timeout=10)
            s.wait_for_tone(tone_hz("BBB"), timeout=10)
            self.assertEqual(s.paths().count(PLAYER), 2)
            self.assertLess(realstack.tone_share(s.listen(1.0), tone_hz("AAA"), RATE), 0.05, "AAA is still heard")

    def test_back_onto_station_while_logo_loads(self):
        """A step off AAA and back before its logo has arrived loads AAA's page anew, although
        its address is the one still shown."""
        with self.palmeno(delay=0.3, station_file=NEIGHBOURS, needle=120) as s:
            s.wait_for_tone(tone_hz("AAA"), timeout=10)
            streams = s.paths().count("/stream/AAA.wav")
            s.key("Right", "Left", delay_ms=150)
            s.wait_for_request(PLAYER, count=2, timeout=10)
            s.wait_for_request("/stream/AAA.wav", count=streams + 1, timeout=10)
            s.wait_for_tone(tone_hz("AAA"), timeout=10)
            self.assertIn(LOGO, s.paths())

    def test_station_code_with_bytes_an_address_cannot_carry(self):
        """A code with a space, a byte that is not UTF-8 and a NUL still loads its page."""
        code = b"A B\xff\x00C"
        with self.palmeno(station_file=b"\xe6\x9d\xb1\xe4\xba\xac," + code + b",600\n", needle=120) as s:
            s.wait_for_request(PLAYER, timeout=10)
            streams = lambda: [p for p in s.paths() if p.startswith("/stream/")]  # noqa: E731
            s.wait_for(lambda: streams(), 10, "the page asked for no stream")
            # The page gets the code percent-encoded and passes it on as it got it.
            self.assertEqual(streams()[0], "/stream/A%20B%FF%00C.wav")
            s.wait_for_tone(tone_hz("A%20B%FF%00C"), timeout=10)

    def test_player_page_redirects_to_another_host(self):
        """The service sends the player page on to another host name; the station plays."""
        with self.palmeno(redirect_host="localhost") as s:
            self.tune_tbs(s)
            self.assertEqual([status for _, path, status in s.requests() if path == PLAYER][:2], ["302", "200"])


def read_prefs(s):
    with open(s.prefs_path, encoding="utf-8") as f:
        return f.read().splitlines()


if __name__ == "__main__":
    realstack.enter_private_namespaces()
    harness.arm_reaper(REAPER_SECONDS)
    unittest.main()
