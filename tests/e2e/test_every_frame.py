"""Every frame to the outputs beside the primary link, whatever that link is doing: sonde-sim
makes a frame a second on the wall clock, the sonde climbs from 300 m (reports spaced, the
cycle pausing before each), and the primary server is black-holed for a minute in a network
namespace of the test's own, then back. The SondeHub stand-in and the chase-car listener both
get every frame, once, in order."""

import json
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest

from conftest import station_ini
from sondehub_feed import STANDIN, wait
from test_dead_link import netns  # noqa: F401  (the fixture)
from test_headless import Headless


class UdpListener:
    """The chase car: keeps the frame of every PAYLOAD_SUMMARY datagram."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(0.5)
        self.port = self.sock.getsockname()[1]
        self.frames = []      # the frame of each datagram
        self.datagrams = []   # each datagram, as JSON
        self.running = True
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while self.running:
            try:
                data, _ = self.sock.recvfrom(65535)
            except socket.timeout:
                continue
            except OSError:
                return
            d = json.loads(data)
            self.datagrams.append(d)
            self.frames.append(d["frame"])

    def stop(self):
        self.running = False
        self.thread.join(5)
        self.sock.close()


def assert_every_frame_once(frames):
    assert len(frames) > 30, frames
    gaps = [(a, b) for a, b in zip(frames, frames[1:]) if b != a + 1]
    assert gaps == [], f"frames missing, twice or out of order: {gaps}"


@pytest.mark.long
def test_every_frame_reaches_sondehub_and_the_chase_car_while_the_primary_is_black_holed(
        bus_address, sonde_sim, aprs_listener, netns, tmp_path):  # noqa: F811
    with netns.inside():
        primary = aprs_listener()
        udp = UdpListener()
    store = tmp_path / "sondehub.jsonl"
    hub = subprocess.Popen([sys.executable, str(STANDIN), "--port", "0", "--store", str(store)],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                           preexec_fn=netns.enter)
    line = hub.stdout.readline()
    assert "listening" in line, line
    hub_port = int(line.split()[-1].split(":")[-1])

    def hub_frames():
        if not store.exists():
            return []
        return [e["record"]["frame"] for e in map(json.loads, store.read_text().splitlines())
                if e["kind"] == "telemetry"]

    sonde_sim("simulate", "--alt", "300")
    ini = station_ini(f"127.0.0.1,{primary.port}", extra=(
        f"SONDEHUB=YES\r\nSONDEHUB_URL=http://127.0.0.1:{hub_port}\r\n"
        f"UDP=127.0.0.1,{udp.port}\r\n"))
    (tmp_path / "NIMBRIX.INI").write_bytes(ini.encode())
    n = Headless(tmp_path, bus_address, preexec_fn=netns.enter)
    try:
        assert wait(lambda: b":@" in primary.received(), 60), n.text()
        time.sleep(10)
        netns.drop_port(primary.port)
        time.sleep(60)
        netns.undrop()
        # Back: the station logs in again and sends again.
        assert wait(lambda: len(primary.connections) >= 2
                    and b":@" in bytes(primary.connections[-1]), 120), n.text()
        time.sleep(25)  # one more SondeHub batch
        n.proc.send_signal(signal.SIGTERM)
        assert n.proc.wait(30) == 0, n.text()
    finally:
        n.stop()
        hub.terminate()
        hub.wait(10)
        udp.stop()

    assert netns.dropped_packets_seen
    assert_every_frame_once(udp.frames)
    assert_every_frame_once(hub_frames())
    # The link was down for a while, and the log says so.
    assert any("Lost" in e or "OPEN" in e or "SEND" in e for e in n.events()), n.text()
