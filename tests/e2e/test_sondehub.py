"""The SondeHub feed end to end: the station (headless), sonde-sim and the local SondeHub
stand-in: every frame once, the station's record, the queue sent on SIGTERM, a busy API that
loses nothing, and an API that holds its answer while the APRS-IS reports keep their pace."""

import json
import pathlib
import re
import signal
import subprocess
import sys
import time

import pytest

from conftest import VERSION, VERSION_TEXT, free_port, station_ini
from test_headless import Headless

STANDIN = pathlib.Path(__file__).resolve().parents[2] / "tools" / "sondehub-standin" / \
    "sondehub-standin.py"
POSITION = "47.5,12.25,612"


class Standin:
    def __init__(self, store, *args):
        self.port = free_port()
        self.store = store
        self.proc = subprocess.Popen(
            [sys.executable, str(STANDIN), "--port", str(self.port), "--store", str(store), *args],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.proc.stdout.readline()
        assert "listening" in line, line

    def kept(self, kind="telemetry"):
        if not self.store.exists():
            return []
        return [e for e in map(json.loads, self.store.read_text().splitlines())
                if e["kind"] == kind]

    def frames(self):
        return [e["record"]["frame"] for e in self.kept()]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)


@pytest.fixture
def standin(tmp_path):
    started = []

    def start(*args):
        s = Standin(tmp_path / f"sondehub-{len(started)}.jsonl", *args)
        started.append(s)
        return s

    yield start
    for s in started:
        s.stop()


def start_station(tmp_path, bus_address, aprs_port, hub, extra=""):
    ini = station_ini(f"127.0.0.1,{aprs_port}", extra=(
        f"SONDEHUB=YES\r\nSONDEHUB_URL=http://127.0.0.1:{hub.port}\r\nPOSITION={POSITION}\r\n"
        f"ANTENNA=5/8 vertical\r\nRADIO=RTL-SDR\r\n{extra}"))
    (tmp_path / "NIMBRIX.INI").write_bytes(ini.encode())
    return Headless(tmp_path, bus_address)


def wait(predicate, timeout):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


def sondehub_lines(n):
    return [e for e in n.events() if e.startswith("SondeHub ")]


def assert_each_frame_once(frames):
    assert frames, "nothing delivered"
    assert len(frames) == len(set(frames)), frames
    assert frames == sorted(frames), frames
    # The cycle reads the decoder about once a second, but waits up to five seconds before a
    # report to keep reports apart: frames pass unread then, never more than that.
    assert all(b - a <= 7 for a, b in zip(frames, frames[1:])), frames


def stop(n):
    n.proc.send_signal(signal.SIGTERM)
    assert n.proc.wait(30) == 0, n.text()


def test_every_frame_once_and_the_queue_on_sigterm(bus_address, sonde_sim, aprs_listener, standin,
                                                   tmp_path):
    sonde_sim("simulate", "--serial", "S3210987", "--lat", "47.6", "--lon", "12.3")
    listener = aprs_listener()
    hub = standin()
    n = start_station(tmp_path, bus_address, listener.port, hub)
    try:
        # Two batches, then SIGTERM a few seconds after the second.
        assert wait(lambda: len(hub.kept()) >= 25, 90), n.text()
        before = len(hub.kept())
        assert wait(lambda: len(hub.kept()) > before, 60), n.text()
        time.sleep(8)
        sent_before_stop = hub.frames()
        stop(n)
    finally:
        n.stop()

    frames = hub.frames()
    assert_each_frame_once(frames)
    # The last request on SIGTERM carried the frames read since the last batch.
    assert len(frames) >= len(sent_before_stop) + 4, (sent_before_stop, frames)

    record = hub.kept()[0]
    assert record["content_encoding"] == "gzip"
    assert record["user_agent"] == VERSION_TEXT
    assert re.fullmatch(r"\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d GMT", record["date"])
    r = record["record"]
    assert (r["software_name"], r["software_version"], r["uploader_callsign"]) == \
        ("NIMBRIX", VERSION, "N0CALL-11")
    assert (r["manufacturer"], r["type"], r["serial"]) == ("Vaisala", "RS41", "S3210987")
    assert r["uploader_position"] == [47.5, 12.25, 612]
    assert r["frequency"] == pytest.approx(403.001)
    for key in ("vel_v", "vel_h", "heading", "temp", "humidity", "pressure"):
        assert key in r, key

    listeners = hub.kept("listener")
    assert len(listeners) == 1
    assert listeners[0]["content_encoding"] is None
    assert listeners[0]["record"] == {
        "software_name": "NIMBRIX", "software_version": VERSION, "uploader_callsign": "N0CALL-11",
        "uploader_position": [47.5, 12.25, 612], "uploader_radio": "RTL-SDR",
        "uploader_antenna": "5/8 vertical", "mobile": False}

    lines = sondehub_lines(n)
    assert lines[:2] == [f"SondeHub http://127.0.0.1:{hub.port}: starting",
                         f"SondeHub http://127.0.0.1:{hub.port}: OK: ^v^ telm logged"] or \
        lines[:2] == [f"SondeHub http://127.0.0.1:{hub.port}: starting",
                      f"SondeHub http://127.0.0.1:{hub.port}: OK"], lines
    # Nothing per batch.
    assert len(lines) <= 3, lines


