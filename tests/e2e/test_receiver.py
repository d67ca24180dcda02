"""sonde-receiver end to end, without radio hardware: rtl-tcp-standin synthesises the band a
dongle would see where the receiver tunes it (a sonde from our own modulator, traps that are no
sonde, noise, a dongle off frequency), and the receiver finds the sonde, decodes its frames and
prints them as the open decoders do; it never reports a trap, and goes on when the server goes
away and comes back."""

import json
import os
import re
import signal
import subprocess
import threading
import time

import pytest

RECEIVER_BIN = os.environ.get("SONDE_RECEIVER_BIN", "")
STANDIN_BIN = os.environ.get("RTL_TCP_STANDIN_BIN", "")

pytestmark = pytest.mark.skipif(not RECEIVER_BIN or not STANDIN_BIN,
                                reason="sonde-receiver is not built here (its libraries are missing)")


class Process:
    """A program whose standard output and error are kept line by line as they come."""

    def __init__(self, args):
        self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, errors="replace")
        self.out, self.err = [], []
        self.lock = threading.Lock()
        for stream, lines in ((self.proc.stdout, self.out), (self.proc.stderr, self.err)):
            threading.Thread(target=self._keep, args=(stream, lines), daemon=True).start()

    def _keep(self, stream, lines):
        for line in stream:
            with self.lock:
                lines.append(line.rstrip("\n"))

    def lines(self, which="out"):
        with self.lock:
            return list(self.out if which == "out" else self.err)

    def wait_for(self, predicate, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if predicate():
                return True
            if self.proc.poll() is not None:
                break
            time.sleep(0.2)
        return predicate()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                return self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)
                return None
        return self.proc.returncode


@pytest.fixture
def programs():
    started = []

    def start(args):
        p = Process(args)
        started.append(p)
        return p

    yield start
    for p in reversed(started):
        p.stop()


def standin(programs, *args):
    s = programs([STANDIN_BIN, "--port", "0", *args])
    assert s.wait_for(lambda: any("listening on" in l for l in s.lines()), 20), s.lines("err")
    port = int(re.search(r"listening on (?:[\d.]+:)?(\d+)", " ".join(s.lines())).group(1))
    return s, port


def frames(receiver, serial):
    out = []
    for line in receiver.lines():
        if not line.startswith("{"):
            continue
        f = json.loads(line)
        assert f["id"] == serial, f"a frame of no sonde that is on the air: {line}"
        out.append(f)
    return out


def assert_open_decoder_format(f):
    for key in ("type", "frame", "id", "datetime", "lat", "lon", "alt", "vel_h", "heading",
                "vel_v", "ref_datetime", "ref_position"):
        assert key in f, (key, f)
    assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", f["datetime"]), f


@pytest.mark.long
def test_an_rs41_between_traps_on_a_dongle_off_frequency(programs):
    # The dongle is 28 ppm off: the sonde appears 11.3 kHz below 404.800 MHz until its own
    # frames say where it sends (calibration fragment 0, once in 51 frames; an RS41 sends on a
    # channel of its synthesiser's steps, which the frequency it names is).
    s, port = standin(programs, "--seed", "7", "--ppm", "28", "--snr", "18",
                      "--rs41", "404.800:S2410203", "--cw", "401.250", "--fm-voice", "403.100",
                      "--spur", "310000")
    r = programs([RECEIVER_BIN, "--rtl-tcp", f"127.0.0.1:{port}"])

    def after_tx(n):
        got = frames(r, "S2410203")
        told = [i for i, f in enumerate(got) if "tx_frequency" in f]
        return bool(told) and len(got) - told[0] > n

    assert r.wait_for(lambda: after_tx(5), 180), (r.lines("err"), s.lines("err"))
    assert r.stop() == 0, r.lines("err")

    got = frames(r, "S2410203")
    for f in got:
        assert f["type"] == "RS41"
        assert_open_decoder_format(f)
    numbers = [f["frame"] for f in got]
    assert numbers == sorted(set(numbers)), numbers
    # Every frame once the sonde is decoded: one a second, none lost, none twice.
    assert numbers[-1] - numbers[0] == len(numbers) - 1, numbers
    # Before the dongle's error is known, the frequency as seen; from the first frame that
    # names its own, the sonde's frequency with the error taken off.
    told = next(i for i, f in enumerate(got) if "tx_frequency" in f)
    assert got[told]["tx_frequency"] == 404800, got[told]
    assert all(abs(f["freq"] - 404789) <= 2 for f in got[:told]), got[:told]
    assert all(abs(f["freq"] - 404800) <= 1 for f in got[told + 1:]), got[told + 1:]

    log = r.lines("err")
    assert any(l.startswith("scanning 400.000") for l in log), log
    assert any(re.fullmatch(r"404\.7[89]\d MHz: RS41", l) for l in log), log
    assert any(re.fullmatch(r"404\.7[89]\d MHz RS41 S2410203: first frame", l) for l in log), log
    assert any(re.search(r"dongle error: \+2[789]\.\d ppm", l) for l in log), log
    # The traps are never taken for a sonde.
    for trap in ("401.2", "403.1"):
        assert not any(l.startswith(trap) and ": RS41" in l for l in log), log
    assert len(log) < 60, "one line per event, never one per frame"


