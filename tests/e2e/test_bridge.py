"""sonde-bridge end to end: recorded decoder output piped into the bridge on a private bus,
NIMBRIX in a pty, a local APRS-IS listener; and the bridge on its own, read with busctl."""

import json
import os
import re
import signal
import socket
import subprocess
import time

from bridge_frames import REPORT_KEYS, expected_report, geoid_heights, recorded_blocks
from bridge_process import (SONDE_BRIDGE_BIN, item, reports, wait_cycles_at_least, wait_item,
                            wait_next_cycle)
from conftest import station_ini

DFM = (b'{ "type": "DFM", "frame": 211, "id": "DFM-123456", "datetime": "2026-05-01T11:35:20.000Z", '
       b'"lat": 51.23456, "lon": 6.78901, "alt": 1520.50000, "vel_h": 7.10000, "heading": '
       b'241.30000, "vel_v": -4.80000, "sats": 8, "temp": 9.6, "subtype": "0xA", "ref_datetime": '
       b'"UTC" }\n\n')


def test_recorded_frames_become_position_reports(nimbrix, aprs_listener, bridge):
    b = bridge()
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=REPORT_KEYS))
    assert n.wait_for("Last valid data:", timeout=20)

    # One frame a second, as the decoder prints them: a held frame never changes the station's
    # sentence, so frames fed all at once would give one report at most. The frames' heights
    # are above the ellipsoid ("ref_position": "GPS"): the bridge serves them above sea level.
    geoid = geoid_heights([frame for frame, _ in recorded_blocks() if frame is not None])
    expected = set()
    for frame, data in recorded_blocks():
        b.write(data)
        if frame is not None:
            expected.add(expected_report(frame, geoid))
        n.pump(1.0)
        if len(reports(listener)) >= 3:
            break
    assert listener.wait_for(lambda l: len(reports(l)) >= 3, timeout=30), listener.received()
    sent = reports(listener)
    for line in sent:
        assert line in expected, (line, sorted(expected))
    assert len(set(sent)) == len(sent)
    assert re.match(r"^ 2026-05-01 09:\d\d:\d\d \| Frame= +41\d\d \| Serial#: S4321098 \| "
                    r"QRG: 403\.500$", n.row(7)), n.row(7)
    n.send("\x1b")
    assert n.wait_exit(10) == 0
    b.stop()
    assert b.proc.returncode == 0
    # The junk between the frames was skipped and counted, the bridge went on.
    summary = re.search(r"sonde-bridge: \d+ lines read, (\d+) frames accepted, (\d+) lines "
                        r"skipped \((.*)\)", b.stderr())
    assert summary, b.stderr()
    assert int(summary.group(1)) >= 3 and int(summary.group(2)) >= 1


