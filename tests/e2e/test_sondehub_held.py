"""The SondeHub feed while the API holds its answer for 45 seconds: the APRS-IS reports keep
their pace, and the frames arrive once."""

import time

import pytest

from sondehub_feed import assert_each_frame_once, sondehub_lines, start_station, stop
from sondehub_feed import standin  # noqa: F401  (the fixture)


@pytest.mark.long
def test_an_answer_held_for_45_seconds_never_delays_a_report(bus_address, sonde_sim,
                                                            aprs_listener, standin, tmp_path):
    sonde_sim("simulate", "--alt", "520", "--lat", "47.6", "--lon", "12.3")  # low: reports often
    listener = aprs_listener()
    hub = standin("--hold-seconds", "45")
    n = start_station(tmp_path, bus_address, listener.port, hub)
    arrivals = []
    try:
        def count():
            return sum(1 for l in listener.lines() if b":@" in l)
        seen = 0
        end = time.time() + 100
        while time.time() < end and not hub.kept():
            now = count()
            if now > seen:
                arrivals.extend([time.monotonic()] * (now - seen))
                seen = now
            time.sleep(0.1)
        assert hub.kept(), n.text()
        stop(n)
    finally:
        n.stop()
    lines = sondehub_lines(n)
    assert any(l.endswith(": time-out") for l in lines), lines
    # Reports go out every 6 to 7 cycles below 2000 m: a cycle held by the request would leave
    # a gap of 30 s or more.
    gaps = [b - a for a, b in zip(arrivals, arrivals[1:])]
    assert len(arrivals) >= 8, arrivals
    assert max(gaps) < 15, gaps
    assert_each_frame_once(hub.frames())