@pytest.mark.long
def test_goes_on_when_the_server_goes_away_and_comes_back(programs):
    s, port = standin(programs, "--seed", "3", "--snr", "18", "--rs41", "402.300:S1111111",
                      "--close-after", "30")
    r = programs([RECEIVER_BIN, "--rtl-tcp", f"127.0.0.1:{port}"])
    assert r.wait_for(lambda: len(frames(r, "S1111111")) >= 3, 120), r.lines("err")
    assert r.wait_for(lambda: any("gone" in l for l in r.lines("err")), 90), r.lines("err")
    before = len(frames(r, "S1111111"))
    assert r.wait_for(lambda: len(frames(r, "S1111111")) >= before + 3, 120), r.lines("err")
    assert r.stop() == 0


@pytest.mark.long
def test_two_dfms_20_khz_apart_of_either_polarity_each_under_its_own_id(programs):
    s, port = standin(programs, "--seed", "5", "--ppm", "-20", "--snr", "18",
                      "--dfm", "402.300:314377", "--dfm-inverted", "402.320:15070542",
                      "--cw", "402.900")
    r = programs([RECEIVER_BIN, "--rtl-tcp", f"127.0.0.1:{port}"])

    def by_id():
        got = {}
        for line in r.lines():
            if line.startswith("{"):
                f = json.loads(line)
                got.setdefault(f["id"], []).append(f)
        return got

    assert r.wait_for(lambda: all(len(by_id().get(i, [])) >= 5
                                  for i in ("DFM-314377", "DFM-15070542")), 150), r.lines("err")
    assert r.stop() == 0
    got = by_id()
    assert set(got) == {"DFM-314377", "DFM-15070542"}, set(got)
    for frames_of_one in got.values():
        times = [f["datetime"] for f in frames_of_one]
        assert times == sorted(set(times)), times  # time moves forward, no frame twice
        for f in frames_of_one:
            assert f["type"] == "DFM" and f["ref_datetime"] == "UTC"
            assert_open_decoder_format(f)
    # Never mixed: each sonde's positions are its own flight's, not the other's.
    a, b = got["DFM-314377"], got["DFM-15070542"]
    assert abs(a[-1]["lat"] - b[-1]["lat"]) + abs(a[-1]["lon"] - b[-1]["lon"]) > 0.001


def test_a_wrong_greeting_gives_no_frame_and_no_crash(programs):
    s, port = standin(programs, "--bad-greeting", "--rs41", "402.300:S1111111")
    r = programs([RECEIVER_BIN, "--rtl-tcp", f"127.0.0.1:{port}"])
    assert r.wait_for(lambda: len(r.lines("err")) >= 2, 30), r.lines("err")
    time.sleep(3)
    assert r.proc.poll() is None, r.lines("err")
    assert r.stop() == 0
    assert [l for l in r.lines() if l.startswith("{")] == []