def test_a_stalled_pipe_sends_no_report(nimbrix, aprs_listener, bridge):
    b = bridge()
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=REPORT_KEYS))
    assert n.wait_for("Last valid data:", timeout=20)
    blocks = [blk for blk in recorded_blocks() if blk[0] is not None][:4]
    for frame, data in blocks:
        b.write(data)
        n.pump(1.0)
    last = blocks[-1][0]
    assert n.wait_for(f"Frame= {last['frame']:>7}", timeout=20), n.text()
    # The cycle that read the last frame may still send it; the next one starts the count.
    assert wait_next_cycle(n), n.text()
    # Counted in the station's own cycles, not in wall time: once 8 cycles have passed without
    # a report, any changed sentence would be reported below 2000 m within the next 12.
    assert wait_cycles_at_least(n, 8), n.text()
    before = len(reports(listener))
    assert wait_cycles_at_least(n, 20), n.text()
    assert len(reports(listener)) == before, listener.received()
    assert f"Frame= {last['frame']:>7}" in n.row(7)
    n.send("\x1b")
    assert n.wait_exit(10) == 0


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_udp_datagrams_become_position_reports(nimbrix, aprs_listener, bridge):
    port = free_udp_port()
    b = bridge("--udp", str(port))
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=REPORT_KEYS))
    assert n.wait_for("Last valid data:", timeout=20)
    geoid = geoid_heights([frame for frame, _ in recorded_blocks() if frame is not None])
    expected = set()
    junk = 1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.sendto(b"rs41mod: not a frame", ("127.0.0.1", port))
        for number, (frame, data) in enumerate(b for b in recorded_blocks() if b[0] is not None):
            # One JSON object per datagram without a line end of its own; now and then a
            # datagram of two lines.
            datagram = json.dumps(frame).encode()
            if number % 3 == 2:
                datagram = b"status line\r\n" + datagram + b"\n"
                junk += 1
            s.sendto(datagram, ("127.0.0.1", port))
            expected.add(expected_report(frame, geoid))
            n.pump(1.0)
            if len(reports(listener)) >= 2:
                break
    assert listener.wait_for(lambda l: len(reports(l)) >= 2, timeout=30), listener.received()
    for line in reports(listener):
        assert line in expected, (line, sorted(expected))
    n.send("\x1b")
    assert n.wait_exit(10) == 0
    assert b.wait_counts(f" accepted, {junk} lines skipped ({junk} not JSON)"), b.stderr()


def test_answers_over_the_bus_empty_then_the_newest_frame(bus_address, bridge):
    bridge("--qrg", "403.5")
    for index in (0, 1, 6, 13, 14, 15, 17):
        assert item(bus_address, index) == "(qv) 0 ay 0"
    assert "InvalidIndex" in item(bus_address, 18) or "item 18" in item(bus_address, 18)


def test_answer_types_and_values_of_a_frame(bus_address, bridge):
    b = bridge("--qrg", "403.5")
    b.write(b"status text\n" + DFM)
    assert wait_item(bus_address, 0, '(qv) 8 s "DFM-123456"'), item(bus_address, 0)
    answers = {
        1: "(qv) 5 d 51.2346", 2: "(qv) 5 d 6.78901", 3: "(qv) 5 d 1520.5",
        4: "(qv) 5 d 61.3",  # heading 241.3 + 180, less 360
        5: "(qv) 5 d 7.1", 6: '(qv) 8 s "2026-05-01 11:35:20"',
        7: '(qv) 8 s "403.500"',  # from --qrg: the frame has no frequency
        8: "(qv) 0 ay 0",  # no pressure printed: no number either
        9: "(qv) 5 d 9.6", 10: "(qv) 5 d -1", 11: '(qv) 8 s "0xA"',
        12: "(qv) 5 d -4.8", 13: "(qv) 3 i 211", 14: "(qv) 20 x 1777635320000",
        # The extension: the kind (the type, as "0xA" names no model), satellites, no battery.
        15: '(qv) 8 s "DFM"', 16: "(qv) 3 i 8", 17: "(qv) 0 ay 0",
    }
    for index, answer in answers.items():
        assert item(bus_address, index) == answer, index


def test_sigterm_ends_with_0_and_the_counts(bus_address, bridge):
    b = bridge()
    encrypted = (b'{ "type": "RS41", "frame": 1, "id": "S9000001", "datetime": '
                 b'"2026-05-01T11:35:20.000Z", "lat": 0.0, "lon": 0.0, "alt": 0.0, '
                 b'"encrypted": true }\n')
    b.write(b"[ 6127] text\n" + encrypted + b"{ broken\n" + b"\x00\n" + DFM)
    assert wait_item(bus_address, 13, "(qv) 3 i 211")
    b.proc.send_signal(signal.SIGTERM)
    assert b.proc.wait(timeout=20) == 0
    assert b.wait_stderr("sonde-bridge: 5 lines read, 1 frame accepted, 4 lines skipped (1 NUL "
                         "byte, 2 not JSON, 1 encrypted)"), b.stderr()


