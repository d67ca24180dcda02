"""The decoders' real output for two public recordings through sonde-bridge into the station,
replayed one frame a second through --input as a decoder writing into a file would: an RS41 of
2015 (GPS time of a date with 17 leap seconds, heights above the ellipsoid, temperature and
humidity only a minute in) and a DFM (UTC, "diff_GPS_MSL", a placeholder id, frame numbers
beyond 16 bits); and two DFMs in one stream, of which the station must follow one at a time.
Every position report is checked field by field against the frames."""

import json
import re
import time

from bridge_frames import (REAL_DFM, REAL_RS41, REPORT_KEYS, geoid_heights, read_blocks,
                           report_fields, source_of, usable)
from bridge_process import reports, wait_next_cycle
from conftest import station_ini

# Generous bounds: the tests wait for what they expect, never for a time.
REPORT_WAIT = 60


def serial_shown(n):
    """The serial on the dashboard; None while the row is only partly drawn (the screen may
    arrive in more than one read)."""
    m = re.search(r"Serial#: (\S*) \| QRG:", n.row(7))
    return m.group(1) if m else None


class Station:
    """The station under test with its listener, the bridge's input file, and what the dashboard
    showed as the serial, sampled while the test pumps."""

    def __init__(self, nimbrix, aprs_listener, bridge, path, *bridge_args, extra=""):
        path.write_bytes(b"")
        self.path = path
        self.bridge = bridge("--input", str(path), *bridge_args)
        self.listener = aprs_listener()
        self.n = nimbrix(station_ini(f"127.0.0.1,{self.listener.port}", extra=REPORT_KEYS + extra))
        assert self.n.wait_for("Last valid data:", timeout=30), self.n.text()
        self.serials = []  # (time.monotonic(), serial on the dashboard)
        self.reports_seen = 0
        self.want_report()

    def pump(self, seconds):
        end = time.monotonic() + seconds
        while True:
            self.n.pump(0.1)
            serial = serial_shown(self.n)
            if serial is not None:
                self.serials.append((time.monotonic(), serial))
            # One "s" per report sent: the key keeps a report due until the next one goes out.
            sent = len(reports(self.listener))
            if sent > self.reports_seen:
                self.reports_seen = sent
                self.want_report()
            if time.monotonic() >= end:
                return

    def want_report(self):
        self.n.send("s")

    def write(self, data):
        with open(self.path, "ab") as f:
            f.write(data)

    def sent(self):
        return reports(self.listener)

    def report_of(self, frame_kind, since, frames, geoid):
        """Waits for a report, after the first `since`, of a frame that `frame_kind` takes."""
        end = time.monotonic() + REPORT_WAIT
        while time.monotonic() < end:
            for line in self.sent()[since:]:
                if frame_kind(source_of(line, frames, geoid)):
                    return True
            self.pump(0.2)
        return False


def replay(station, blocks, frames, geoid, kinds):
    """Writes the blocks one frame a second. For each kind of frame (name: test) a report of
    such a frame is made sure of: before the first frame of that kind the station is given
    time to take the key "s" (two of its cycles), so that the cycle that first sees the frame
    sends it; should that report not come, the next frame of the kind tries again."""
    covered = set()
    for frame, data in blocks:
        kind = next((k for k, test in kinds.items()
                     if k not in covered and frame is not None and usable(frame) and test(frame)),
                    None)
        if kind is None:
            station.write(data)
            station.pump(1.0)
            continue
        station.want_report()
        assert wait_next_cycle(station.n) and wait_next_cycle(station.n), station.n.text()
        before = len(station.sent())
        station.write(data)
        if station.report_of(kinds[kind], before, frames, geoid):
            covered.add(kind)
    return covered


def check_every_report(station, frames, geoid):
    sent = station.sent()
    for line in sent:
        source_of(line, frames, geoid)  # fails with the fields that differ
    assert len(set(sent)) == len(sent), sent
    return sent


def test_an_rs41_of_2015_reported_as_it_flew(nimbrix, aprs_listener, bridge, tmp_path):
    blocks = read_blocks(REAL_RS41)
    frames = [f for f, _ in blocks if f is not None and usable(f)]
    assert len(frames) == 60
    geoid = geoid_heights(frames)  # "ref_position": "GPS": heights above the ellipsoid
    s = Station(nimbrix, aprs_listener, bridge, tmp_path / "rs41.txt")
    kinds = {
        "no readings yet": lambda f: "temp" not in f and f["frame"] > 3180,
        "temperature only": lambda f: "temp" in f and "humidity" not in f,
        "temperature and humidity": lambda f: "humidity" in f,
    }
    covered = replay(s, blocks, frames, geoid, kinds)
    assert covered == set(kinds), (covered, s.listener.received())
    sent = check_every_report(s, frames, geoid)
    times = {report_fields(line)["time"] for line in sent}
    # 2015-08-02: GPS time was 17 s ahead of UTC; the frames, GPS 11:59:26 to 12:00:25, were
    # sent from 11:59:09 to 12:00:08 UTC.
    assert all("115909" <= t <= "120008" for t in times), times
    # An RS41-SG has no pressure sensor: P=0 throughout, the station's "no reading".
    assert all(report_fields(line)["pressure"] == "0" for line in sent), sent
    assert {serial for _, serial in s.serials} <= {"", "L1830070"}
    s.bridge.proc.terminate()
    s.bridge.proc.wait(timeout=20)
    s.bridge.drain.join(timeout=10)
    assert "120 lines read, 60 frames accepted, 60 lines skipped (60 not JSON)" in s.bridge.stderr()


