"""The SondeHub feed end to end: the station (headless), sonde-sim and the local SondeHub
stand-in: every frame once, the station's record, the queue sent on SIGTERM, trial records."""

import re
import time

import pytest

from conftest import VERSION, VERSION_TEXT
from sondehub_feed import assert_each_frame_once, sondehub_lines, start_station, stop, wait
from sondehub_feed import standin  # noqa: F401  (the fixture)


def test_every_frame_once_and_the_queue_on_sigterm(bus_address, sonde_sim, aprs_listener, standin,
                                                   tmp_path):
    sonde_sim("simulate", "--serial", "S3210987", "--lat", "47.6", "--lon", "12.3")
    listener = aprs_listener()
    hub = standin()
    n = start_station(tmp_path, bus_address, listener.port, hub)
    try:
        # Two batches, then SIGTERM a few seconds after the second.
        assert wait(lambda: len(hub.kept()) >= 25, 90), n.text()
        before = len(hub.kept())
        assert wait(lambda: len(hub.kept()) > before, 60), n.text()
        time.sleep(8)
        sent_before_stop = hub.frames()
        stop(n)
    finally:
        n.stop()

    frames = hub.frames()
    assert_each_frame_once(frames)
    # The last request on SIGTERM carried the frames read since the last batch.
    assert len(frames) >= len(sent_before_stop) + 4, (sent_before_stop, frames)

    record = hub.kept()[0]
    assert record["content_encoding"] == "gzip"
    assert record["user_agent"] == VERSION_TEXT
    assert re.fullmatch(r"\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d GMT", record["date"])
    r = record["record"]
    assert (r["software_name"], r["software_version"], r["uploader_callsign"]) == \
        ("NIMBRIX", VERSION, "N0CALL-11")
    assert (r["manufacturer"], r["type"], r["serial"]) == ("Vaisala", "RS41", "S3210987")
    assert r["uploader_position"] == [47.5, 12.25, 612]
    assert r["frequency"] == pytest.approx(403.001)
    for key in ("vel_v", "vel_h", "heading", "temp", "humidity", "pressure"):
        assert key in r, key

    listeners = hub.kept("listener")
    assert len(listeners) == 1
    assert listeners[0]["content_encoding"] is None
    assert listeners[0]["record"] == {
        "software_name": "NIMBRIX", "software_version": VERSION, "uploader_callsign": "N0CALL-11",
        "uploader_position": [47.5, 12.25, 612], "uploader_radio": "RTL-SDR",
        "uploader_antenna": "5/8 vertical", "mobile": False}

    lines = sondehub_lines(n)
    # The first success, and nothing per batch.
    assert lines == [f"SondeHub http://127.0.0.1:{hub.port}: starting",
                     f"SondeHub http://127.0.0.1:{hub.port}: OK"], lines


def test_trial_records_are_checked_and_kept_by_nobody(bus_address, sonde_sim, aprs_listener,
                                                      standin, tmp_path):
    sonde_sim("simulate", "--serial", "S3210987", "--lat", "47.6", "--lon", "12.3")
    listener = aprs_listener()
    hub = standin()
    n = start_station(tmp_path, bus_address, listener.port, hub, extra="SONDEHUB_DEV=YES\r\n")
    try:
        assert n.wait_for(lambda e: any("trial: all checks passed" in l for l in e), 60), n.text()
        stop(n)
    finally:
        n.stop()
    assert hub.kept() == []
