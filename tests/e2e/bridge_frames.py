"""Decoder output for the sonde-bridge tests and the position reports the station must send for
it: every field of a report is worked out here from the frame's own values, by the rules the
station and the bridge follow (GPS time less the leap seconds of its date, heights above sea
level, course = direction of travel, knots, feet), and a report read back is compared with the
frames field by field."""

import datetime
import json
import math
import os
import re
import struct
import subprocess

DATA = os.path.join(os.path.dirname(__file__), "data", "bridge-flight.txt")
# The decoders' unedited output of two public recordings (data/real/README.md).
REAL = os.path.join(os.path.dirname(__file__), "data", "real")
REAL_RS41 = os.path.join(REAL, "rs41-L1830070-2015-08-02.txt")
REAL_DFM = os.path.join(REAL, "dfm-DFM-314377-2015-03-17.txt")

# What the station's comment carries besides the measurements (NIMBRIX.INI keys).
REPORT_KEYS = "QRG=YES\r\nID=YES\r\nFRAME=YES\r\n"

# The bits of the frame number that the station keeps (a signed 32-bit number): every FN= of the
# recordings is checked, a DFM's 1110632994 included.
STATION_FRAME_BITS = 32

# GPS - UTC from the first UTC day of each value (the IERS leap-second list; 0 from 1980-01-06).
GPS_MINUS_UTC = [
    (1981, 7, 1), (1982, 7, 2), (1983, 7, 3), (1985, 7, 4), (1988, 1, 5), (1990, 1, 6),
    (1991, 1, 7), (1992, 7, 8), (1993, 7, 9), (1994, 7, 10), (1996, 1, 11), (1997, 7, 12),
    (1999, 1, 13), (2006, 1, 14), (2009, 1, 15), (2012, 7, 16), (2015, 7, 17), (2017, 1, 18),
]


def read_blocks(path):
    """Decoder output as (frame or None, bytes) blocks: each JSON frame line with the lines that
    follow it up to the next one (empty lines, status text, junk)."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")[:-1]
    blocks = []
    for line in lines:
        frame = json_frame(line)
        if frame is not None or not blocks:
            blocks.append([frame, b""])
        blocks[-1][1] += line + b"\n"
    return [tuple(b) for b in blocks]


def recorded_blocks():
    """The recorded rs41mod output of the older tests, its sonde's good frames only as frames."""
    return [(f if f is not None and usable(f) else None, data) for f, data in read_blocks(DATA)]