def test_end_of_input_keeps_the_frame_or_ends_with_exit_on_eof(bus_address, bridge):
    held = bridge()
    held.write(DFM)
    held.proc.stdin.close()
    assert held.wait_stderr("end of the input"), held.stderr()
    assert item(bus_address, 13) == "(qv) 3 i 211"
    assert held.proc.poll() is None
    held.stop()
    assert held.proc.returncode == 0

    ending = bridge("--exit-on-eof")
    ending.write(DFM)
    ending.proc.stdin.close()
    assert ending.proc.wait(timeout=20) == 0
    assert ending.wait_stderr("1 frame accepted, 0 lines skipped"), ending.stderr()


def run_to_its_end(bus_address, program, *args):
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address)
    return subprocess.run([program, *args], env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=30)


def test_a_second_decoder_is_refused(bus_address, bridge, sonde_sim):
    b = bridge()
    for program in (SONDE_BRIDGE_BIN, os.environ["SONDE_SIM_BIN"]):
        run = run_to_its_end(bus_address, program)
        assert run.returncode == 1, program
        assert ("SondeMonitor.Document is already owned on the session bus (another decoder or "
                "bridge is running)") in run.stderr, run.stderr
    b.stop()
    sonde_sim("simulate")
    refused = run_to_its_end(bus_address, SONDE_BRIDGE_BIN)
    assert refused.returncode == 1
    assert "another decoder or bridge is running" in refused.stderr


def test_bad_options_end_with_2(bus_address):
    for args in (["--udp", "0"], ["--qrg", "fast"], ["--input", "/nonexistent/frames"],
                 ["--bogus"], ["--udp-bind", "::1"], ["--register"]):
        run = run_to_its_end(bus_address, SONDE_BRIDGE_BIN, *args)
        assert run.returncode == 2, args
        assert run.stderr.startswith("sonde-bridge: "), run.stderr


def test_serial_pins_one_sonde_among_several(bus_address, bridge):
    b = bridge("--serial", "DFM-123456")
    rs41 = next(data for frame, data in recorded_blocks() if frame is not None)
    b.write(rs41 + DFM + rs41)
    assert b.wait_counts("1 frame accepted, 2 lines skipped (2 another sonde)"), b.stderr()
    assert item(bus_address, 0) == '(qv) 8 s "DFM-123456"'


def test_a_fifo_is_opened_again_for_the_next_writer(bus_address, bridge, tmp_path):
    fifo = tmp_path / "frames"
    os.mkfifo(fifo)
    b = bridge("--input", str(fifo))
    gone = f"sonde-bridge: {fifo}: its writer went away: "

    def writers_gone(count):
        """Waits until `count` writers' ends have been told: only then has the bridge let go of
        the last one, so that the next writer is a writer of its own."""
        end = time.time() + 20
        while time.time() < end and b.stderr().count(gone) < count:
            time.sleep(0.05)
        return b.stderr().count(gone) == count

    frames = [data for frame, data in recorded_blocks() if frame is not None]
    for number, data in ((4101, frames[0]), (4102, frames[1])):
        with open(fifo, "wb") as writer:  # a decoder pipeline that runs, then ends
            writer.write(data)
        assert wait_item(bus_address, 13, f"(qv) 3 i {number}"), item(bus_address, 13)
        assert writers_gone(number - 4100), b.stderr()
    # Each writer's end is told with its own counts; a decoder that printed nothing is named.
    with open(fifo, "wb"):
        pass
    assert writers_gone(3), b.stderr()
    # The two lines are written one after the other: wait for the second too.
    assert b.wait_stderr(gone + "0 lines read, 0 frames accepted, 0 lines skipped\nsonde-bridge: "
                         "the decoder printed nothing usable: is its input right?\n"), b.stderr()
    assert item(bus_address, 13) == "(qv) 3 i 4102"  # the last frame stays served


