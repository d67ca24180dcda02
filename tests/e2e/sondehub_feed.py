"""What the SondeHub end-to-end tests share: the local SondeHub stand-in, a headless station
that feeds it, and the checks of what arrived."""

import json
import pathlib
import signal
import subprocess
import sys
import time

import pytest

from conftest import free_port, station_ini
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
