"""The object lines a station in the object mode (OBJECT=YES) must send for decoder frames, and
what an APRS parser that no one here wrote (Debian's direwolf, `decode_aprs`) reads in them."""

import re
import shutil
import subprocess

from bridge_frames import expected_fields, number_text

# name, "*", time hhmmss "h", latitude, "/", longitude, "O", course "/" speed, "/A=" feet, comment
OBJECT = re.compile(
    rb"^N0CALL-11>APZQW0,TCPIP\*:;(?P<name>[A-Z0-9 ]{9})\*(?P<time>\d{6})h"
    rb"(?P<lat>\d{4}\.\d{2}[NS])/(?P<lon>\d{5}\.\d{2}[EW])O(?P<course>\d{3})/(?P<knots>\d{3})"
    rb"/A=(?P<feet>\d{6})(?P<comment>[^\r\n]*)\r\n$")


def objects(listener):
    return [l for l in listener.lines() if b":;" in l]


def served_comment(frame, qrg_fallback=""):
    """The comment the station makes of a frame that sonde-bridge serves, with ID, FN and QRG
    on: every reading the frame has, and none that it lacks (no 0 or -99 in their place)."""
    parts = [f" Clb={number_text(round(frame['vel_v'] * 10) / 10)}m/s"]
    if "pressure" in frame and round(frame["pressure"] * 10) != 0:
        parts.append(f" P={number_text(round(frame['pressure'] * 10) / 10)}hPa")
    if "temp" in frame and -99 <= frame["temp"] <= 99:
        parts.append(f" T={number_text(round(frame['temp'] * 10) / 10)}oC")
    if "humidity" in frame and 0 <= frame["humidity"] <= 100:
        parts.append(f" U={number_text(round(frame['humidity']))}%")
    parts.append(f" ID={frame['id']} FN={frame['frame']}")
    khz = frame.get("freq", frame.get("tx_frequency"))
    qrg = f"{round(khz) // 1000}.{round(khz) % 1000:03d}" if khz is not None else qrg_fallback
    if qrg:
        parts.append(" " + qrg)
    return "".join(parts)


def check_object_of_frames(match, frames, name, geoid):
    """An object line (OBJECT's match) must be made of one of the frames, every field exact: the
    time in UTC by the leap seconds of the frame's date, the height above sea level as the bridge
    serves it (`geoid`: heights by position), and a comment with only the readings the frame
    has."""
    line = match.group(0)
    assert match["name"].decode() == f"{name:<9}", line
    for frame in frames:
        f = expected_fields(frame, geoid)
        sent = {"time": match["time"].decode(), "lat": match["lat"].decode(),
                "lon": match["lon"].decode(), "course": match["course"].decode(),
                "speed": match["knots"].decode(), "feet": match["feet"].decode()}
        if all(sent[k] == f[k] for k in sent) and \
                match["comment"].decode() == served_comment(frame):
            return frame
    raise AssertionError(f"{line!r} is made of no single frame")


def decode_aprs(line):
    """What direwolf's decode_aprs reads in one line: name, latitude and longitude in degrees,
    speed in MPH, course and altitude in feet (None where it reads none)."""
    program = shutil.which("decode_aprs")
    assert program, "decode_aprs (Debian package direwolf) is missing: scripts/install-deps.sh"
    run = subprocess.run([program], input=line.rstrip(b"\r\n") + b"\n", capture_output=True,
                         timeout=30)
    text = re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", run.stdout.decode("utf-8", "replace"))
    read = {"text": text}
    name = re.search(r'Object, "([^"]*)"', text)
    read["name"] = name.group(1) if name else None
    position = re.search(r"([NS]) (\d+) ([\d.]+), ([EW]) (\d+) ([\d.]+)", text)
    if position:
        lat = int(position.group(2)) + float(position.group(3)) / 60
        lon = int(position.group(5)) + float(position.group(6)) / 60
        read["lat"] = -lat if position.group(1) == "S" else lat
        read["lon"] = -lon if position.group(4) == "W" else lon
    for key, pattern in (("mph", r"(\d+) MPH"), ("course", r"course (\d+)"),
                         ("feet", r"alt (-?\d+) ft")):
        found = re.search(pattern, text)
        read[key] = int(found.group(1)) if found else None
    return read


def aprs_degrees(text):
    """Degrees of an APRS coordinate text such as 4807.41N or 07159.26W."""
    digits = 2 if text[-1] in "NS" else 3
    value = int(text[:digits]) + float(text[digits:-1]) / 60
    return -value if text[-1] in "SW" else value


def check_with_decode_aprs(lines):
    """Every line must read as an object with the name, position, course, speed and altitude
    that the line carries."""
    assert lines
    for line in lines:
        m = OBJECT.match(line)
        assert m, line
        read = decode_aprs(line)
        assert read["name"] == m["name"].decode().rstrip(), (line, read["text"])
        assert abs(read["lat"] - aprs_degrees(m["lat"].decode())) < 1e-6, (line, read["text"])
        assert abs(read["lon"] - aprs_degrees(m["lon"].decode())) < 1e-6, (line, read["text"])
        assert read["course"] == int(m["course"]), (line, read["text"])
        assert read["mph"] == round(int(m["knots"]) * 1.15078), (line, read["text"])
        assert read["feet"] == int(m["feet"]), (line, read["text"])
