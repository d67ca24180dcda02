"""sonde-bridge end to end: recorded decoder output piped into the bridge on a private bus,
NIMBRIX in a pty, a local APRS-IS listener; and the bridge on its own, read with busctl."""

import json
import os
import re
import signal
import socket
import subprocess
import threading
import time

import pytest

from bridge_frames import REPORT_KEYS, expected_report, recorded_blocks
from conftest import station_ini

SONDE_BRIDGE_BIN = os.environ.get("SONDE_BRIDGE_BIN", "")

DFM = (b'{ "type": "DFM", "frame": 211, "id": "DFM-123456", "datetime": "2026-05-01T11:35:20.000Z", '
       b'"lat": 51.23456, "lon": 6.78901, "alt": 1520.50000, "vel_h": 7.10000, "heading": '
       b'241.30000, "vel_v": -4.80000, "sats": 8, "temp": 9.6, "subtype": "0xA", "ref_datetime": '
       b'"UTC" }\n\n')


class Bridge:
    """sonde-bridge on the private bus; stderr is kept as it comes."""

    def __init__(self, bus_address, args):
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address)
        self.proc = subprocess.Popen([SONDE_BRIDGE_BIN, *args, "--once-ready-print"], env=env,
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        self.err = bytearray()
        self.lock = threading.Lock()
        self.drain = threading.Thread(target=self._drain, daemon=True)
        self.drain.start()
        line = self.proc.stdout.readline()
        assert line == b"ready\n", f"sonde-bridge did not start: {line!r} {self.stderr()}"

    def _drain(self):
        for chunk in iter(lambda: self.proc.stderr.read1(65536), b""):
            with self.lock:
                self.err.extend(chunk)

    def stderr(self):
        with self.lock:
            return bytes(self.err).decode("utf-8", "replace")

    def write(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    def wait_stderr(self, needle, timeout=20):
        end = time.time() + timeout
        while time.time() < end:
            if needle in self.stderr():
                return True
            time.sleep(0.05)
        return needle in self.stderr()

    def wait_counts(self, needle, timeout=20):
        """Asks for the counts (SIGUSR1) until they say `needle`: the lines written may still
        be on their way through the pipe when the first answer comes."""
        end = time.time() + timeout
        while time.time() < end:
            self.proc.send_signal(signal.SIGUSR1)
            if self.wait_stderr(needle, timeout=0.5):
                return True
        return False

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)
        # What it wrote last (its counts) may still be on its way through the pipe.
        self.drain.join(timeout=10)


@pytest.fixture
def bridge(bus_address):
    started = []

    def start(*args):
        b = Bridge(bus_address, list(args))
        started.append(b)
        return b

    yield start
    for b in started:
        b.stop()


def item(bus_address, index):
    """busctl's answer to GETSONDEDATA(index), e.g. '(qv) 5 d 47.1', or its error text."""
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus_address)
    run = subprocess.run(["busctl", "--user", "call", "SondeMonitor.Document",
                          "/SondeMonitor/Document", "SondeMonitor.Document", "GETSONDEDATA", "n",
                          str(index)], env=env, capture_output=True, text=True, timeout=30)
    return (run.stdout + run.stderr).strip()


def wait_item(bus_address, index, wanted, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        if item(bus_address, index) == wanted:
            return True
        time.sleep(0.1)
    return item(bus_address, index) == wanted


def reports(listener):
    return [l for l in listener.lines() if b":@" in l]


def cycles_since_report(n):
    m = re.search(r"Last valid data:\s+(\d+) s ago", n.row(19))
    return int(m.group(1)) if m else None


def wait_cycles_at_least(n, count, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        n.pump(0.1)
        c = cycles_since_report(n)
        if c is not None and c >= count:
            return True
    return False


def wait_next_cycle(n, timeout=30):
    first = cycles_since_report(n)
    end = time.time() + timeout
    while time.time() < end:
        n.pump(0.1)
        if cycles_since_report(n) != first:
            return True
    return False


def test_recorded_frames_become_position_reports(nimbrix, aprs_listener, bridge):
    b = bridge()
    listener = aprs_listener()
    n = nimbrix(station_ini(f"127.0.0.1,{listener.port}", extra=REPORT_KEYS))
    assert n.wait_for("Last valid data:", timeout=20)

    # One frame a second, as the decoder prints them: a held frame never changes the station's
    # sentence, so frames fed all at once would give one report at most.
    expected = set()
    for frame, data in recorded_blocks():
        b.write(data)
        if frame is not None:
            expected.add(expected_report(frame))
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
    summary = re.search(r"sonde-bridge: (\d+) frames accepted, (\d+) lines skipped \((.*)\)",
                        b.stderr())
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
            expected.add(expected_report(frame))
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
    for index in (0, 1, 6, 13, 14):
        assert item(bus_address, index) == "(qv) 0 ay 0"
    assert "InvalidIndex" in item(bus_address, 15) or "item 15" in item(bus_address, 15)


def test_answer_types_and_values_of_a_frame(bus_address, bridge):
    b = bridge("--qrg", "403.5")
    b.write(b"status text\n" + DFM)
    assert wait_item(bus_address, 0, '(qv) 8 s "DFM-123456"'), item(bus_address, 0)
    answers = {
        1: "(qv) 5 d 51.2346", 2: "(qv) 5 d 6.78901", 3: "(qv) 5 d 1520.5",
        4: "(qv) 5 d 61.3",  # heading 241.3 + 180, less 360
        5: "(qv) 5 d 7.1", 6: '(qv) 8 s "2026-05-01 11:35:20"',
        7: '(qv) 8 s "403.500"',  # from --qrg: the frame has no frequency
        8: "(qv) 5 d 0", 9: "(qv) 5 d 9.6", 10: "(qv) 5 d -1", 11: '(qv) 8 s "0xA"',
        12: "(qv) 5 d -4.8", 13: "(qv) 3 i 211", 14: "(qv) 20 x 1777635320000",
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
    assert b.wait_stderr("sonde-bridge: 1 frame accepted, 4 lines skipped (1 NUL byte, "
                         "2 not JSON, 1 encrypted)"), b.stderr()


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
    bridge("--input", str(fifo))
    frames = [data for frame, data in recorded_blocks() if frame is not None]
    for number, data in ((4101, frames[0]), (4102, frames[1])):
        with open(fifo, "wb") as writer:  # a decoder pipeline that runs, then ends
            writer.write(data)
        assert wait_item(bus_address, 13, f"(qv) 3 i {number}"), item(bus_address, 13)


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