def test_a_dfm_without_its_placeholder_id(nimbrix, aprs_listener, bridge, tmp_path):
    blocks = read_blocks(REAL_DFM)
    frames = [f for f, _ in blocks if f is not None and usable(f)]
    assert len(frames) == 10 and all(f["id"] == "DFM-314377" for f in frames)
    s = Station(nimbrix, aprs_listener, bridge, tmp_path / "dfm.txt")
    # Heights less "diff_GPS_MSL", no geoid needed; times in UTC as they stand.
    covered = replay(s, blocks, frames, None, {"measured": lambda f: "temp" in f})
    assert covered == {"measured"}, s.listener.received()
    s.pump(2.0)  # the frames after the last one waited for
    sent = check_every_report(s, frames, None)
    for line in sent:
        assert b"xxxx" not in line and b"ID=DFM-314377 " in line, line
    assert {serial for _, serial in s.serials} <= {"", "DFM-314377"}, set(s.serials)
    s.bridge.proc.terminate()
    s.bridge.proc.wait(timeout=20)
    s.bridge.drain.join(timeout=10)
    assert "10 frames accepted, 16 lines skipped (14 not JSON, 2 incomplete serial)" in \
        s.bridge.stderr(), s.bridge.stderr()


def second_sonde(frames, rounds):
    """Another DFM made from the recording: another serial, half an hour later, 20 km north,
    1 km lower; its frames repeated `rounds` times, 10 s on each time."""
    out = []
    for r in range(rounds):
        for f in frames:
            g = dict(f, id="DFM-314378", lat=round(f["lat"] + 0.2, 5),
                     alt=round(f["alt"] - 1000, 5), frame=f["frame"] + 1800 + 10 * r)
            second = int(g["datetime"][17:19]) + 10 * r
            minute = int(g["datetime"][14:16]) + 30 + second // 60
            g["datetime"] = f'{g["datetime"][:14]}{minute:02d}:{second % 60:02d}.000Z'
            out.append(g)
    return out


def json_line(frame):
    return (json.dumps(frame) + "\n\n").encode()


def test_two_dfms_in_one_stream_the_station_follows_one(nimbrix, aprs_listener, bridge,
                                                        tmp_path):
    switch_after = 3
    recorded = [f for f, _ in read_blocks(REAL_DFM) if f is not None and usable(f)]
    first = recorded[:6]
    other = second_sonde(recorded, 10)
    s = Station(nimbrix, aprs_listener, bridge, tmp_path / "two.txt", "--switch-after",
                str(switch_after))
    # Both sondes for 6 s, then the other one alone: for 20 s at least, and on until the station
    # has reported it (the frames written are kept in their order, for the checks below).
    written = []
    last_first_written = None
    for i, frame in enumerate(other):
        if i >= 20 and any(b"ID=DFM-314378 " in line for line in s.sent()):
            break
        if i < len(first):
            s.write(json_line(first[i]))
            written.append(first[i])
            last_first_written = time.monotonic()
        s.write(json_line(frame))
        written.append(frame)
        s.pump(1.0)

    # Never back and forth: the first sonde, then the other, on the dashboard ...
    shown = [(t, serial) for t, serial in s.serials if serial]
    order = [serial for _, serial in shown]
    switch = order.index("DFM-314378")
    assert set(order[:switch]) == {"DFM-314377"} and set(order[switch:]) == {"DFM-314378"}, order
    # ... and only once the first one had been silent for the time asked for.
    assert shown[switch][0] >= last_first_written + switch_after - 0.2
    # ... and in the reports, each checked against the frames as they were written.
    ids = [report_fields(line)["id"] for line in check_every_report(s, written, None)]
    assert ids == sorted(ids) and ids[-1] == "DFM-314378", ids
    assert ("following sonde DFM-314378 now: DFM-314377 has sent nothing accepted for "
            f"{switch_after} s") in s.bridge.stderr(), s.bridge.stderr()
