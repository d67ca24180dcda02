"""The SondeHub feed while the API is busy: 50 seconds of 503 lose nothing."""

import time

import pytest

from sondehub_feed import assert_each_frame_once, sondehub_lines, start_station, stop, wait
from sondehub_feed import standin  # noqa: F401  (the fixture)


@pytest.mark.long
def test_fifty_seconds_of_503_lose_nothing(bus_address, sonde_sim, aprs_listener, standin,
                                           tmp_path):
    sonde_sim("simulate", "--serial", "S3210987", "--lat", "47.6", "--lon", "12.3")
    listener = aprs_listener()
    hub = standin("--busy-seconds", "50")
    n = start_station(tmp_path, bus_address, listener.port, hub)
    try:
        assert n.wait_for(lambda e: any(l.endswith(": HTTP 503: Service Unavailable")
                                        for l in e), 60), n.text()
        # Tries 5, 10, 20 and 40 s apart: the fifth, 75 s after the first, finds the API back.
        assert wait(lambda: len(hub.kept()) > 0, 150), n.text()
        time.sleep(3)
        stop(n)
    finally:
        n.stop()
    frames = hub.frames()
    assert_each_frame_once(frames)
    # From the first frames on: the station reads sonde-sim, started just before it, within
    # seconds.
    assert frames[0] <= 12, frames
    assert any(l.endswith(": OK") or ": OK: " in l for l in sondehub_lines(n)), n.text()
