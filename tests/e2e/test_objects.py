"""The object mode (OBJECT=YES) end to end: sonde-sim, and sonde-bridge fed the open decoders'
real output, feeding a station whose object lines a local listener receives; every line is
also read by an APRS parser that no one here wrote (direwolf's decode_aprs)."""

import json
import re

import pytest

from bridge_frames import REAL_DFM, REAL_RS41, REPORT_KEYS, geoid_heights, read_blocks
from conftest import station_ini
from object_lines import OBJECT, check_object_of_frames, check_with_decode_aprs, objects

DFM = REAL_DFM
RS41 = REAL_RS41
OBJECT_INI = "OBJECT=YES\r\n" + REPORT_KEYS


def counts_shown(raw):
    """Every "Last valid data" count the station drew, in order: the cycles since its last
    report (or object)."""
    return [int(c) for c in re.findall(rb"Last valid data: +(-?\d+) s ago", bytes(raw))]


def counts_at_sending(raw):
    """The count each cycle that sent a report (or object) drew before it told of the sending:
    how many cycles had passed since the one before."""
    sends, count = [], None
    for m in re.finditer(rb"Last valid data: +(-?\d+) s ago|Last transmission: ", bytes(raw)):
        if m.group(1) is not None:
            count = int(m.group(1))
        else:
            sends.append(count)
    return sends


def end_station(n):
    n.send("\x1b")
    assert n.wait_exit(10) == 0


def test_sonde_sim_object_every_30_cycles_and_read_by_decode_aprs(nimbrix, sonde_sim,
                                                                 aprs_listener):
    # Below 2000 m, where position reports would go out every 6 to 7 cycles.
    sonde_sim("simulate", "--lat", "48.1234", "--lon", "11.5678", "--alt", "520",
              "--serial", "s1230456", "--qrg", "403.001")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=OBJECT_INI))
    assert n.wait_until(lambda: len(objects(listener)) >= 1, timeout=60), listener.received()
    assert n.wait_for("APRS objects on. Last object sent: S1230456", timeout=20), n.text()
    assert n.wait_until(lambda: len(objects(listener)) >= 2, timeout=120), listener.received()
    n.pump(0.5)
    lines = objects(listener)
    assert not [l for l in listener.lines() if b":@" in l], "no position report in object mode"
    for line in lines:
        m = OBJECT.match(line)
        assert m, line
        assert m["name"] == b"S1230456 "
        assert re.fullmatch(rb" Clb=-?[\d.]+m/s P=[\d.]+hPa T=-?[\d.]+oC U=\d+% ID=s1230456 "
                            rb"FN=\d+ 403\.001", m["comment"]), line
    # The sonde is new: its first object goes out with the first new position; the next one
    # after 30 cycles without (counted by the station, not by the clock).
    sends = counts_at_sending(n.raw)
    assert sends[0] == 1, sends  # the first cycle compares its position with itself
    assert 30 <= sends[1] <= 31, sends
    assert n.row(20) == "APRS objects on. Last object sent: S1230456"
    assert n.row(21).startswith("Last transmission: ")
    check_with_decode_aprs(lines)
    end_station(n)


def test_an_m10_goes_out_under_the_aprs_name_its_decoder_gives(nimbrix, sonde_sim,
                                                               aprs_listener):
    sonde_sim("simulate", "--serial", "M10-012-3-45678", "--type", "me8123456")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=OBJECT_INI))
    assert n.wait_until(lambda: len(objects(listener)) >= 1, timeout=60), listener.received()
    line = objects(listener)[0]
    assert line.startswith(b"N0CALL-11>APZQW0,TCPIP*:;ME8123456*"), line
    assert b" ID=M10-012-3-45678 " in line
    check_with_decode_aprs([line])
    end_station(n)


def test_a_serial_without_an_object_name_sends_nothing(nimbrix, sonde_sim, aprs_listener):
    # An M10 whose decoder gives its type, not its APRS name, as item 11.
    sonde_sim("simulate", "--serial", "M10-012-3-45678", "--type", "M10")
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=OBJECT_INI))
    assert n.wait_for("No APRS object name for serial M10-012-3-45678", timeout=60), n.text()
    # Fifteen cycles more, in which a new sonde's object would long have gone out.
    assert n.wait_until(lambda: max(counts_shown(n.raw), default=0) >= 15, timeout=60), n.text()
    assert objects(listener) == [] and b":@" not in listener.received(), listener.received()
    assert n.row(20) == "APRS objects on. No object sent yet."
    end_station(n)