def test_a_file_is_followed_as_it_grows(bus_address, bridge, tmp_path):
    path = tmp_path / "frames.jsonl"
    frames = [data for frame, data in recorded_blocks() if frame is not None]
    path.write_bytes(frames[0])
    bridge("--input", str(path))
    assert wait_item(bus_address, 13, "(qv) 3 i 4101")
    with open(path, "ab") as f:
        f.write(frames[1])
    assert wait_item(bus_address, 13, "(qv) 3 i 4102")
    path.write_bytes(frames[2])  # started again: cut short and written from the start
    assert wait_item(bus_address, 13, "(qv) 3 i 4103")


def test_an_input_that_ends_without_a_frame_names_the_likely_cause(bus_address, bridge):
    # A decoder started with a lone "-" ends at once and prints nothing.
    b = bridge("--exit-on-eof")
    b.proc.stdin.close()
    assert b.proc.wait(timeout=20) == 0
    b.drain.join(timeout=10)
    assert ("sonde-bridge: end of the input: 0 lines read, 0 frames accepted, 0 lines skipped\n"
            "sonde-bridge: the decoder printed nothing usable: is its input right?\n") in \
        b.stderr(), b.stderr()


def test_without_the_geoid_grid_heights_stay_and_it_is_said_once(bus_address, bridge, tmp_path):
    # PROJ looks for its grids only where PROJ_DATA says: an empty folder has none.
    b = bridge(extra_env={"PROJ_DATA": str(tmp_path)})
    frames = [blk for blk in recorded_blocks() if blk[0] is not None][:3]
    for _, data in frames:
        b.write(data)
    last = frames[-1][0]
    assert wait_item(bus_address, 13, f"(qv) 3 i {last['frame']}"), item(bus_address, 13)
    assert item(bus_address, 3) == f"(qv) 5 d {last['alt']:g}"  # above the ellipsoid, as given
    assert b.stderr().count("egm96_15.gtx cannot be read") == 1, b.stderr()


def test_an_m10_is_named_by_its_aprs_id_in_item_11(bus_address, bridge):
    b = bridge()
    m10 = (b'{ "type": "M10", "frame": 1375376421, "id": "M10-012-3-45678", "datetime": '
           b'"2026-05-01T11:35:21.000Z", "lat": 48.1, "lon": 11.5, "alt": 1200.5, "vel_h": 3.1, '
           b'"heading": 120.5, "vel_v": 5.1, "sats": 9, "aprsid": "ME8C60C1F", "batt": 2.98, '
           b'"subtype": "0x9F" }\n\n')
    b.write(m10)
    assert wait_item(bus_address, 11, '(qv) 8 s "ME8C60C1F"'), item(bus_address, 11)
    # What SondeHub needs and item 11 does not carry for it: its kind, satellites and battery.
    assert item(bus_address, 15) == '(qv) 8 s "M10"'
    assert item(bus_address, 16) == "(qv) 3 i 9"
    assert item(bus_address, 17) == "(qv) 5 d 2.98"
    assert item(bus_address, 8) == "(qv) 0 ay 0"  # no pressure sensor: no number
    # A frame of it without one (or with one that is not 9 letters or digits): its subtype.
    b.write(m10.replace(b'"ME8C60C1F"', b'"ME8C60C1\\n"'))
    assert wait_item(bus_address, 11, '(qv) 8 s "0x9F"'), item(bus_address, 11)


def test_sonde_sim_serves_the_extension(bus_address, sonde_sim):
    sonde_sim("simulate", "--type", "RS41-SGP")
    assert wait_item(bus_address, 15, '(qv) 8 s "RS41-SGP"'), item(bus_address, 15)
    sats = item(bus_address, 16)
    assert sats.startswith("(qv) 3 i ") and 7 <= int(sats.split()[-1]) <= 11, sats
    volts = item(bus_address, 17)
    assert volts.startswith("(qv) 5 d ") and 2.5 <= float(volts.split()[-1]) <= 3.0, volts
    assert "InvalidIndex" in item(bus_address, 18) or "item 18" in item(bus_address, 18)