def test_trial_records_are_checked_and_kept_by_nobody(bus_address, sonde_sim, aprs_listener,
                                                      standin, tmp_path):
    sonde_sim("simulate", "--serial", "S3210987", "--lat", "47.6", "--lon", "12.3")
    listener = aprs_listener()
    hub = standin()
    n = start_station(tmp_path, bus_address, listener.port, hub, extra="SONDEHUB_DEV=YES\r\n")
    try:
        assert n.wait_for(lambda e: any("refused: All checks passed" in l for l in e), 60), n.text()
        stop(n)
    finally:
        n.stop()
    assert hub.kept() == []


@pytest.mark.long
def test_fifty_seconds_of_503_lose_nothing(bus_address, sonde_sim, aprs_listener, standin,
                                           tmp_path):
    sonde_sim("simulate", "--serial", "S3210987", "--lat", "47.6", "--lon", "12.3")
    listener = aprs_listener()
    hub = standin("--busy-seconds", "50")
    n = start_station(tmp_path, bus_address, listener.port, hub)
    try:
        assert n.wait_for(lambda e: any(l.endswith(": HTTP 503: Service Unavailable")
                                        for l in e), 60), n.text()
        # Tries 5, 10, 20 and 40 s apart: the fifth, 75 s after the first, finds the API back.
        assert wait(lambda: len(hub.kept()) > 0, 150), n.text()
        time.sleep(3)
        stop(n)
    finally:
        n.stop()
    frames = hub.frames()
    assert_each_frame_once(frames)
    # From the first frames on: the station reads sonde-sim, started just before it, within
    # seconds.
    assert frames[0] <= 12, frames
    assert any(l.endswith(": OK") or ": OK: " in l for l in sondehub_lines(n)), n.text()


@pytest.mark.long
def test_an_answer_held_for_45_seconds_never_delays_a_report(bus_address, sonde_sim,
                                                            aprs_listener, standin, tmp_path):
    sonde_sim("simulate", "--alt", "520", "--lat", "47.6", "--lon", "12.3")  # low: reports often
    listener = aprs_listener()
    hub = standin("--hold-seconds", "45")
    n = start_station(tmp_path, bus_address, listener.port, hub)
    arrivals = []
    try:
        def count():
            return sum(1 for l in listener.lines() if b":@" in l)
        seen = 0
        end = time.time() + 100
        while time.time() < end and not hub.kept():
            now = count()
            if now > seen:
                arrivals.extend([time.monotonic()] * (now - seen))
                seen = now
            time.sleep(0.1)
        assert hub.kept(), n.text()
        stop(n)
    finally:
        n.stop()
    lines = sondehub_lines(n)
    assert any(l.endswith(": time-out") for l in lines), lines
    # Reports go out every 6 to 7 cycles below 2000 m: a cycle held by the request would leave
    # a gap of 30 s or more.
    gaps = [b - a for a, b in zip(arrivals, arrivals[1:])]
    assert len(arrivals) >= 8, arrivals
    assert max(gaps) < 15, gaps
    assert_each_frame_once(hub.frames())
