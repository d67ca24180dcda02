"""The Windows program feeding SondeHub through WinHTTP: the station's record at start, and on
ESC the frame waiting in the queue, both at the local SondeHub stand-in."""

import datetime
import json
import pathlib
import subprocess
import sys

from conftest import free_port, station_ini
from test_station_win import SAMPLE

STANDIN = pathlib.Path(__file__).resolve().parents[2] / "tools" / "sondehub-standin" / \
    "sondehub-standin.py"


def test_the_station_record_and_the_queue_on_esc(nimbrix, sonde_sim, aprs_listener, tmp_path):
    # The frame's time is now: the stand-in, like the service, refuses one two days away.
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S")
    sonde_sim(SAMPLE.replace("2026-12-08 20:41:05", now))
    listener = aprs_listener()
    port = free_port()
    store = tmp_path / "sondehub.jsonl"
    hub = subprocess.Popen([sys.executable, str(STANDIN), "--port", str(port), "--store",
                            str(store)], stdout=subprocess.PIPE, text=True)
    try:
        assert "listening" in hub.stdout.readline()
        n = nimbrix(station_ini(f"127.0.0.1,{listener.port}") +
                    f"SONDEHUB=YES\r\nSONDEHUB_URL=http://127.0.0.1:{port}\r\n"
                    "POSITION=48.1,-72.0,300\r\n")
        assert n.wait_for("SondeHub: 0 frames sent OK", timeout=90), n.screen()
        n.send_keys("Escape")
        assert n.wait_exit(30) == 0, n.screen()
    finally:
        hub.terminate()
        hub.wait(10)
    kept = [json.loads(line) for line in store.read_text().splitlines()]
    assert [k["kind"] for k in kept] == ["listener", "telemetry"], kept
    assert kept[0]["record"]["uploader_position"] == [48.1, -72.0, 300]
    frame = kept[1]
    assert frame["content_encoding"] == "gzip"
    assert frame["record"]["serial"] == "S1234567"
    assert frame["record"]["frame"] == 40000
    assert frame["record"]["datetime"] == now.replace(" ", "T") + ".000000Z"
