"""Three sondes at once, frames interleaved as a decoder pipeline prints them (an RS41, a DFM and
an M10, each a frame a second), through sonde-bridge into a station with every output on: two
APRS-IS listeners (the primary and an extra destination) get each sonde as its own object, the
SondeHub stand-in, the chase-car listener and the flight log every frame of each, once, and the
status page lists the three. SIGTERM ends it with 0 and every file complete."""

import csv
import datetime
import json
import signal
import threading
import time
import urllib.request
import xml.etree.ElementTree as ET

import pytest

from conftest import free_port, station_ini
from sondehub_feed import standin, wait  # noqa: F401  (standin is the fixture)
from test_every_frame import UdpListener
from test_headless import Headless

SERIALS = ("S4321098", "DFM-123456", "M10-012-3-45678")
OBJECT_NAMES = ("S4321098", "D123456", "ME8C60C1F")
GPX = "{http://www.topografix.com/GPX/1/1}"


def frame_line(sonde, n, now):
    """Decoder output of sonde `sonde` (0 RS41, 1 DFM, 2 M10), its n-th frame at `now`."""
    when = now.strftime("%Y-%m-%dT%H:%M:%S.000Z")
    place = {"lat": 48.1 + sonde * 0.5 + n * 1e-4, "lon": 11.5 + n * 1e-4, "alt": 600.0 + 5 * n,
             "vel_h": 6.5, "heading": 45.0, "vel_v": 5.0, "sats": 9}
    if sonde == 0:
        frame = {"type": "RS41", "frame": 4100 + n, "id": SERIALS[0], "datetime": when,
                 "batt": 2.9, "temp": -5.5, "humidity": 61.0, "pressure": 900.5,
                 "subtype": "RS41-SGP", "freq": 403500, "ref_datetime": "GPS",
                 "ref_position": "GPS"}
    elif sonde == 1:
        frame = {"type": "DFM", "frame": 200 + n, "id": SERIALS[1], "datetime": when,
                 "temp": 9.6, "subtype": "0xA", "ref_datetime": "UTC"}
    else:
        frame = {"type": "M10", "frame": 1375376421 + n, "id": SERIALS[2], "datetime": when,
                 "aprsid": OBJECT_NAMES[2], "batt": 2.98, "subtype": "0x9F"}
    frame.update(place)
    return (json.dumps(frame) + "\n\n").encode()


class Pipeline(threading.Thread):
    """Writes a frame of each sonde every second, on its own clock, whatever is asked."""

    def __init__(self, bridge):
        super().__init__(daemon=True)
        self.bridge = bridge
        self.running = True
        self.written = 0

    def run(self):
        n = 0
        start = time.monotonic()
        while self.running:
            now = datetime.datetime.now(datetime.timezone.utc)
            try:
                self.bridge.write(b"".join(frame_line(s, n, now) for s in range(3)))
            except (BrokenPipeError, ValueError):
                return
            n += 1
            self.written = n
            time.sleep(max(0.0, start + n - time.monotonic()))

    def stop(self):
        self.running = False
        self.join(5)


def status(port):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}/api/status", timeout=5) as answer:
        return json.loads(answer.read())


def object_names(listener):
    names = set()
    for line in listener.received().split(b"\r\n"):
        if b":;" in line:
            names.add(line.split(b":;", 1)[1][:9].decode().rstrip())
    return names


def csv_frames(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0][:4] == ["time_utc", "serial", "type", "frame"], rows[0]
    return [int(r[3]) for r in rows[1:]]


@pytest.mark.long
def test_three_interleaved_sondes_reach_every_output(bus_address, bridge, aprs_listener,
                                                      standin, tmp_path):  # noqa: F811
    b = bridge()
    pipeline = Pipeline(b)
    pipeline.start()
    primary = aprs_listener()
    extra = aprs_listener()
    hub = standin()
    udp = UdpListener()
    web = free_port()
    logs = tmp_path / "flights"
    ini = station_ini(f"127.0.0.1,{primary.port}", extra=(
        "OBJECT=YES\r\n"
        f"ALSO=127.0.0.1,{extra.port}\r\n"
        f"SONDEHUB=YES\r\nSONDEHUB_URL=http://127.0.0.1:{hub.port}\r\n"
        f"UDP=127.0.0.1,{udp.port}\r\n"
        f"FLIGHTLOG={logs}\r\n"
        f"WEB=127.0.0.1,{web}\r\n"))
    (tmp_path / "NIMBRIX.INI").write_bytes(ini.encode())
    n = Headless(tmp_path, bus_address)
    try:
        every = set(OBJECT_NAMES)
        assert wait(lambda: object_names(primary) >= every and object_names(extra) >= every, 60), (
            object_names(primary), object_names(extra), n.text())
        # The DFM's records wait for a batch of their own: a minute at most.
        assert wait(lambda: len({r["record"]["serial"] for r in hub.kept()}) >= 3, 120), n.text()
        listed = status(web).get("sondes", [])
        assert {s["serial"] for s in listed} == set(SERIALS), listed
        assert listed[0]["followed"], listed
        pipeline.stop()
        time.sleep(3)  # the last frames reach the station
        n.proc.send_signal(signal.SIGTERM)
        assert n.proc.wait(30) == 0, n.text()
    finally:
        pipeline.stop()
        n.stop()
        udp.stop()

    hub_frames, udp_frames = {}, {}
    for r in hub.kept():
        hub_frames.setdefault(r["record"]["serial"], []).append(r["record"]["frame"])
    for d in udp.datagrams:
        udp_frames.setdefault(d["callsign"], []).append(d["frame"])
    assert len(udp_frames) == 3, list(udp_frames)
    day = None
    for serial in SERIALS:
        found = sorted(logs.glob(f"{serial}_*.csv"))
        assert len(found) == 1, (serial, list(logs.iterdir()))
        day = found[0].stem.split("_")[-1]
        logged = csv_frames(found[0])
        # Every frame once, in order, with no gap.
        assert logged == list(range(logged[0], logged[0] + len(logged))), (serial, logged)
        assert len(logged) >= 20, (serial, logged)
        # The same frames as the other outputs that carry every frame (SondeHub names the DFM
        # and the M10 its own way: compared by count and by frame numbers where it keeps them).
        # The chase car's summaries are not kept while its address is looked up at start.
        for frames in udp_frames.values():
            if frames and frames[0] in logged:
                assert logged.index(frames[0]) <= 3, (serial, frames, logged)
                assert frames == logged[logged.index(frames[0]):], (serial, frames, logged)
        for frames in hub_frames.values():
            if frames and frames[0] in logged:
                assert frames == [f for f in logged if f >= frames[0]][:len(frames)], serial
        track = ET.parse(logs / f"{serial}_{day}.gpx").getroot()
        points = track.findall(f"{GPX}trk/{GPX}trkseg/{GPX}trkpt")
        assert len(points) == len(logged), serial
    # Each listener has each sonde's object, and the extra destination the primary's lines.
    for listener in (primary, extra):
        assert object_names(listener) == set(OBJECT_NAMES), listener.received()[:300]
