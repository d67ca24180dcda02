"""sonde-bridge.exe under Wine: a growing file of recorded decoder output, read through COM by
nimbrix.exe, whose dashboard and position reports show the frames' values."""

import os
import subprocess
import sys
import threading
import time

from conftest import station_ini, wine_command, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from bridge_frames import REPORT_KEYS, expected_report, recorded_blocks  # noqa: E402

SONDE_BRIDGE_EXE = os.environ.get("SONDE_BRIDGE_EXE", "")


def start_bridge(path):
    proc = subprocess.Popen(wine_command(SONDE_BRIDGE_EXE, "--input", windows_path(path),
                                         "--once-ready-print"),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    line = []
    reader = threading.Thread(target=lambda: line.append(proc.stdout.readline()), daemon=True)
    reader.start()
    reader.join(60)
    assert line and "ready" in line[0], f"sonde-bridge did not start: {line!r}"
    return proc


def test_bridge_answers_nimbrix_through_com(nimbrix, aprs_listener, tmp_path):
    # What a station without sonde-sim does once: the ProgID for nimbrix.exe to look up.
    assert subprocess.run(wine_command(SONDE_BRIDGE_EXE, "--register"), stdin=subprocess.DEVNULL,
                          timeout=120).returncode == 0
    frames = [blk for blk in recorded_blocks() if blk[0] is not None]
    path = tmp_path / "frames.jsonl"
    path.write_bytes(b"rs41mod: decoding\n" + frames[0][1])
    bridge = start_bridge(path)
    try:
        server = aprs_listener()
        n = nimbrix(station_ini(f"127.0.0.1,{server.port}") + REPORT_KEYS)
        first = frames[0][0]
        assert n.wait_for("Serial#: S4321098", timeout=60), n.screen()
        assert n.wait_for(f"Frame= {first['frame']:>7}", timeout=20), n.screen()
        assert "QRG: 403.500" in n.row(7), n.row(7)
        assert n.row(9).startswith(f"      Latitude= {first['lat']:.5f} "), n.row(9)

        # The file grows by one frame a second, as a decoder writing into it would.
        expected = set()
        with open(path, "ab") as f:
            for frame, data in frames[1:]:
                f.write(data)
                f.flush()
                expected.add(expected_report(frame))
                time.sleep(1)
                if b"TCPIP*:@" in server.received():
                    break
        assert server.wait_for(b"TCPIP*:@", timeout=30), server.received()
        sent = [l + b"\r\n" for l in server.received().split(b"\r\n") if b"TCPIP*:@" in l]
        for line in sent:
            assert line in expected, (line, sorted(expected))
        n.send_keys("Escape")
        assert n.wait_exit(30) == 0, n.screen()
    finally:
        bridge.kill()
        bridge.wait(timeout=20)
