"""Decoder output for the sonde-bridge tests and the position reports the station must send for
it: every field of a report is built here from the frame's own values, by the rules the station
and the bridge follow (GPS time less 18 s, course = direction of travel, knots, feet)."""

import datetime
import json
import math
import os
import struct

DATA = os.path.join(os.path.dirname(__file__), "data", "bridge-flight.txt")

# What the station's comment carries besides the measurements (NIMBRIX.INI keys).
REPORT_KEYS = "QRG=YES\r\nID=YES\r\nFRAME=YES\r\n"


def recorded_blocks(path=DATA):
    """Recorded decoder output (rs41mod's by default) as (frame or None, bytes) blocks: each
    frame line with the lines that follow it up to the next frame (empty lines, status text,
    junk)."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")[:-1]
    blocks = []
    for line in lines:
        frame = usable_frame(line)
        if frame is not None or not blocks:
            blocks.append([frame, b""])
        blocks[-1][1] += line + b"\n"
    return [tuple(b) for b in blocks]


def usable_frame(line):
    """The frame of a line that is one of the sonde's good frames, else None."""
    try:
        frame = json.loads(line.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return None
    if not isinstance(frame, dict) or frame.get("encrypted") or "sats" not in frame:
        return None
    return frame


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


def utc_time(frame):
    """hhmmss of the frame's time in UTC: GPS time less 18 s, the fraction dropped."""
    t = datetime.datetime.strptime(frame["datetime"][:19], "%Y-%m-%dT%H:%M:%S")
    if frame.get("ref_datetime") == "GPS":
        t -= datetime.timedelta(seconds=18)
    return t.strftime("%H%M%S")


def expected_report(frame, user="N0CALL-11"):
    # The bridge answers heading + 180; the station turns that by 180 again.
    item4 = math.fmod(frame["heading"] + 180, 360)
    course = item4 + 180
    if course > 360:
        course -= 360
    knots = round(frame["vel_h"] * f32(3.6) / f32(1.852))
    feet = round(round(frame["alt"] * 100) / 100 / f32(0.3048))
    temperature = frame["temp"] if -99 <= frame["temp"] <= 99 else -99
    return (f"{user}>APZQW0,TCPIP*:@{utc_time(frame)}h"
            f"{aprs_coordinate(frame['lat'], 2, 'N', 'S')}/"
            f"{aprs_coordinate(frame['lon'], 3, 'E', 'W')}O"
            f"{round(course):03d}/{knots:03d}/A={feet:06d}"
            f" Clb={number_text(round(frame['vel_v'] * 10) / 10)}m/s"
            f" P={number_text(round(frame['pressure'] * 10) / 10)}hPa"
            f" T={number_text(round(temperature * 10) / 10)}oC"
            f" U={number_text(round(frame['humidity']))}%"
            f" ID={frame['id']} FN={frame['frame']} {frame['freq'] / 1000:.3f}\r\n").encode()