def json_frame(line):
    try:
        frame = json.loads(line.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return None
    return frame if isinstance(frame, dict) else None


def usable(frame):
    """A frame the bridge serves: not encrypted, with a complete id."""
    return not frame.get("encrypted") and "sats" in frame and "xx" not in frame["id"]


def f32(x):
    """The value as a single-precision float, widened back (the station's constants are)."""
    return struct.unpack("f", struct.pack("f", x))[0]


def number_text(value):
    """The station's trimmed number: up to 15 significant digits, no zero before the point."""
    text = f"{value:.15g}"
    if text.startswith("0."):
        text = text[1:]
    elif text.startswith("-0."):
        text = "-" + text[2:]
    return text


def aprs_coordinate(value, degree_digits, positive, negative):
    a = abs(value)
    degrees = math.trunc(a)
    minutes = f32((a - degrees) * 60.0)
    text = f"{minutes:05.2f}"
    if text == "60.00":
        degrees, text = degrees + 1, "00.00"
    return f"{degrees:0{degree_digits}d}{text}{negative if value < 0 else positive}"


def gps_minus_utc(gps_time):
    offset = 0
    for year, month, value in GPS_MINUS_UTC:
        if gps_time >= datetime.datetime(year, month, 1) + datetime.timedelta(seconds=value):
            offset = value
    return offset


def utc_time(frame):
    """hhmmss of the frame's time in UTC: GPS time less the leap seconds of its date, the
    fraction dropped."""
    t = datetime.datetime.strptime(frame["datetime"][:19], "%Y-%m-%dT%H:%M:%S")
    if frame.get("ref_datetime") == "GPS":
        t -= datetime.timedelta(seconds=gps_minus_utc(t))
    return t.strftime("%H%M%S")


def geoid_heights(frames):
    """The EGM96 geoid's height above the ellipsoid at the frames' positions, from PROJ's cs2cs
    (the EPSG transformation to EGM96 heights, not the bridge's own way to the grid)."""
    points = sorted({(f["lat"], f["lon"]) for f in frames})
    run = subprocess.run(["cs2cs", "-d", "9", "EPSG:4979", "EPSG:4326+5773"], check=True,
                         input="".join(f"{lat} {lon} 0\n" for lat, lon in points),
                         capture_output=True, text=True, timeout=60)
    rows = run.stdout.splitlines()
    assert len(rows) == len(points), run.stdout + run.stderr
    return {p: -float(row.split()[2]) for p, row in zip(points, rows)}


def sea_level_altitude(frame, geoid=None):
    """The altitude the bridge serves: MSL as it is, less diff_GPS_MSL where the frame has it,
    less the geoid's height for "ref_position": "GPS" when `geoid` (heights by position) is
    given; otherwise as the decoder gave it (the Windows bridge has no geoid model)."""
    if frame.get("ref_position") == "MSL":
        return frame["alt"]
    if "diff_GPS_MSL" in frame:
        return frame["alt"] - frame["diff_GPS_MSL"]
    if frame.get("ref_position") == "GPS" and geoid is not None:
        return frame["alt"] - geoid[(frame["lat"], frame["lon"])]
    return frame["alt"]


def frame_number_text(number):
    """FN= as the station writes it, or None where it keeps fewer bits than the number has."""
    limit = 1 << (STATION_FRAME_BITS - 1)
    return str(number) if -limit <= number < limit else None


# Which GETSONDEDATA item each field of a report comes from (the station asks 0 to 14 in turn);
# a mirror of the item names in src/telemetry/decoder_items.h.
ITEM_OF_FIELD = {"id": 0, "lat": 1, "lon": 2, "feet": 3, "course": 4, "speed": 5, "time": 6,
                 "qrg": 7, "pressure": 8, "temp": 9, "humidity": 10, "climb": 12, "frame": 13}


def expected_fields(frame, geoid=None):
    """Every field of the position report the station sends for `frame` (texts; the frame
    number None where it cannot be checked)."""
    # The bridge answers heading + 180; the station turns that by 180 again.
    item4 = math.fmod(frame["heading"] + 180, 360)
    course = item4 + 180
    if course > 360:
        course -= 360
    knots = round(frame["vel_h"] * f32(3.6) / f32(1.852))
    feet = round(round(sea_level_altitude(frame, geoid) * 100) / 100 / f32(0.3048))
    # Readings the decoder did not give reach the station as its own "no reading" values.
    temperature = frame.get("temp", -999)
    temperature = temperature if -99 <= temperature <= 99 else -99
    humidity = frame.get("humidity", -1)
    humidity = humidity if 0 <= humidity <= 100 else 0
    khz = frame.get("freq", frame.get("tx_frequency"))
    return {
        "time": utc_time(frame),
        "lat": aprs_coordinate(frame["lat"], 2, "N", "S"),
        "lon": aprs_coordinate(frame["lon"], 3, "E", "W"),
        "course": f"{round(course):03d}",
        "speed": f"{knots:03d}",
        "feet": f"{feet:06d}",
        "climb": number_text(round(frame["vel_v"] * 10) / 10),
        "pressure": number_text(round(frame.get("pressure", 0) * 10) / 10),
        "temp": number_text(round(temperature * 10) / 10),
        "humidity": number_text(round(humidity)),
        "id": frame["id"],
        "frame": frame_number_text(frame["frame"]),
        "qrg": f"{khz / 1000:.3f}" if khz is not None else "",
    }


def expected_report(frame, geoid=None, user="N0CALL-11"):
    f = expected_fields(frame, geoid)
    return (f"{user}>APZQW0,TCPIP*:@{f['time']}h{f['lat']}/{f['lon']}O{f['course']}/"
            f"{f['speed']}/A={f['feet']} Clb={f['climb']}m/s P={f['pressure']}hPa "
            f"T={f['temp']}oC U={f['humidity']}% ID={f['id']} FN={frame['frame']} "
            f"{f['qrg']}\r\n").encode()


REPORT = re.compile(
    rb"^(?P<user>[^>]+)>APZQW0,TCPIP\*:@(?P<time>\d{6})h(?P<lat>\d{4}\.\d\d[NS])/"
    rb"(?P<lon>\d{5}\.\d\d[EW])O(?P<course>\d{3})/(?P<speed>\d{3})/A=(?P<feet>-?\d{6}) "
    rb"Clb=(?P<climb>\S*)m/s P=(?P<pressure>\S*)hPa T=(?P<temp>\S*)oC U=(?P<humidity>\S*)% "
    rb"ID=(?P<id>\S*) FN=(?P<frame>\S*) (?P<qrg>\S*)\r\n$")


def report_fields(line):
    m = REPORT.match(line)
    assert m, f"not a position report of the expected layout: {line!r}"
    return {k: v.decode("latin-1") for k, v in m.groupdict().items() if k != "user"}


def differences(fields, wanted):
    return [f"{k}: sent {fields[k]!r}, frame {wanted[k]!r}" for k in ITEM_OF_FIELD
            if wanted[k] is not None and fields[k] != wanted[k]]


def source_of(line, frames, geoid=None):
    """The frame a position report was made from, checked field by field: every field must be
    that one frame's (the bridge answers the station's fifteen questions of a cycle from one
    frame, also when a newer one arrives in between). Fails with the differences to the frame of
    the same time."""
    fields = report_fields(line)
    wanted = [expected_fields(f, geoid) for f in frames]
    for i, w in enumerate(wanted):
        if not differences(fields, w):
            return frames[i]
    same_time = [w for w in wanted if w["time"] == fields["time"]]
    raise AssertionError(f"{line!r} comes from no frame: " +
                         ("; ".join(differences(fields, same_time[0])) if same_time
                          else f"no frame of time {fields['time']}"))