def feed(n, b, listener, path, wanted):
    """Writes the recording's blocks one frame a second, as the decoder prints them, until
    `wanted` objects have arrived; the frames written."""
    frames = []
    for frame, data in read_blocks(path):
        b.write(data)
        if frame is not None:
            frames.append(frame)
            n.pump(1.0)
        if len(objects(listener)) >= wanted:
            break
    return frames


def check_objects_of_frames(lines, frames, name):
    geoid = geoid_heights(frames)
    for line in lines:
        m = OBJECT.match(line)
        assert m, line
        check_object_of_frames(m, frames, name, geoid)


def station_on_bridge(nimbrix, aprs_listener, bridge):
    """sonde-bridge, a listener, and a station in object mode that has drawn its first cycle."""
    b = bridge()
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=OBJECT_INI))
    assert n.wait_for("Last valid data:", timeout=20)
    return b, listener, n


def test_real_dfm_output_through_sonde_bridge(nimbrix, aprs_listener, bridge):
    b, listener, n = station_on_bridge(nimbrix, aprs_listener, bridge)
    frames = feed(n, b, listener, DFM, 1)
    assert n.wait_until(lambda: len(objects(listener)) >= 1, timeout=30), listener.received()
    lines = objects(listener)
    # DFM-314377 is D314377; the frames of the incomplete serial DFM-xxxxxxxx never go out.
    assert all(l.startswith(b"N0CALL-11>APZQW0,TCPIP*:;D314377  *") for l in lines), lines
    check_objects_of_frames(lines, [f for f in frames if f["id"] == "DFM-314377"], "D314377")
    # A DFM gives no humidity and no pressure: neither is in the comment.
    assert all(b" U=" not in l and b" P=" not in l for l in lines), lines
    check_with_decode_aprs(lines)
    end_station(n)


def test_real_rs41_output_through_sonde_bridge(nimbrix, aprs_listener, bridge):
    b, listener, n = station_on_bridge(nimbrix, aprs_listener, bridge)
    frames = feed(n, b, listener, RS41, 2)
    assert n.wait_until(lambda: len(objects(listener)) >= 2, timeout=30), listener.received()
    lines = objects(listener)
    check_objects_of_frames(lines, frames, "L1830070")
    # An RS41-SG has no pressure sensor, and its first frames come before the calibration.
    assert all(b" P=" not in l for l in lines), lines
    assert b" T=" not in lines[0] and b" U=" not in lines[0], lines[0]
    n.pump(0.5)
    assert n.row(20) == "APRS objects on. Last object sent: L1830070"
    check_with_decode_aprs(lines)
    end_station(n)


def m10_frame(second):
    """An M10 frame as m10mod --json prints it, `second` seconds into the recording."""
    return (json.dumps({
        "type": "M10", "frame": 1430000000 + second, "id": "M10-012-3-45678",
        "datetime": f"2026-05-01T11:35:{second:02d}.000Z", "lat": 48.1 + second / 1e4,
        "lon": 11.5, "alt": 5000.0 + 5 * second, "vel_h": 10.0, "heading": 90.0, "vel_v": 5.0,
        "sats": 8, "aprsid": "ME8123456", "batt": 3.1, "temp": -20.5, "subtype": "0x9F",
    }) + "\n\n").encode()


def test_m10_through_sonde_bridge_is_named_by_its_aprsid(nimbrix, aprs_listener,
                                                        bridge):
    b, listener, n = station_on_bridge(nimbrix, aprs_listener, bridge)
    for second in range(20):
        b.write(m10_frame(second))
        n.pump(1.0)
        if objects(listener):
            break
    assert n.wait_until(lambda: len(objects(listener)) >= 1, timeout=30), listener.received()
    line = objects(listener)[0]
    assert line.startswith(b"N0CALL-11>APZQW0,TCPIP*:;ME8123456*"), line
    check_with_decode_aprs([line])
    end_station(n)
